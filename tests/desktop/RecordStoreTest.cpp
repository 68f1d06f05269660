// The record store on a real SQLite file in the test's temporary home: rows
// that last across starts and a kill, the records window's filters, and the
// store's faults (a full disk, a corrupt or locked file), which never stop
// the CSV record.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QAction>
#include <QLabel>
#include <csignal>

#include "desktop/Dashboard.h"
#include "desktop/SqliteRecordStore.h"
#include "tests/desktop/DesktopSupport.h"
#include "tests/support/BatchHelpers.h"

namespace {

using kv::desktop::SqliteRecordStore;
using kv::platform::RowFilter;
using kv::platform::StoredRow;

StoredRow rowOf(const std::string& station, const std::string& when, const std::string& mac, const std::string& asset,
                const std::string& client, const std::string& verified) {
    return {0, station, kv::platform::isoFromLogTime(when),
            {when, mac, mac, "1A 2B", "K5b 162", asset, client, "IMEI-" + asset, "", verified}};
}

const StoredRow kRows[] = {
    rowOf("LINE-1", "09:00:00 04/12/2026", "0004A3B1C201", "KV-1001", "005", "yes"),
    rowOf("LINE-1", "09:05:00 04/12/2026", "0004A3B1C202", "KV-1002", "005", "no: client"),
    rowOf("LINE-2", "10:42:07 05/12/2026", "0004A3B1C203", "KV-1001", "012", "yes"),
    rowOf("LINE-2", "11:00:00 05/12/2026", "0004A3B1C204", "50%_OFF", "012", "yes"),
};

QString storePath(const std::string& name) { return QString::fromStdString(name); }

std::vector<std::int64_t> numbers(SqliteRecordStore& store, const RowFilter& filter) {
    std::vector<StoredRow> rows;
    std::string error;
    EXPECT_TRUE(store.find(filter, rows, error)) << error;
    std::vector<std::int64_t> out;
    for (const auto& r : rows) out.push_back(r.number);
    return out;
}

TEST(SqliteStore, RowsLastAcrossStartsAndEveryFilterFindsThem) {
    kv::test::TempDir dir;
    const QString path = storePath((dir.path() / "data" / "records.sqlite").string());
    std::string error;
    {
        SqliteRecordStore first(path, "LINE-1");
        ASSERT_TRUE(first.open(error)) << error;
        for (StoredRow row : kRows) ASSERT_TRUE(first.add(row, error)) << error;
    }
    SqliteRecordStore again(path, "LINE-1");  // the next program start
    ASSERT_TRUE(again.open(error)) << error;
    EXPECT_EQ(again.schemaVersion(error), SqliteRecordStore::kSchemaVersion);
    std::optional<StoredRow> last;
    ASSERT_TRUE(again.lastWithAsset("KV-1001", last, error)) << error;
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->number, 3);
    EXPECT_EQ(last->station, "LINE-2");
    EXPECT_EQ(last->writtenAt, "2026-12-05 10:42:07");
    EXPECT_EQ(last->fields, kRows[2].fields);
    ASSERT_TRUE(again.lastWithAsset("KV-9999", last, error)) << error;
    EXPECT_FALSE(last.has_value());

    const struct {
        const char* name;
        RowFilter filter;
        std::vector<std::int64_t> found;  // newest first
    } cases[] = {
        {"everything", {}, {4, 3, 2, 1}},
        {"an asset", {.asset = "KV-1001"}, {3, 1}},
        {"part of a MAC", {.mac = "C202"}, {2}},
        {"a client", {.client = "012"}, {4, 3}},
        {"a station", {.station = "LINE-1"}, {2, 1}},
        {"a day", {.date = "2026-12-04"}, {2, 1}},
        {"verified", {.verified = "no"}, {2}},
        {"two at once", {.asset = "KV-1001", .station = "LINE-1"}, {1}},
        {"% and _ are plain characters", {.asset = "%_"}, {4}},
        {"no such asset", {.asset = "KV-7"}, {}},
        {"the newest only", {.limit = 1}, {4}},
    };
    for (const auto& c : cases) EXPECT_EQ(numbers(again, c.filter), c.found) << c.name;
}

// A store of the first version (before the shared server) is brought up to
// date on open: its rows kept, all of them still to be sent.
TEST(SqliteStore, AnOlderStoreIsMigratedWithItsRows) {
    kv::test::TempDir dir;
    const QString path = storePath((dir.path() / "records.sqlite").string());
    {
        QSqlDatabase old = QSqlDatabase::addDatabase("QSQLITE", "v1");
        old.setDatabaseName(path);
        ASSERT_TRUE(old.open());
        QSqlQuery q(old);
        for (const char* statement :
             {"CREATE TABLE schema_version (version INTEGER NOT NULL)", "INSERT INTO schema_version VALUES (1)",
              "CREATE TABLE records (number INTEGER PRIMARY KEY AUTOINCREMENT, station TEXT NOT NULL, written_at TEXT "
              "NOT NULL, date_time TEXT NOT NULL, serial TEXT NOT NULL, mac TEXT NOT NULL, checksum TEXT NOT NULL, "
              "fw_version TEXT NOT NULL, asset_id TEXT NOT NULL, client_id TEXT NOT NULL, custom_1 TEXT NOT NULL, "
              "custom_2 TEXT NOT NULL, verified TEXT NOT NULL)",
              "INSERT INTO records VALUES (NULL, 'LINE-1', '2026-12-04 09:00:00', '09:00:00 04/12/2026', 'M', 'M', "
              "'1A 2B', 'K5b 162', 'KV-1001', '005', '', '', 'yes')"})
            ASSERT_TRUE(q.exec(statement)) << statement;
        old.close();
    }
    QSqlDatabase::removeDatabase("v1");
    SqliteRecordStore store(path, "LINE-1");
    std::string error;
    ASSERT_TRUE(store.open(error)) << error;
    EXPECT_EQ(store.schemaVersion(error), SqliteRecordStore::kSchemaVersion);
    std::vector<StoredRow> waiting;
    ASSERT_TRUE(store.unsent(10, waiting, error)) << error;
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0].fields[5], "KV-1001");
}

// A row reported written is on the disk: a store killed right after is
// found holding it.
TEST(SqliteStore, DISABLED_AddsARowThenWaits) {
    SqliteRecordStore store(qEnvironmentVariable("KV_STORE"), "LINE-1");
    std::string error;
    ASSERT_TRUE(store.open(error)) << error;
    StoredRow row = kRows[0];
    ASSERT_TRUE(store.add(row, error)) << error;
    std::printf("added %lld\n", static_cast<long long>(row.number));
    std::fflush(stdout);
    QThread::sleep(30);
}

TEST(SqliteStore, ARowReportedWrittenSurvivesAKill) {
    kv::test::TempDir dir;
    const QString path = storePath((dir.path() / "records.sqlite").string());
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KV_STORE", path);
    env.insert("KV_TEST_HOME", QString::fromStdString(dir.path().string()));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", "--gtest_filter=SqliteStore.DISABLED_AddsARowThenWaits"});
    QByteArray said;
    ASSERT_TRUE(kv::test::waitUntil([&] { return (said += child.readAll()).contains("added 1"); }, 10000))
        << said.toStdString();
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    child.waitForFinished();
    SqliteRecordStore after(path, "LINE-1");
    std::string error;
    ASSERT_TRUE(after.open(error)) << error;
    EXPECT_EQ(numbers(after, {}), std::vector<std::int64_t>{1});
}

// A store that cannot take a row says why and keeps none of it; the next
// row goes in once the fault is gone.
TEST(SqliteStore, AFullDiskOrALockedFileFailsARowWholeAndThenPasses) {
    kv::test::TempDir dir;
    const QString path = storePath((dir.path() / "records.sqlite").string());
    SqliteRecordStore store(path, "LINE-1");
    std::string error;
    ASSERT_TRUE(store.open(error)) << error;
    StoredRow first = kRows[0];
    ASSERT_TRUE(store.add(first, error)) << error;
    {
        kv::test::FileSizeLimit full(0);
        StoredRow row = kRows[1];
        EXPECT_FALSE(store.add(row, error));
        EXPECT_NE(error.find("disk"), std::string::npos) << error;
    }
    {
        // Another program holds the file.
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
        other.setDatabaseName(path);
        ASSERT_TRUE(other.open());
        QSqlQuery(other).exec("BEGIN EXCLUSIVE");
        StoredRow row = kRows[1];
        EXPECT_FALSE(store.add(row, error));
        EXPECT_EQ(error, "database is locked");
        QSqlQuery(other).exec("ROLLBACK");
        other.close();
    }
    QSqlDatabase::removeDatabase("other");
    StoredRow row = kRows[1];
    ASSERT_TRUE(store.add(row, error)) << error;
    EXPECT_EQ(numbers(store, {}), (std::vector<std::int64_t>{row.number, 1}));
}

// The dashboard as it starts: its store is records.sqlite in its data folder,
// and a file there that is no database is said once; the CSV record goes on.
TEST(SqliteStore, TheDashboardOpensItsStoreAndSaysWhenItCannot) {
    for (bool corrupt : {false, true}) {
        const QString path = SqliteRecordStore::defaultPath();
        QFile::remove(path);
        if (corrupt) {
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        }
        kv::test::FakeMessageBox messages;
        {
            kv::desktop::Dashboard d(&messages);
            d.start();
            d.core().window.unload();
        }
        bool said = false;
        for (const auto& m : messages.shown)
            said = said || m.text.rfind("The record store " + path.toStdString() + " cannot be used: file is not a "
                                        "database", 0) == 0;
        EXPECT_EQ(said, corrupt);
        SqliteRecordStore look(path, "x");
        std::string error;
        EXPECT_EQ(look.open(error), !corrupt) << error;
    }
}

}  // namespace

namespace {

// File > Records on the real window: the newest rows first, each filter as
// typed (Enter finds), and Export writes what is shown in the record's
// format.
TEST(RecordsWindow, FindsByEveryFilterAndExportsWhatItShows) {
    QFile::remove(SqliteRecordStore::defaultPath());
    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::platform::RecordStore* store = d.core().record.store();
    ASSERT_NE(store, nullptr);
    std::string error;
    for (StoredRow row : kRows) ASSERT_TRUE(store->add(row, error)) << error;
    d.mainWindow()->findChild<QAction*>("mRecords")->trigger();
    kv::desktop::FormView* view = d.recordsView();
    ASSERT_TRUE(kv::test::waitUntil([&] { return view->isVisible(); }));
    auto* table = qobject_cast<QTableWidget*>(view->widget("grdRecords"));
    ASSERT_NE(table, nullptr);
    auto column = [&](const QString& heading) {
        QStringList out;
        for (int c = 0; c < table->columnCount(); ++c)
            if (table->horizontalHeaderItem(c)->text() == heading)
                for (int r = 0; r < table->rowCount(); ++r) out << table->item(r, c)->text();
        return out;
    };
    auto found = [&] { return qobject_cast<QLabel*>(view->widget("lblFound"))->text(); };
    kv::test::waitUntil([&] { return table->rowCount() == 4 && found() == "4 rows"; }, 1000);
    EXPECT_EQ(column("MAC"), (QStringList{"0004A3B1C204", "0004A3B1C203", "0004A3B1C202", "0004A3B1C201"}));
    EXPECT_EQ(column("Station"), (QStringList{"LINE-2", "LINE-2", "LINE-1", "LINE-1"}));
    EXPECT_EQ(found(), "4 rows");

    const struct {
        int box;  // Asset, MAC, Client, Station, Date, Verified
        const char* typed;
        QStringList macs;
    } cases[] = {
        {0, "KV-1001", {"0004A3B1C203", "0004A3B1C201"}},
        {1, "C202", {"0004A3B1C202"}},
        {1, "a3b1c203", {"0004A3B1C203"}},  // hex digits in either case
        {2, "012", {"0004A3B1C204", "0004A3B1C203"}},
        {3, "LINE-1", {"0004A3B1C202", "0004A3B1C201"}},
        {4, "2026-12-05", {"0004A3B1C204", "0004A3B1C203"}},
        {5, "no", {"0004A3B1C202"}},
    };
    for (const auto& c : cases) {
        for (int i = 0; i < 6; ++i) d.core().records.txtFilter(i).setText("");
        auto* box = qobject_cast<QLineEdit*>(view->widget(kv::ui::item("txtFilter", c.box)));
        box->clear();
        QTest::keyClicks(box, c.typed);
        QTest::keyClick(box, Qt::Key_Return);
        kv::test::waitUntil([&] { return column("MAC") == c.macs; }, 1000);
        EXPECT_EQ(column("MAC"), c.macs) << c.typed;
    }

    // Shown now: the row of 2026-12-04 that was not verified.
    QString path = QDir::homePath() + "/export.csv";
    kv::test::DialogAnswer answer;
    answer.answerWith(path);
    QTest::mouseClick(view->widget("cmdExport"), Qt::LeftButton);
    ASSERT_TRUE(kv::test::waitUntil([&] { return QFile::exists(path); }, 5000));
    EXPECT_EQ(answer.title, "Export Records");
    EXPECT_EQ(kv::test::fileLines(path.toStdString()),
              (QStringList{kv::app::ProvisioningRecord::kHeader,
                           "09:05:00 04/12/2026,0004A3B1C202,0004A3B1C202,1A 2B,K5b 162,KV-1002,005,IMEI-KV-1002,,"
                           "no: client"}));
    EXPECT_TRUE(kv::test::waitUntil([&] { return found() == "1 row exported to " + path; }, 1000))
        << found().toStdString();
    d.core().window.unload();
}

}  // namespace
