#include "desktop/PsqlRecordServer.h"

#include "desktop/RecordFilter.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace kv::desktop {

namespace {

// A row is one station's, from one local store (`origin`), by its number
// there. A table made before rows carried their store gets the column and
// the wider key.
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS records (station TEXT NOT NULL, origin TEXT NOT NULL DEFAULT '', "
    "local_number BIGINT NOT NULL, "
    "written_at TEXT NOT NULL, date_time TEXT NOT NULL, serial TEXT NOT NULL, mac TEXT NOT NULL, "
    "checksum TEXT NOT NULL, fw_version TEXT NOT NULL, asset_id TEXT NOT NULL, client_id TEXT NOT NULL, "
    "custom_1 TEXT NOT NULL, custom_2 TEXT NOT NULL, verified TEXT NOT NULL, "
    "received_at TIMESTAMPTZ NOT NULL DEFAULT now(), PRIMARY KEY (station, origin, local_number))",
    "ALTER TABLE records ADD COLUMN IF NOT EXISTS origin TEXT NOT NULL DEFAULT ''",
    "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM information_schema.key_column_usage WHERE table_schema = "
    "current_schema() AND table_name = 'records' AND constraint_name = 'records_pkey' AND column_name = 'origin') "
    "THEN ALTER TABLE records DROP CONSTRAINT IF EXISTS records_pkey; "
    "ALTER TABLE records ADD PRIMARY KEY (station, origin, local_number); END IF; END $$",
    "CREATE INDEX IF NOT EXISTS records_asset ON records (asset_id, written_at)",
};

std::string why(const QSqlError& e) {
    QString text = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    return text.trimmed().toStdString();
}

// The connection, used only on the worker's thread.
class Worker {
public:
    explicit Worker(PsqlRecordServer::Settings s) : settings_(std::move(s)) {}
    ~Worker() {
        if (QSqlDatabase::contains(name_)) {
            QSqlDatabase::database(name_, false).close();
            QSqlDatabase::removeDatabase(name_);
        }
    }

    // Opens the connection when it is not, and makes the table the first
    // time; a connection the server ended is opened again.
    bool ready(std::string& error) {
        if (!QSqlDatabase::isDriverAvailable("QPSQL")) {
            error = "the PostgreSQL driver of Qt is not installed (package libqt6sql6-psql)";
            return false;
        }
        QSqlDatabase db = QSqlDatabase::contains(name_) ? QSqlDatabase::database(name_, false)
                                                        : QSqlDatabase::addDatabase("QPSQL", name_);
        if (db.isOpen()) return true;
        db.setHostName(settings_.host);
        db.setPort(settings_.port);
        db.setDatabaseName(settings_.database);
        db.setUserName(settings_.user);
        // TLS where the server offers it; never a connect longer than its
        // time-out, no statement longer than its own, and a peer gone from
        // the network noticed within seconds.
        db.setConnectOptions(QString("connect_timeout=%1;sslmode=prefer;keepalives=1;keepalives_idle=5;"
                                     "keepalives_interval=2;keepalives_count=3;"
                                     "options='-cclient_min_messages=warning -cstatement_timeout=%2'")
                                 .arg(PsqlRecordServer::kConnectTimeoutS)
                                 .arg(PsqlRecordServer::kStatementTimeoutMs));
        if (!db.open()) {
            error = why(db.lastError());
            return false;
        }
        QSqlQuery q(db);
        for (const char* statement : kSchema) {
            if (!q.exec(statement)) {
                error = why(q.lastError());
                db.close();
                return false;
            }
        }
        return true;
    }

    std::string send(const std::vector<platform::StoredRow>& rows) {
        std::string error;
        if (!ready(error)) return error;
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        if (!db.transaction()) return fail(db.lastError());
        QSqlQuery q(db);
        q.prepare("INSERT INTO records (station, origin, local_number, written_at, date_time, serial, mac, checksum, "
                  "fw_version, asset_id, client_id, custom_1, custom_2, verified) VALUES "
                  "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (station, origin, local_number) DO NOTHING");
        for (const auto& row : rows) {
            q.addBindValue(QString::fromStdString(row.station));
            q.addBindValue(QString::fromStdString(row.origin));
            q.addBindValue(static_cast<qlonglong>(row.number));
            q.addBindValue(QString::fromStdString(row.writtenAt));
            for (const std::string& f : row.fields) q.addBindValue(QString::fromStdString(f));
            if (!q.exec()) {
                QSqlError e = q.lastError();
                db.rollback();
                return fail(e);
            }
        }
        if (!db.commit()) {
            QSqlError e = db.lastError();
            db.rollback();
            return fail(e);
        }
        return {};
    }

    std::int64_t count(std::string& error) {
        if (!ready(error)) return 0;
        QSqlQuery q(QSqlDatabase::database(name_, false));
        if (!q.exec("SELECT count(*) FROM records") || !q.next()) {
            error = fail(q.lastError());
            return 0;
        }
        return q.value(0).toLongLong();
    }

    std::optional<platform::StoredRow> lastWithAsset(const std::string& asset, std::string& error) {
        std::vector<platform::StoredRow> rows =
            select(" WHERE asset_id = ? ORDER BY written_at DESC LIMIT 1", {QString::fromStdString(asset)}, error);
        if (rows.empty()) return std::nullopt;
        return rows.front();
    }

    std::vector<platform::StoredRow> find(const platform::RowFilter& filter, std::string& error) {
        QVariantList values;
        const QString where = filterClause(filter, "strpos", values);
        values << filter.limit;
        return select(where + " ORDER BY written_at DESC, station, local_number DESC LIMIT ?", values, error);
    }

private:
    std::vector<platform::StoredRow> select(const QString& rest, const QVariantList& values, std::string& error) {
        std::vector<platform::StoredRow> rows;
        if (!ready(error)) return rows;
        QSqlQuery q(QSqlDatabase::database(name_, false));
        q.prepare("SELECT local_number, station, written_at, date_time, serial, mac, checksum, fw_version, asset_id, "
                  "client_id, custom_1, custom_2, verified FROM records" + rest);
        for (const QVariant& v : values) q.addBindValue(v);
        if (!q.exec()) {
            error = fail(q.lastError());
            return rows;
        }
        while (q.next()) {
            platform::StoredRow& row = rows.emplace_back();
            row.number = q.value(0).toLongLong();
            row.station = q.value(1).toString().toStdString();
            row.writtenAt = q.value(2).toString().toStdString();
            for (int i = 0; i < int(platform::RecordStore::kFields); ++i)
                row.fields.push_back(q.value(3 + i).toString().toStdString());
        }
        return rows;
    }

    // A failed statement may mean the server went away: the next call
    // connects again.
    std::string fail(const QSqlError& e) {
        QSqlDatabase::database(name_, false).close();
        return why(e);
    }

    PsqlRecordServer::Settings settings_;
    QString name_ = QString("server-%1").arg(reinterpret_cast<quintptr>(this), 0, 16);
};

}  // namespace

// The queue of work for the worker's thread, and where its answers go: the
// server while it lives, nowhere once it is gone.
struct PsqlRecordServer::Shared {
    std::mutex m;
    std::condition_variable wake;
    std::deque<std::function<void(Worker&)>> work;
    bool stop = false;
    bool busy = false;   // a statement is under way
    bool ended = false;  // the thread has closed its connection
    QObject* answers = nullptr;  // guarded by m

    // Hands `answer` to the window's thread, unless the server is gone.
    void reply(std::function<void()> answer) {
        std::lock_guard lock(m);
        if (answers) QMetaObject::invokeMethod(answers, std::move(answer), Qt::QueuedConnection);
    }
};

PsqlRecordServer::PsqlRecordServer(Settings settings)
    : settings_(std::move(settings)), shared_(std::make_shared<Shared>()) {
    shared_->answers = this;
    // The thread holds its own share of the queue, so it may outlive the
    // server.
    std::thread([shared = shared_, settings = settings_] {
        {
            Worker worker(settings);
            std::unique_lock lock(shared->m);
            for (;;) {
                shared->wake.wait(lock, [&] { return shared->stop || !shared->work.empty(); });
                if (shared->stop) break;
                auto next = std::move(shared->work.front());
                shared->work.pop_front();
                shared->busy = true;
                lock.unlock();
                next(worker);
                lock.lock();
                shared->busy = false;
            }
        }
        std::lock_guard lock(shared->m);
        shared->ended = true;
        shared->wake.notify_all();
    }).detach();
}

PsqlRecordServer::~PsqlRecordServer() {
    std::unique_lock lock(shared_->m);
    shared_->answers = nullptr;
    shared_->work.clear();
    shared_->stop = true;
    shared_->wake.notify_all();
    // An idle worker closes its connection before the program goes on (and
    // may end); one inside a statement is not waited for.
    if (!shared_->busy) shared_->wake.wait_for(lock, std::chrono::seconds(2), [&] { return shared_->ended; });
}

std::string PsqlRecordServer::location() const {
    return settings_.database.toStdString() + " on " + settings_.host.toStdString() + ":" +
           std::to_string(settings_.port);
}

// Runs `work` on the worker's thread and hands its result to `answer` on
// this (the window's) thread.
template <class Work, class Answer>
void PsqlRecordServer::onWorker(Work work, Answer answer) {
    std::lock_guard lock(shared_->m);
    shared_->work.push_back([shared = shared_.get(), work = std::move(work), answer = std::move(answer)](Worker& w) {
        auto result = work(w);
        shared->reply([answer, result] { answer(result); });
    });
    shared_->wake.notify_one();
}

void PsqlRecordServer::send(std::vector<platform::StoredRow> rows, std::function<void(const std::string&)> done) {
    onWorker([rows = std::move(rows)](Worker& w) { return w.send(rows); },
             [done = std::move(done)](const std::string& error) { done(error); });
}

void PsqlRecordServer::lastWithAsset(
    const std::string& asset, std::function<void(const std::optional<platform::StoredRow>&, const std::string&)> done) {
    onWorker(
        [asset](Worker& w) {
            std::string error;
            auto row = w.lastWithAsset(asset, error);
            return std::make_pair(row, error);
        },
        [done = std::move(done)](const auto& r) { done(r.first, r.second); });
}

void PsqlRecordServer::find(const platform::RowFilter& filter,
                            std::function<void(std::vector<platform::StoredRow>, const std::string&)> done) {
    onWorker(
        [filter](Worker& w) {
            std::string error;
            auto rows = w.find(filter, error);
            return std::make_pair(rows, error);
        },
        [done = std::move(done)](const auto& r) { done(r.first, r.second); });
}

void PsqlRecordServer::test(std::function<void(std::int64_t, const std::string&)> done) {
    onWorker(
        [](Worker& w) {
            std::string error;
            std::int64_t rows = w.count(error);
            return std::make_pair(rows, error);
        },
        [done = std::move(done)](const auto& r) { done(r.first, r.second); });
}

}  // namespace kv::desktop
