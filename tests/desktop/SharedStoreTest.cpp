// The record store several stations share, on a real PostgreSQL server the
// test starts: two stations, each with its own SQLite store and sender,
// write through an outage of the server; every row arrives exactly once, in
// order per station, and an asset one station wrote is found by the other.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include "app/RecordSender.h"
#include "desktop/PsqlRecordServer.h"
#include "desktop/QtPlatform.h"
#include "desktop/SqliteRecordStore.h"
#include "tests/desktop/DesktopSupport.h"
#include "tests/desktop/PgServer.h"
#include "tests/support/TempDir.h"

namespace {

using kv::platform::StoredRow;

struct Station {
    Station(const QString& name, const QString& path, const kv::test::PgServer& pg)
        : local(path, name),
          server({pg.socketDir(), pg.port(), kv::test::PgServer::kDatabase, kv::test::PgServer::kRole}),
          window("frmMain", timers),
          sender(window) {
        std::string error;
        opened = local.open(error);
        sender.start(local, &server);
    }
    // A row of the record, as the record writes it, then the sender told.
    void write(const std::string& asset) {
        StoredRow row{0, local.station(), "2026-12-05 10:42:07",
                      {"10:42:07 05/12/2026", "0004A3B1C2D3", "0004A3B1C2D3", "1A 2B", "K5b 162", asset, "005", "", "",
                       "yes"}};
        std::string error;
        EXPECT_TRUE(local.add(row, error)) << error;
        sender.rowAdded();
    }
    kv::desktop::SqliteRecordStore local;
    kv::desktop::PsqlRecordServer server;
    kv::desktop::QtTimerHost timers;
    kv::ui::Window window;
    kv::app::RecordSender sender;
    bool opened = false;
};

// The rows on the server: "station:number:asset", in the order they arrived.
QStringList onServer(const kv::test::PgServer& pg) {
    QStringList out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "look");
        db.setHostName(pg.socketDir());
        db.setPort(pg.port());
        db.setDatabaseName(kv::test::PgServer::kDatabase);
        db.setUserName(kv::test::PgServer::kRole);
        if (db.open()) {
            QSqlQuery q("SELECT station, local_number, asset_id FROM records ORDER BY received_at, station, "
                        "local_number",
                        db);
            while (q.next()) out << q.value(0).toString() + ":" + q.value(1).toString() + ":" + q.value(2).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("look");
    return out;
}

TEST(SharedStore, TwoStationsThroughAnOutageEveryRowOnceAndAssetsFoundAcross) {
    kv::test::PgServer pg;
    ASSERT_TRUE(pg.started()) << pg.error().toStdString();
    ASSERT_TRUE(pg.writePgpass(pg.password()));
    kv::test::TempDir dir;
    Station a("LINE-1", QString::fromStdString((dir.path() / "a.sqlite").string()), pg);
    Station b("LINE-2", QString::fromStdString((dir.path() / "b.sqlite").string()), pg);
    ASSERT_TRUE(a.opened && b.opened);
    auto allSent = [&] { return a.sender.waiting() == 0 && b.sender.waiting() == 0 && !a.sender.sending() &&
                                !b.sender.sending() && !a.sender.tmrSendRecords.enabled() &&
                                !b.sender.tmrSendRecords.enabled(); };

    a.write("A-1");
    b.write("B-1");
    ASSERT_TRUE(kv::test::waitUntil(allSent, 10000));
    EXPECT_EQ(onServer(pg).size(), 2);

    // The server goes away in the middle of a batch of five.
    a.write("A-2");
    pg.stop();
    for (const char* asset : {"A-3", "A-4"}) a.write(asset);
    for (const char* asset : {"B-2", "B-3"}) b.write(asset);
    ASSERT_TRUE(kv::test::waitUntil([&] { return !a.sender.lastError().empty() && !b.sender.lastError().empty(); },
                                    10000));
    EXPECT_EQ(a.sender.lblRecords.caption().rfind("Records: ", 0), 0u);
    EXPECT_EQ(b.sender.lblRecords.caption(), "Records: 2 waiting for the server");
    pg.start();
    ASSERT_TRUE(kv::test::waitUntil(allSent, 15000)) << a.sender.lastError() << " / " << b.sender.lastError();
    EXPECT_EQ(a.sender.lblRecords.caption(), "");

    // A station that sends again what the server has (it stopped before it
    // could note the rows as sent) adds nothing.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "again");
        db.setDatabaseName(QString::fromStdString((dir.path() / "a.sqlite").string()));
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec("UPDATE records SET sent = 0");
        db.close();
    }
    QSqlDatabase::removeDatabase("again");
    a.sender.rowAdded();
    ASSERT_TRUE(kv::test::waitUntil(allSent, 10000));

    QStringList rows = onServer(pg);
    QStringList expected{"LINE-1:1:A-1", "LINE-1:2:A-2", "LINE-1:3:A-3", "LINE-1:4:A-4",
                         "LINE-2:1:B-1", "LINE-2:2:B-2", "LINE-2:3:B-3"};
    QStringList sorted = rows;
    sorted.sort();
    EXPECT_EQ(sorted, expected) << rows.join(' ').toStdString();
    // In order per station.
    for (QString station : {"LINE-1", "LINE-2"}) {
        QStringList mine = rows.filter(station + ":");
        QStringList ordered = mine;
        ordered.sort();
        EXPECT_EQ(mine, ordered) << station.toStdString();
    }

    // Options > Record Store's Test counts them; a wrong password is said.
    std::int64_t counted = -1;
    std::string testSaid = "(no answer)";
    b.server.test([&](std::int64_t n, const std::string& e) {
        counted = n;
        testSaid = e;
    });
    ASSERT_TRUE(kv::test::waitUntil([&] { return testSaid != "(no answer)"; }, 5000));
    EXPECT_EQ(counted, 7) << testSaid;
    ASSERT_TRUE(pg.writePgpass("not the password"));
    kv::desktop::PsqlRecordServer wrong({pg.socketDir(), pg.port(), kv::test::PgServer::kDatabase,
                                         kv::test::PgServer::kRole});
    testSaid = "(no answer)";
    wrong.test([&](std::int64_t, const std::string& e) { testSaid = e; });
    ASSERT_TRUE(kv::test::waitUntil([&] { return testSaid != "(no answer)"; }, 5000));
    EXPECT_NE(testSaid.find("password authentication failed"), std::string::npos) << testSaid;

    // Station 2 asks about an asset station 1 wrote.
    std::optional<StoredRow> found;
    std::string said = "(no answer)";
    b.server.lastWithAsset("A-3", [&](const std::optional<StoredRow>& r, const std::string& e) {
        found = r;
        said = e;
    });
    ASSERT_TRUE(kv::test::waitUntil([&] { return said != "(no answer)"; }, 5000));
    ASSERT_TRUE(found.has_value()) << said;
    EXPECT_EQ(found->station, "LINE-1");
    EXPECT_EQ(found->fields[5], "A-3");
}

}  // namespace
