// The tests' own PostgreSQL server through Qt's QPSQL driver: the station
// role's password only from ~/.pgpass, a wrong one refused, the server going
// away under an open connection and coming back, no call waiting long; two
// servers side by side, and nothing left behind by a process that dies
// without its destructors.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <cstdio>
#include <optional>

#include "tests/desktop/DesktopSupport.h"
#include "tests/desktop/PgServer.h"
#include "tests/support/TempDir.h"

namespace {

using kv::test::PgServer;

// connect_timeout=3 and some slack: no call may wait longer.
constexpr qint64 kLongestMs = 4000;

// A QPSQL connection to kv5x with no password of its own: libpq finds it in
// ~/.pgpass (the superuser is trusted on the socket).
struct Connection {
    Connection(const QString& dir, int port, const QString& user = PgServer::kRole) {
        static int count = 0;
        name = QString("pg-test-%1").arg(++count);
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
        db.setHostName(dir);
        db.setPort(port);
        db.setDatabaseName(PgServer::kDatabase);
        db.setUserName(user);
        db.setConnectOptions("connect_timeout=3");
        ensureOpen();
    }
    // Opens the connection again if the driver has closed it (as QPSQL does
    // once the server has ended it).
    bool ensureOpen() {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        if (db.isOpen()) return true;
        QElapsedTimer timer;
        timer.start();
        open = db.open();
        openMs = timer.elapsed();
        if (!open) error = db.lastError().text();
        return open;
    }
    ~Connection() {
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
    // Runs `sql`; the rows' columns, joined by '|', go to `rows`.
    bool exec(const QString& sql, QStringList* rows = nullptr) {
        QElapsedTimer timer;
        timer.start();
        QSqlQuery query(QSqlDatabase::database(name, false));
        bool ok = query.exec(sql);
        while (ok && rows && query.next()) {
            QStringList columns;
            for (int i = 0; i < query.record().count(); ++i) columns << query.value(i).toString();
            rows->append(columns.join('|'));
        }
        if (!ok) error = query.lastError().text();
        lastMs = timer.elapsed();
        return ok;
    }
    QString name, error;
    bool open = false;
    qint64 openMs = 0, lastMs = 0;
};

TEST(PgServer, StationLogsInFromPgpassAndOutlivesTheServerGoingAndComingBack) {
    ASSERT_TRUE(QSqlDatabase::isDriverAvailable("QPSQL")) << "Qt's PostgreSQL driver is missing (libqt6sql6-psql)";
    PgServer server;
    ASSERT_TRUE(server.started()) << server.error().toStdString();
    std::printf("[ timing   ] initdb %lld ms, server start %lld ms\n", server.initdbMs(), server.startMs());
    ASSERT_TRUE(server.writePgpass(server.password()));
    // Opened first and kept, as a batch's connection would be.
    Connection batch(server.socketDir(), server.port());
    ASSERT_TRUE(batch.open) << batch.error.toStdString();
    ASSERT_TRUE(batch.exec("CREATE TABLE rows (id serial PRIMARY KEY, asset text NOT NULL)"))
        << batch.error.toStdString();

    const struct {
        const char* name;
        void (*before)(PgServer&);
        bool rightPassword;     // in ~/.pgpass
        bool freshWorks;        // a new connection opens and round-trips a row
        const char* refusal;    // else part of its error
        bool batchWorks;        // the connection opened first answers
    } steps[] = {
        {"the password from pgpass", nullptr, true, true, "", true},
        {"a wrong password", nullptr, false, false, "password authentication failed", true},
        {"the server gone", [](PgServer& s) { s.stop(); }, true, false, "No such file or directory", false},
        {"the server back", [](PgServer& s) { s.start(); }, true, true, "", true},
    };
    QStringList written;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.before) step.before(server);
        ASSERT_TRUE(server.writePgpass(step.rightPassword ? server.password() : "not-" + server.password()));
        Connection fresh(server.socketDir(), server.port());
        EXPECT_EQ(fresh.open, step.freshWorks) << fresh.error.toStdString();
        EXPECT_LT(fresh.openMs, kLongestMs);
        if (fresh.open) {
            QStringList rows;
            EXPECT_TRUE(fresh.exec(QString("INSERT INTO rows (asset) VALUES ('%1')").arg(step.name)))
                << fresh.error.toStdString();
            written << step.name;
            EXPECT_TRUE(fresh.exec("SELECT asset FROM rows ORDER BY id", &rows)) << fresh.error.toStdString();
            EXPECT_EQ(rows, written);  // rows last across the restart
        } else {
            EXPECT_TRUE(fresh.error.contains(step.refusal)) << fresh.error.toStdString();
            std::printf("[ timing   ] %s: connect refused in %lld ms\n", step.name, fresh.openMs);
        }
        // The batch's connection, opened again where the driver closed it.
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(batch.ensureOpen() && batch.exec("SELECT 1"), step.batchWorks) << batch.error.toStdString();
        EXPECT_LT(timer.elapsed(), kLongestMs);
        if (!step.batchWorks) {
            EXPECT_TRUE(batch.error.contains("terminating connection")) << batch.error.toStdString();
            std::printf("[ timing   ] %s: the open connection failed in %lld ms\n", step.name, timer.elapsed());
        }
    }
}

// The other process of the test below: a server that it leaves without the
// destructor, as a crash would, once told to.
TEST(PgServerCrash, DISABLED_LeavesItsServerBehind) {
    PgServer server;
    std::printf("pg-server %s %d %lld\n", qPrintable(server.socketDir()), server.port(), server.serverPid());
    std::fflush(stdout);
    std::getchar();
    _exit(server.started() ? 0 : 1);
}

// Whether a process is there and not a zombie (whose cmdline is empty).
bool running(qint64 pid) { return pid > 0 && !kv::test::readFile("/proc/" + std::to_string(pid) + "/cmdline").empty(); }

TEST(PgServer, ServersSideBySideAndNothingLeftBehindEvenByACrash) {
    QProcess other;  // initdb there while this process runs its own
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KV_TEST_HOME", QDir::homePath());
    other.setProcessEnvironment(env);
    other.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", "--gtest_filter=PgServerCrash.DISABLED_LeavesItsServerBehind"});
    std::optional<PgServer> here(std::in_place);
    ASSERT_TRUE(here->started()) << here->error().toStdString();
    QByteArray said;
    QRegularExpressionMatch told;
    ASSERT_TRUE(kv::test::waitUntil(
        [&] {
            told = QRegularExpression("pg-server (\\S+) (\\d+) (\\d+)\n").match(said += other.readAll());
            return told.hasMatch();
        },
        30000))
        << said.toStdString();
    const QString otherDir = told.captured(1);
    const int otherPort = told.captured(2).toInt();
    const qint64 otherPid = told.captured(3).toLongLong();
    EXPECT_NE(otherDir, here->socketDir());
    EXPECT_NE(otherPort, here->port());

    // Each reached on its own socket only, with no TCP listener.
    const struct {
        const char* name;
        QString dir;
        int port;
    } servers[] = {{"this process's", here->socketDir(), here->port()}, {"the other process's", otherDir, otherPort}};
    for (const auto& s : servers) {
        SCOPED_TRACE(s.name);
        Connection c(s.dir, s.port, PgServer::kSuperuser);
        ASSERT_TRUE(c.open) << c.error.toStdString();
        QStringList rows;
        EXPECT_TRUE(c.exec("SELECT current_setting('port'), current_setting('listen_addresses'), "
                           "current_setting('unix_socket_directories')",
                           &rows))
            << c.error.toStdString();
        EXPECT_EQ(rows, QStringList{QString("%1||%2").arg(s.port).arg(s.dir)});
    }

    // Without PostgreSQL's programs there is no server, and error() says why.
    kv::test::TempDir empty;
    PgServer none("pw", QString::fromStdString(empty.path().string()));
    EXPECT_FALSE(none.started());
    EXPECT_TRUE(none.error().contains("no PostgreSQL server")) << none.error().toStdString();
    EXPECT_TRUE(none.socketDir().isEmpty());

    // The other process ends without destructors: its server and folder go.
    ASSERT_TRUE(running(otherPid));
    other.write("\n");
    ASSERT_TRUE(other.waitForFinished(10000));
    EXPECT_EQ(other.exitCode(), 0) << (said + other.readAll()).toStdString();
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(kv::test::waitUntil([&] { return !running(otherPid) && !QFileInfo::exists(otherDir); }, 10000))
        << otherDir.toStdString();
    std::printf("[ timing   ] a dead process's server gone in %lld ms\n", timer.elapsed());

    // And this one's at its destructor.
    const QString hereDir = here->socketDir();
    const qint64 herePid = here->serverPid();
    ASSERT_TRUE(running(herePid));
    here.reset();
    EXPECT_FALSE(running(herePid));
    EXPECT_FALSE(QFileInfo::exists(hereDir));
}

}  // namespace
