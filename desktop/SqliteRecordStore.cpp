#include "desktop/SqliteRecordStore.h"

#include "desktop/RecordFilter.h"

#include "platform/Desktop.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QSysInfo>
#include <QVariant>

namespace kv::desktop {

namespace {

// The statements that bring the schema from version n - 1 to n, at [n - 1].
const char* const kMigrations[][4] = {
    {"CREATE TABLE records (number INTEGER PRIMARY KEY AUTOINCREMENT, station TEXT NOT NULL, "
     "written_at TEXT NOT NULL, date_time TEXT NOT NULL, serial TEXT NOT NULL, mac TEXT NOT NULL, "
     "checksum TEXT NOT NULL, fw_version TEXT NOT NULL, asset_id TEXT NOT NULL, client_id TEXT NOT NULL, "
     "custom_1 TEXT NOT NULL, custom_2 TEXT NOT NULL, verified TEXT NOT NULL)",
     "CREATE INDEX records_asset ON records (asset_id, number)",
     "CREATE INDEX records_mac ON records (mac, number)", nullptr},
    // Which rows the shared server has.
    {"ALTER TABLE records ADD COLUMN sent INTEGER NOT NULL DEFAULT 0",
     "CREATE INDEX records_unsent ON records (sent, number)", nullptr, nullptr},
    // The store's own identity, which its rows carry to the shared server.
    {"CREATE TABLE store_identity (id TEXT NOT NULL)",
     "INSERT INTO store_identity (id) VALUES (lower(hex(randomblob(16))))", nullptr, nullptr},
};
static_assert(std::size(kMigrations) == SqliteRecordStore::kSchemaVersion);

const char* const kColumns =
    "number, station, written_at, date_time, serial, mac, checksum, fw_version, asset_id, client_id, custom_1, "
    "custom_2, verified";

std::string why(const QSqlError& e) {
    QString text = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    return text.trimmed().toStdString();
}

platform::StoredRow rowOf(const QSqlQuery& q) {
    platform::StoredRow row;
    row.number = q.value(0).toLongLong();
    row.station = q.value(1).toString().toStdString();
    row.writtenAt = q.value(2).toString().toStdString();
    for (int i = 0; i < int(platform::RecordStore::kFields); ++i) row.fields.push_back(q.value(3 + i).toString().toStdString());
    return row;
}

}  // namespace

SqliteRecordStore::SqliteRecordStore(QString path, QString station)
    : path_(std::move(path)),
      station_(std::move(station)),
      connection_(QString("records-%1").arg(reinterpret_cast<quintptr>(this), 0, 16)) {}

SqliteRecordStore::~SqliteRecordStore() {
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

QString SqliteRecordStore::defaultStation() {
    const QString app = QString::fromStdString(platform::kAppTitle);
    QString set = QSettings(QSettings::NativeFormat, QSettings::UserScope, app, app)
                      .value("RecordStore/Station")
                      .toString()
                      .trimmed();
    return set.isEmpty() ? QSysInfo::machineHostName() : set;
}

QString SqliteRecordStore::defaultPath() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)).filePath(kFileName);
}

bool SqliteRecordStore::open(std::string& error) {
    open_ = false;
    if (!QSqlDatabase::isDriverAvailable("QSQLITE")) {
        error = "the SQLite driver of Qt is not installed (package libqt6sql6-sqlite)";
        return false;
    }
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) {
        error = "its folder cannot be created";
        return false;
    }
    QSqlDatabase db = QSqlDatabase::contains(connection_) ? QSqlDatabase::database(connection_, false)
                                                          : QSqlDatabase::addDatabase("QSQLITE", connection_);
    db.setDatabaseName(path_);
    db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=1000");
    if (!db.open()) {
        error = why(db.lastError());
        return false;
    }
    // Every commit synced to the disk before it returns; readers never wait
    // on the writer.
    QSqlQuery q(db);
    for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
        if (!q.exec(pragma)) {
            error = why(q.lastError());
            db.close();
            return false;
        }
    }
    if (!migrate(error)) {
        db.close();
        return false;
    }
    if (!q.exec("SELECT id FROM store_identity") || !q.next() || q.value(0).toString().isEmpty()) {
        error = q.lastError().isValid() ? why(q.lastError()) : "it has no identity";
        db.close();
        return false;
    }
    origin_ = q.value(0).toString().toStdString();
    open_ = true;
    return true;
}

int SqliteRecordStore::schemaVersion(std::string& error) {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    if (!q.exec("SELECT version FROM schema_version")) {
        error = why(q.lastError());
        return -1;
    }
    return q.next() ? q.value(0).toInt() : 0;
}

// Each step up in a transaction of its own, with the version it reaches:
// a step that fails leaves the file at the version before it.
bool SqliteRecordStore::migrate(std::string& error) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery q(db);
    if (!q.exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)")) {
        error = why(q.lastError());
        return false;
    }
    int version = schemaVersion(error);
    if (version < 0) return false;
    if (version > kSchemaVersion) {
        error = "it was written by a newer version of the program (schema " + std::to_string(version) + ")";
        return false;
    }
    for (; version < kSchemaVersion; ++version) {
        if (!db.transaction()) {
            error = why(db.lastError());
            return false;
        }
        bool ok = true;
        for (const char* statement : kMigrations[version])
            if (statement && ok && !q.exec(statement)) ok = false;
        if (ok) ok = q.exec("DELETE FROM schema_version");
        if (ok) {
            q.prepare("INSERT INTO schema_version (version) VALUES (?)");
            q.addBindValue(version + 1);
            ok = q.exec();
        }
        if (!ok || !db.commit()) {
            error = why(ok ? db.lastError() : q.lastError());
            db.rollback();
            return false;
        }
    }
    return true;
}

// Runs `sql` with `values` bound in order, on the open store; false with why.
bool SqliteRecordStore::run(QSqlQuery& q, const QString& sql, const QVariantList& values, std::string& error) const {
    if (!open_) {
        error = "the store is not open";
        return false;
    }
    q = QSqlQuery(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : values) q.addBindValue(v);
    if (!q.exec()) {
        error = why(q.lastError());
        return false;
    }
    return true;
}

// The rows a SELECT of kColumns gave.
bool SqliteRecordStore::rows(const QString& sql, const QVariantList& values, std::vector<platform::StoredRow>& out,
                             std::string& error) const {
    out.clear();
    QSqlQuery q;
    if (!run(q, sql, values, error)) return false;
    while (q.next()) out.push_back(rowOf(q));
    return true;
}

bool SqliteRecordStore::add(platform::StoredRow& row, std::string& error) {
    if (row.fields.size() != kFields) {
        error = "a row of " + std::to_string(row.fields.size()) + " fields";
        return false;
    }
    QVariantList values{QString::fromStdString(row.station), QString::fromStdString(row.writtenAt)};
    for (const std::string& f : row.fields) values << QString::fromStdString(f);
    // One statement is its own transaction: all of the row, or none of it.
    QSqlQuery q;
    if (!run(q,
             "INSERT INTO records (station, written_at, date_time, serial, mac, checksum, fw_version, asset_id, "
             "client_id, custom_1, custom_2, verified) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
             values, error))
        return false;
    row.number = q.lastInsertId().toLongLong();
    return true;
}

bool SqliteRecordStore::lastWithAsset(const std::string& asset, std::optional<platform::StoredRow>& row,
                                      std::string& error) {
    row.reset();
    std::vector<platform::StoredRow> found;
    if (!rows(QString("SELECT %1 FROM records WHERE asset_id = ? ORDER BY number DESC LIMIT 1").arg(kColumns),
              {QString::fromStdString(asset)}, found, error))
        return false;
    if (!found.empty()) row = std::move(found.front());
    return true;
}

bool SqliteRecordStore::find(const platform::RowFilter& filter, std::vector<platform::StoredRow>& out,
                             std::string& error) {
    QVariantList values;
    const QString where = filterClause(filter, "instr", values);
    values << filter.limit;
    return rows(QString("SELECT %1 FROM records%2 ORDER BY number DESC LIMIT ?").arg(kColumns, where), values, out,
                error);
}

bool SqliteRecordStore::unsent(int most, std::vector<platform::StoredRow>& out, std::string& error) {
    if (!rows(QString("SELECT %1 FROM records WHERE sent = 0 ORDER BY number LIMIT ?").arg(kColumns), {most}, out,
              error))
        return false;
    for (platform::StoredRow& row : out) row.origin = origin_;
    return true;
}

bool SqliteRecordStore::markSent(std::int64_t number, std::string& error) {
    QSqlQuery q;
    return run(q, "UPDATE records SET sent = 1 WHERE sent = 0 AND number <= ?", {static_cast<qlonglong>(number)},
               error);
}

bool SqliteRecordStore::unsentCount(std::int64_t& count, std::string& error) {
    QSqlQuery q;
    if (!run(q, "SELECT count(*) FROM records WHERE sent = 0", {}, error)) return false;
    count = q.next() ? q.value(0).toLongLong() : 0;
    return true;
}

}  // namespace kv::desktop
