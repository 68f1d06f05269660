// The record store on a real SQLite file in the test's temporary home: rows
// that last across a kill, an older store brought up to date, the store's
// faults (a full disk, a locked or corrupt file), which never stop the CSV
// record, and the records window's filters and export.
#include <gtest/gtest.h>

#include <QtSql>
#include <csignal>

#include "desktop/SqliteRecordStore.h"
#include "tests/desktop/DesktopSupport.h"
#include "tests/support/BatchHelpers.h"

namespace {

using namespace kv::test;
using kv::desktop::SqliteRecordStore;
using kv::platform::StoredRow;

StoredRow rowOf(const std::string& station, const std::string& when, const std::string& mac, const std::string& asset,
                const std::string& client, const std::string& verified) {
    return {0, station, kv::platform::isoFromLogTime(when),
            {when, mac, mac, "1A 2B", "K5b 162", asset, client, "IMEI-" + asset, "", verified}};
}

// Two stations on two days; the last asset holds the characters a LIKE
// pattern takes for wildcards.
const StoredRow kRows[] = {
    rowOf("LINE-1", "09:00:00 04/12/2026", "0004A3B1C201", "KV-1001", "005", "yes"),
    rowOf("LINE-1", "09:05:00 04/12/2026", "0004A3B1C202", "KV-1002", "005", "no: client"),
    rowOf("LINE-2", "10:42:07 05/12/2026", "0004A3B1C203", "KV-1001", "012", "yes"),
    rowOf("LINE-2", "11:00:00 05/12/2026", "0004A3B1C204", "50%_OFF", "012", "yes"),
};

// The numbers of the rows the filter finds, newest first.
std::vector<std::int64_t> numbers(SqliteRecordStore& store, const kv::platform::RowFilter& filter) {
    std::vector<StoredRow> rows;
    std::string error;
    EXPECT_TRUE(store.find(filter, rows, error)) << error;
    std::vector<std::int64_t> out;
    for (const auto& r : rows) out.push_back(r.number);
    return out;
}

// Run by the next test in a process of its own.
TEST(SqliteStore, DISABLED_AddsRowsThenWaits) {
    SqliteRecordStore store(QDir::homePath() + "/data/records.sqlite", "LINE-1");
    std::string error;
    ASSERT_TRUE(store.open(error)) << error;
    StoredRow row;
    for (const StoredRow& each : kRows) ASSERT_TRUE(store.add(row = each, error)) << error;
    std::printf("added %lld\n", static_cast<long long>(row.number));
    std::fflush(stdout);
    QThread::sleep(30);
}

// Rows reported written are on the disk, in a folder the store made: a store
// killed right after is found holding them at the next start, whole, and the
// newest row of an asset is found by it.
TEST(SqliteStore, RowsReportedWrittenSurviveAKillWhole) {
    Child child;
    child.start("SqliteStore.DISABLED_AddsRowsThenWaits");
    ASSERT_TRUE(child.says("added 4", 10000)) << child.said.toStdString();
    ::kill(static_cast<pid_t>(child.process.processId()), SIGKILL);
    child.process.waitForFinished();
    SqliteRecordStore after(child.path("data/records.sqlite"), "LINE-1");
    std::string error;
    ASSERT_TRUE(after.open(error)) << error;
    EXPECT_EQ(after.schemaVersion(error), SqliteRecordStore::kSchemaVersion);
    EXPECT_EQ(numbers(after, {}), (std::vector<std::int64_t>{4, 3, 2, 1}));
    EXPECT_EQ(numbers(after, {.limit = 1}), std::vector<std::int64_t>{4});
    std::optional<StoredRow> last;
    ASSERT_TRUE(after.lastWithAsset("KV-1001", last, error) && last.has_value()) << error;
    EXPECT_EQ(std::to_string(last->number) + " " + last->station + " " + last->writtenAt,
              "3 LINE-2 2026-12-05 10:42:07");
    EXPECT_EQ(last->fields, kRows[2].fields);
    ASSERT_TRUE(after.lastWithAsset("KV-9999", last, error)) << error;
    EXPECT_FALSE(last.has_value());
}

// A store of the first version (before the shared server) is brought up to
// date on open, its rows kept, all of them still to be sent; a row the store
// cannot take (a full disk, a file another program holds) fails whole,
// saying why, and the next goes in once the fault is gone; the rows go to
// the server oldest first.
TEST(SqliteStore, AnOlderStoreIsMigratedAndARowFailsWholeThenPasses) {
    TempDir dir;
    const QString path = QString::fromStdString((dir.path() / "records.sqlite").string());
    QSqlDatabase old = QSqlDatabase::addDatabase("QSQLITE", "v1");  // later the other program holding the file
    old.setDatabaseName(path);
    ASSERT_TRUE(old.open());
    for (const char* statement :
         {"CREATE TABLE schema_version (version INTEGER NOT NULL)", "INSERT INTO schema_version VALUES (1)",
          "CREATE TABLE records (number INTEGER PRIMARY KEY AUTOINCREMENT, station TEXT NOT NULL, written_at TEXT "
          "NOT NULL, date_time TEXT NOT NULL, serial TEXT NOT NULL, mac TEXT NOT NULL, checksum TEXT NOT NULL, "
          "fw_version TEXT NOT NULL, asset_id TEXT NOT NULL, client_id TEXT NOT NULL, custom_1 TEXT NOT NULL, "
          "custom_2 TEXT NOT NULL, verified TEXT NOT NULL)",
          "INSERT INTO records VALUES (NULL, 'LINE-1', '2026-12-04 09:00:00', '09:00:00 04/12/2026', 'M', 'M', "
          "'1A 2B', 'K5b 162', 'KV-1001', '005', '', '', 'yes')"})
        ASSERT_TRUE(QSqlQuery(old).exec(statement)) << statement;
    SqliteRecordStore store(path, "LINE-1");
    std::string error;
    ASSERT_TRUE(store.open(error)) << error;
    EXPECT_EQ(store.schemaVersion(error), SqliteRecordStore::kSchemaVersion);
    std::vector<StoredRow> waiting;
    ASSERT_TRUE(store.unsent(10, waiting, error)) << error;
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_EQ(waiting[0].fields[5], "KV-1001");
    StoredRow row = kRows[1];
    {
        FileSizeLimit full(0);
        EXPECT_FALSE(store.add(row, error));
        EXPECT_NE(error.find("disk"), std::string::npos) << error;
    }
    ASSERT_TRUE(QSqlQuery(old).exec("BEGIN EXCLUSIVE"));
    EXPECT_FALSE(store.add(row, error));
    EXPECT_EQ(error, "database is locked");
    ASSERT_TRUE(QSqlQuery(old).exec("ROLLBACK"));
    ASSERT_TRUE(store.add(row, error)) << error;
    EXPECT_EQ(numbers(store, {}), (std::vector<std::int64_t>{row.number, 1}));
    // The server gets the rows oldest first; a row marked sent marks those before it too.
    ASSERT_TRUE(store.unsent(10, waiting, error)) << error;
    ASSERT_EQ(waiting.size(), 2u);
    EXPECT_EQ(waiting[0].number, 1);
    std::int64_t left = -1;
    EXPECT_TRUE(store.markSent(row.number, error) && store.unsentCount(left, error)) << error;
    EXPECT_EQ(left, 0);
    old.close();
}

// The dashboard's store is records.sqlite in its data folder: a file there
// that is no database is said at start, alone.
// File > Records on the real window: the newest rows first, each filter as
// typed (Enter finds), and Export writes what is shown in the record's format.
TEST(RecordsWindow, FindsByEveryFilterAndExportsWhatItShows) {
    const QString path = SqliteRecordStore::defaultPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    writeFile(path.toStdString(), std::string(4096, 'x'));
    {
        Desk junk;
        ASSERT_EQ(junk.messages.shown.size(), 1u);
        EXPECT_EQ(seen(junk, "@said").indexOf("The record store " + path + " cannot be used: file is not a database"),
                  0) << junk.messages.shown[0].text;
        junk.d.core().window.unload();
    }
    QFile::remove(path);
    Desk s;
    std::string error;
    for (StoredRow row : kRows) ASSERT_TRUE(s.d.core().record.store()->add(row, error)) << error;
    ASSERT_EQ(play(s, {{"menu mRecords", {{"visible records", "1"}, {"records.lblFound", "4 rows"}, {"@said", ""},
                                          {"@column MAC", "C204 C203 C202 C201"},
                                          {"@column Station", "LINE-2 LINE-2 LINE-1 LINE-1"}}}}), "");
    const struct {
        QStringList typed;  // Asset, MAC, Client, Station, Date, Verified
        const char* macs;
    } cases[] = {
        {{}, "C204 C203 C202 C201"},
        {{"KV-1001"}, "C203 C201"},
        {{"", "C202"}, "C202"},
        {{"", "a3b1c203"}, "C203"},  // hex digits in either case
        {{"", "", "012"}, "C204 C203"},
        {{"", "", "", "LINE-1"}, "C202 C201"},
        {{"", "", "", "", "2026-12-04"}, "C202 C201"},
        {{"", "", "", "", "2026-12-05"}, "C204 C203"},
        {{"KV-1001", "", "", "LINE-1"}, "C201"},
        {{"%_"}, "C204"},  // plain characters
        {{"KV-7"}, ""},
        {{"", "", "", "", "", "no"}, "C202"},
    };
    for (const auto& c : cases) {
        Lives typed;
        for (int i = 0; i < 6; ++i)
            typed.push_back({QString("type records.txtFilter(%1) %2").arg(i).arg(c.typed.value(i))});
        // Enter in the box typed last.
        typed.push_back({QString("key records.txtFilter(%1) Return").arg(std::max(0, int(c.typed.size()) - 1)),
                         {{"@column MAC", c.macs}}, 1000});
        EXPECT_EQ(play(s, typed), "") << "typed: " << c.typed.join('|').toStdString();
    }
    // Shown now: the row of 2026-12-04 that was not verified.
    const QString exported = QDir::homePath() + "/export.csv";
    DialogAnswer answer;
    answer.answerWith(exported);
    EXPECT_EQ(play(s, {{"click records.cmdExport", {{"records.lblFound", "1 row exported to " + exported}}}}), "");
    EXPECT_EQ(answer.title, "Export Records");
    EXPECT_EQ(fileLines(exported.toStdString()),
              (QStringList{kv::app::ProvisioningRecord::kHeader,
                           "09:05:00 04/12/2026,0004A3B1C202,0004A3B1C202,1A 2B,K5b 162,KV-1002,005,IMEI-KV-1002,,"
                           "no: client"}));
    s.d.core().window.unload();
}

}  // namespace
