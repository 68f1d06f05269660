// The record store several stations share, on a real PostgreSQL server the
// test starts: stations, each with its own SQLite store and sender, write
// through an outage of the server; every row arrives exactly once, in order
// per station, and an asset one station wrote is found by another. A server
// that stops answering holds nothing up. (Whole dashboards sharing a server:
// EndToEndTest.cpp.)
#include <gtest/gtest.h>

#include <QtSql>
#include <thread>

#include "app/RecordSender.h"
#include "desktop/Dashboard.h"
#include "tests/desktop/DesktopSupport.h"
#include "tests/desktop/PgServer.h"
#include "tests/support/TempDir.h"

namespace {

using kv::test::PgServer;
using kv::test::waitUntil;

// A row of the record as the record writes it, then the sender told.
void addRow(kv::platform::RecordStore& store, kv::app::RecordSender& sender, const std::string& station,
            const std::string& asset) {
    kv::platform::StoredRow r{0, station, "2026-12-05 10:42:07", {"10:42:07 05/12/2026", "0004A3B1C2D3",
                              "0004A3B1C2D3", "1A 2B", "K5b 162", asset, "005", "", "", "yes"}};
    std::string error;
    EXPECT_TRUE(store.add(r, error)) << error;
    sender.rowAdded();
}

struct Station {
    Station(const QString& name, const std::filesystem::path& path, const PgServer& pg)
        : local(QString::fromStdString(path.string()), name),
          server({pg.socketDir(), pg.port(), PgServer::kDatabase, PgServer::kRole}),
          window("frmMain", timers),
          sender(window) {
        std::string error;
        opened = local.open(error);
        sender.start(local, &server);
    }
    void write(const std::string& asset) { addRow(local, sender, local.station(), asset); }
    bool idle() { return sender.waiting() == 0 && !sender.sending() && !sender.tmrSendRecords.enabled(); }
    kv::desktop::SqliteRecordStore local;
    kv::desktop::PsqlRecordServer server;
    kv::desktop::QtTimerHost timers;
    kv::ui::Window window;
    kv::app::RecordSender sender;
    bool opened = false;
};

// One server for both: two stations write through an outage, every row once;
// then a dashboard whose server stops answering mid-statement returns at once
// from Options > Record Store (server box emptied, OK) and from closing.
TEST(SharedStore, StationsShareEveryRowOnceAndNothingWaitsOnAServerThatStoppedAnswering) {
    PgServer pg;
    ASSERT_TRUE(pg.started()) << pg.error().toStdString();
    ASSERT_TRUE(pg.writePgpass());
    // The table as the first version made it: its key without the store.
    ASSERT_EQ(pg.query("SET ROLE station; CREATE TABLE records (station TEXT NOT NULL, local_number BIGINT NOT NULL, "
                       "written_at TEXT NOT NULL, date_time TEXT NOT NULL, serial TEXT NOT NULL, mac TEXT NOT NULL, "
                       "checksum TEXT NOT NULL, fw_version TEXT NOT NULL, asset_id TEXT NOT NULL, client_id TEXT "
                       "NOT NULL, custom_1 TEXT NOT NULL, custom_2 TEXT NOT NULL, verified TEXT NOT NULL, "
                       "received_at TIMESTAMPTZ NOT NULL DEFAULT now(), PRIMARY KEY (station, local_number))"),
              QStringList{});
    kv::test::TempDir dir;
    Station a("LINE-1", dir.path() / "a.sqlite", pg), b("LINE-2", dir.path() / "b.sqlite", pg);
    ASSERT_TRUE(a.opened && b.opened);
    auto allSent = [&] { return a.idle() && b.idle(); };
    a.write("A-1");
    b.write("B-1");
    ASSERT_TRUE(waitUntil(allSent, 10000)) << a.sender.lastError();
    EXPECT_EQ(pg.rows(), "LINE-1:1:A-1 LINE-2:1:B-1");
    // The server goes away in the middle of a batch of five.
    a.write("A-2");
    pg.stop();
    for (const char* asset : {"A-3", "A-4"}) a.write(asset);
    for (const char* asset : {"B-2", "B-3"}) b.write(asset);
    ASSERT_TRUE(waitUntil([&] { return !a.sender.lastError().empty() && !b.sender.lastError().empty(); }, 10000));
    EXPECT_EQ(a.sender.lblRecords.caption().rfind("Records: ", 0), 0u);
    EXPECT_EQ(b.sender.lblRecords.caption(), "Records: 2 waiting for the server");
    pg.start();
    ASSERT_TRUE(waitUntil(allSent, 15000)) << a.sender.lastError() << " / " << b.sender.lastError();
    EXPECT_EQ(a.sender.lblRecords.caption(), "");
    // A station that sends again what the server has (it stopped before it
    // could note the rows as sent) adds nothing.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "again");
        db.setDatabaseName(QString::fromStdString((dir.path() / "a.sqlite").string()));
        ASSERT_TRUE(db.open() && QSqlQuery(db).exec("UPDATE records SET sent = 0"));
    }
    QSqlDatabase::removeDatabase("again");
    a.sender.rowAdded();
    ASSERT_TRUE(waitUntil(allSent, 10000));
    EXPECT_EQ(pg.rows(), "LINE-1:1:A-1 LINE-1:2:A-2 LINE-1:3:A-3 LINE-1:4:A-4 LINE-2:1:B-1 LINE-2:2:B-2 LINE-2:3:B-3");

    // Options > Record Store's Test counts them, station 2 finds an asset
    // station 1 wrote, and a wrong password is said.
    std::string said;
    auto await = [&](const std::function<void()>& ask) {
        said = "(no answer)";
        ask();
        waitUntil([&] { return said != "(no answer)"; }, 5000);
        return said;
    };
    auto counted = [&](std::int64_t n, const std::string& e) { said = std::to_string(n) + " / " + e; };
    EXPECT_EQ(await([&] { b.server.test(counted); }), "7 / ");
    EXPECT_EQ(await([&] {
        b.server.lastWithAsset("A-3", [&](const std::optional<kv::platform::StoredRow>& r, const std::string& e) {
            said = (r ? r->station + " " + r->fields[5] : "none") + " / " + e;
        });
    }), "LINE-1 A-3 / ");
    ASSERT_TRUE(pg.writePgpass("not the password"));
    kv::desktop::PsqlRecordServer wrong({pg.socketDir(), pg.port(), PgServer::kDatabase, PgServer::kRole});
    EXPECT_NE(await([&] { wrong.test(counted); }).find("password authentication failed"), std::string::npos) << said;
    // A PC made from LINE-1's disk image (or LINE-1 with its store made
    // anew): same station name, same row numbers, its rows are its own.
    ASSERT_TRUE(pg.writePgpass());
    Station clone("LINE-1", dir.path() / "clone.sqlite", pg);
    ASSERT_TRUE(clone.opened);
    clone.write("C-1");
    ASSERT_TRUE(waitUntil([&] { return pg.rows().contains("C-1"); }, 10000)) << clone.sender.lastError();
    EXPECT_EQ(pg.rows(), "LINE-1:1:A-1 LINE-1:2:A-2 LINE-1:3:A-3 LINE-1:4:A-4 LINE-1:1:C-1 LINE-2:1:B-1 "
                         "LINE-2:2:B-2 LINE-2:3:B-3");

    for (const std::string way : {"OK", "closing"}) {
        SCOPED_TRACE(way);
        QFile::remove(kv::desktop::SqliteRecordStore::defaultPath());
        kv::test::useServer("LINE-9", pg.socketDir(), pg.port());
        kv::test::FakeMessageBox messages;
        auto d = std::make_unique<kv::desktop::Dashboard>(&messages);
        d->start();
        kv::app::RecordSender& sender = d->core().sender;
        addRow(*d->core().record.store(), sender, "LINE-9", way + "-1");  // sent: the connection is open
        ASSERT_TRUE(waitUntil([&] { return pg.rows().contains(QString::fromStdString(way + "-1")); }, 15000))
            << sender.lastError();
        ASSERT_GT(pg.freeze(), 1u);
        addRow(*d->core().record.store(), sender, "LINE-9", way + "-2");
        ASSERT_TRUE(waitUntil([&] { return sender.sending(); }, 5000));
        QTest::qWait(300);  // the statement is with the stopped server
        // The server is let go after 15 s if the window has not come back by then.
        std::atomic<bool> back{false}, released{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 300 && !back; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!back) released = true, pg.thaw();
        });
        if (way == "closing") {
            d->core().window.unload();
            d.reset();
        } else {
            d->mainWindow()->findChild<QAction*>("mnuRecordStore")->trigger();
            qobject_cast<QLineEdit*>(d->recordStoreView()->widget("txtHost"))->clear();
            QTest::mouseClick(d->recordStoreView()->widget("cmdOK"), Qt::LeftButton);
        }
        back = true;
        watchdog.join();
        EXPECT_FALSE(released) << "waited until the stopped server was let go";
        pg.thaw();
        if (d) d->core().window.unload();
    }
    kv::test::useServer("");
}

}  // namespace
