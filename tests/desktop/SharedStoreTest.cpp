// The record store several stations share, on a real PostgreSQL server the
// test starts: stations, each with its own SQLite store and sender, write to
// a table of the first version; a row sent again is not doubled, a clone of
// a station keeps its rows apart, and a server that stops answering holds
// nothing up. (Whole dashboards sharing a server through an outage:
// EndToEndTest.cpp.)
#include <gtest/gtest.h>

#include <QtSql>
#include <thread>

#include "app/RecordSender.h"
#include "tests/desktop/DesktopSupport.h"
#include "tests/desktop/PgServer.h"

namespace {

using namespace kv::test;

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
    bool write(const std::string& asset) {
        addRow(local, sender, local.station(), asset);
        return waitUntil([&] { return sender.waiting() == 0 && !sender.sending() && !sender.tmrSendRecords.enabled(); },
                         10000);
    }
    kv::desktop::SqliteRecordStore local;
    kv::desktop::PsqlRecordServer server;
    kv::desktop::QtTimerHost timers;
    kv::ui::Window window;
    kv::app::RecordSender sender;
    bool opened = false;
};

// Two stations on a table of the first version (its key without the store);
// a row sent again adds nothing; Options > Record Store's Test counts the
// rows and says a wrong password; a PC made from LINE-1's disk image (same
// station name, same row numbers) keeps its rows apart; then a dashboard
// whose server stops answering mid-statement returns at once from Options >
// Record Store (server box emptied, OK) and from closing.
TEST(SharedStore, StationsShareEveryRowOnceAndNothingWaitsOnAServerThatStoppedAnswering) {
    PgServer pg;
    ASSERT_TRUE(pg.started()) << pg.error().toStdString();
    ASSERT_TRUE(pg.writePgpass());
    ASSERT_EQ(pg.query("SET ROLE station; CREATE TABLE records (station TEXT NOT NULL, local_number BIGINT NOT NULL, "
                       "written_at TEXT NOT NULL, date_time TEXT NOT NULL, serial TEXT NOT NULL, mac TEXT NOT NULL, "
                       "checksum TEXT NOT NULL, fw_version TEXT NOT NULL, asset_id TEXT NOT NULL, client_id TEXT "
                       "NOT NULL, custom_1 TEXT NOT NULL, custom_2 TEXT NOT NULL, verified TEXT NOT NULL, "
                       "received_at TIMESTAMPTZ NOT NULL DEFAULT now(), PRIMARY KEY (station, local_number))"),
              QStringList{});
    TempDir dir;
    Station a("LINE-1", dir.path() / "a.sqlite", pg), b("LINE-2", dir.path() / "b.sqlite", pg);
    ASSERT_TRUE(a.opened && b.opened);
    ASSERT_TRUE(a.write("A-1") && a.write("A-2") && b.write("B-1")) << a.sender.lastError() << b.sender.lastError();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "again");
        db.setDatabaseName(QString::fromStdString((dir.path() / "a.sqlite").string()));
        ASSERT_TRUE(db.open() && QSqlQuery(db).exec("UPDATE records SET sent = 0"));
    }
    QSqlDatabase::removeDatabase("again");
    ASSERT_TRUE(a.write("A-3"));  // and a row of its own after them
    EXPECT_EQ(pg.rows(), "LINE-1:1:A-1 LINE-1:2:A-2 LINE-1:3:A-3 LINE-2:1:B-1");
    std::string said;
    auto counted = [&](std::int64_t n, const std::string& e) { said = std::to_string(n) + " / " + e; };
    b.server.test(counted);
    EXPECT_TRUE(waitUntil([&] { return said == "4 / "; }, 5000)) << said;
    ASSERT_TRUE(pg.writePgpass("not the password"));
    kv::desktop::PsqlRecordServer wrong({pg.socketDir(), pg.port(), PgServer::kDatabase, PgServer::kRole});
    wrong.test(counted);
    EXPECT_TRUE(waitUntil([&] { return said.find("password authentication failed") != std::string::npos; }, 5000))
        << said;
    ASSERT_TRUE(pg.writePgpass());
    Station clone("LINE-1", dir.path() / "clone.sqlite", pg);
    ASSERT_TRUE(clone.opened && clone.write("C-1")) << clone.sender.lastError();
    EXPECT_EQ(pg.rows(), "LINE-1:1:A-1 LINE-1:2:A-2 LINE-1:3:A-3 LINE-1:1:C-1 LINE-2:1:B-1");

    for (const std::string way : {"OK", "closing"}) {
        SCOPED_TRACE(way);
        QFile::remove(kv::desktop::SqliteRecordStore::defaultPath());
        useServer("LINE-9", pg.socketDir(), pg.port());
        auto s = std::make_unique<Desk>();
        kv::app::RecordSender& sender = s->d.core().sender;
        addRow(*s->d.core().record.store(), sender, "LINE-9", way + "-1");  // sent: the connection is open
        ASSERT_TRUE(waitUntil([&] { return pg.rows().contains(QString::fromStdString(way + "-1")); }, 15000))
            << sender.lastError();
        ASSERT_GT(pg.freeze(), 1u);
        addRow(*s->d.core().record.store(), sender, "LINE-9", way + "-2");
        ASSERT_TRUE(waitUntil([&] { return sender.sending(); }, 5000));
        QTest::qWait(300);  // the statement is with the stopped server
        // The server is let go after 15 s if the window has not come back by then.
        std::atomic<bool> back{false}, released{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 300 && !back; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!back) released = true, pg.thaw();
        });
        if (way == "closing") s->d.core().window.unload(), s.reset();
        else EXPECT_EQ(play(*s, {{"menu mnuRecordStore"}, {"type store.txtHost"}, {"click store.cmdOK"}}), "");
        back = true;
        watchdog.join();
        EXPECT_FALSE(released) << "waited until the stopped server was let go";
        pg.thaw();
        if (s) s->d.core().window.unload();
    }
    useServer("");
}

}  // namespace
