#pragma once
// The record store on SQLite: one database file in the program's data
// folder, every row on the disk when add() returns (write-ahead log,
// synchronous commits), its schema brought up to date on open.
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include "platform/RecordStore.h"

namespace kv::desktop {

class SqliteRecordStore : public platform::RecordStore {
public:
    static constexpr const char* kFileName = "records.sqlite";
    // The newest schema; each version's statements bring the one before it up.
    static constexpr int kSchemaVersion = 3;

    // `path` is created on open, with its folder; rows are written as `station`.
    SqliteRecordStore(QString path, QString station);
    ~SqliteRecordStore() override;
    SqliteRecordStore(const SqliteRecordStore&) = delete;
    SqliteRecordStore& operator=(const SqliteRecordStore&) = delete;

    std::string location() const override { return path_.toStdString(); }
    std::string station() const override { return station_.toStdString(); }
    bool open(std::string& error) override;
    bool add(platform::StoredRow& row, std::string& error) override;
    bool lastWithAsset(const std::string& asset, std::optional<platform::StoredRow>& row,
                       std::string& error) override;
    bool find(const platform::RowFilter& filter, std::vector<platform::StoredRow>& rows, std::string& error) override;
    bool unsent(int most, std::vector<platform::StoredRow>& rows, std::string& error) override;
    bool markSent(std::int64_t number, std::string& error) override;
    bool unsentCount(std::int64_t& count, std::string& error) override;

    // The schema version the file holds (0: none yet).
    int schemaVersion(std::string& error);

    // This station's name: the one set in the settings (RecordStore/Station),
    // else the host name.
    static QString defaultStation();
    // records.sqlite in the program's data folder.
    static QString defaultPath();

private:
    bool migrate(std::string& error);
    bool run(QSqlQuery& q, const QString& sql, const QVariantList& values, std::string& error) const;
    bool rows(const QString& sql, const QVariantList& values, std::vector<platform::StoredRow>& out,
              std::string& error) const;

    QString path_, station_, connection_;
    std::string origin_;  // this store's identity, from the file
    bool open_ = false;
};

}  // namespace kv::desktop
