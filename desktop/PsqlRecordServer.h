#pragma once
// The record store several stations share, on PostgreSQL. Every statement
// runs on a thread of its own, so that a server that is slow, away or stuck
// never holds the window; answers come back through the event loop. The password
// is never held here: libpq reads it from the user's ~/.pgpass.
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "platform/RecordStore.h"

namespace kv::desktop {

class PsqlRecordServer : public QObject, public platform::RecordServer {
public:
    struct Settings {
        QString host;  // a host name, or the folder of a Unix socket
        int port = 5432;
        QString database = "kv5x";
        QString user;
    };
    // A connect that gets no answer is given up after this many seconds.
    static constexpr int kConnectTimeoutS = 3;
    // A statement the server has not finished in this time is cancelled by it.
    static constexpr int kStatementTimeoutMs = 10000;

    explicit PsqlRecordServer(Settings settings);
    // Returns at once even while a statement waits on a server that stopped
    // answering: the worker is let go, finishes that statement on its own
    // and ends; its answer goes nowhere.
    ~PsqlRecordServer() override;
    PsqlRecordServer(const PsqlRecordServer&) = delete;
    PsqlRecordServer& operator=(const PsqlRecordServer&) = delete;

    std::string location() const override;
    void send(std::vector<platform::StoredRow> rows, std::function<void(const std::string&)> done) override;
    void lastWithAsset(const std::string& asset,
                       std::function<void(const std::optional<platform::StoredRow>&, const std::string&)> done) override;
    void find(const platform::RowFilter& filter,
              std::function<void(std::vector<platform::StoredRow>, const std::string&)> done) override;
    void test(std::function<void(std::int64_t, const std::string&)> done) override;

    struct Shared;  // the worker's queue and the way its answers come back

private:
    template <class Work, class Answer>
    void onWorker(Work work, Answer answer);

    Settings settings_;
    std::shared_ptr<Shared> shared_;
};

// Connections to PostgreSQL servers, for the core.
class PsqlServers : public platform::RecordServers {
public:
    std::unique_ptr<platform::RecordServer> connect(const platform::ServerSettings& s) override {
        return std::make_unique<PsqlRecordServer>(PsqlRecordServer::Settings{
            QString::fromStdString(s.host), s.port, QString::fromStdString(s.database), QString::fromStdString(s.user)});
    }
};

}  // namespace kv::desktop
