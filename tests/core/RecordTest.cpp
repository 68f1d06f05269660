// The record of provisioned controllers: its CSV file and the provisioning
// log on disk, batches provisioned from scans (the real main window against
// the virtual line on the virtual clock), a full disk, and the record store
// with its dialog and its window.
#include <gtest/gtest.h>

#include "tests/support/Scenario.h"

using namespace kv::test;

namespace {

TEST(Record, FieldsAreQuotedOnlyWhereCsvNeedsIt) {
    const std::pair<std::string, std::string> cases[] = {
        {"A100", "A100"}, {"", ""}, {" 005 ", " 005 "}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""}, {"lf\nonly", "\"lf\nonly\""},
        {std::string("nul\0byte", 8), std::string("nul\0byte", 8)}, {"\xE9t\xE9", "\xE9t\xE9"}};
    for (const auto& [in, out] : cases) EXPECT_EQ(kv::app::csvField(in), out) << in;
}

// Batch scenarios: until "begin" (a batch of three: customer 005, an IMEI
// each) or "load" (start-up and OK) nothing runs; with neither, the batch
// begins first. Ten seconds after its script, both files are in the logs
// folder, each under its header, and the record holds `rows` (Batch::rows()).
struct Case {
    std::string name, text, rows;
};
void play(const std::vector<Case>& cases) {
    std::vector<std::pair<std::string, std::string>> scripts;
    for (const auto& c : cases) {
        const bool started = c.text.find("begin") != std::string::npos || c.text.find("load") != std::string::npos;
        scripts.push_back({c.name, (started ? "" : "begin / ") + c.text + " / disk / advance 10000 / "
            "files = RECORD_14_05_09_05_12_2026.csv | Date_Time, Serial, MAC, Checksum, FW Version, Asset ID, "
            "Client ID, Custom 1, Custom 2\r\n / rows = " + c.rows});
    }
    playScripts(scripts);
}

// Every way a controller of a batch can leave the line, and what the record
// then holds: one row for each controller touched, true of it.
TEST(ControllersAsTheyCome, EveryControllerTouchedLeavesOneTrueRow) {
    const std::string ok = "1:ID,KV-1,005,I-1,,yes\n";
    const std::string replaced = "1:M,M,,,KV-1,,I-1,,no: replaced before its read-back";
    const std::string restarting = "wait lblCurrentINFO =  Controller Restarting......Please wait / ";
    const std::string afterAsset = replaced + "\n2:ID,,005,,,no: asset not written\n";
    const std::string later = "1:M,M,,,KV-1,005,I-1,,no: replaced before its read-back\n"
                              "2:ID,,<00,,,no: put on the line during the writes to 0004A3B1C201\n";
    const std::string again = "provision KV-1 I-1 / wait visible frmSetAsset = 1 / scan KV-1 / open = 1 / shown = "
                              "Asset KV-1 was written to controller 0004A3B1C201 at 14:05. Write it to this controller too? / "
                              "advance 20000 / unit 2 asset = / ";
    const std::string refused = "keys = 7 beeps, 0 frames / ";
    const std::string byHand = "click cmdExit / type txtSetClient  / click cdmSetParams / ";
    const std::string notWritten = "1:ID,,<00,,,no: asset not written, client not written";
    std::vector<Case> cases = {
        {"three from scans alone",
         "provision KV-1001 356938035643801 / provision KV-1002 356938035643802 / provision KV-1003 356938035643803 / "
         "lblCounter = 0 / advance 10000 / visible frmSetAsset = 0 / shown = ",
         "1:ID,KV-1001,005,356938035643801,,yes\n2:ID,KV-1002,005,356938035643802,,yes\n"
         "3:ID,KV-1003,005,356938035643803,,yes\n"},
        {"swapped after its asset write",
         "scan KV-1 I-1 / wait unit 1 asset = KV-1 / advance 300 / next = 1 / wait @records = 2",
         afterAsset},
        {"swapped after its client write",
         "scan KV-1 I-1 / wait unit 1 client = 005 / advance 300 / next = 1 / wait @records = 2",
         later},
        {"swapped during the bulk write", "scan KV-1 I-1 / wait frame = 3 / advance 300 / next = 1 / wait @records = 2",
         later},
        {"swapped right after its asset", "swap 1 asset / scan KV-1 I-1 / wait visible frmSetAsset = 1", afterAsset},
        {"swapped right after its client", "swap 1 client / scan KV-1 I-1 / wait visible frmSetAsset = 1", later},
        {"swapped right at its bulk write", "swap 1 bulk / scan KV-1 I-1 / wait visible frmSetAsset = 1", later},
        {"swapped right after its asset, the next at its bulk write",
         "swap 1 asset / swap 2 bulk / scan KV-1 I-1 / wait visible frmSetAsset = 1",
         replaced + "\n2:M,M,,,,005,,,no: replaced before its read-back\n"
                    "3:ID,,<00,,,no: put on the line during the writes to 0004A3B1C202\n"},
        // While it restarts, the controller puts two values back, as firmware that refuses them does.
        {"a parameter it does not hold",
         "scan KV-1 I-1 / " + restarting + "hold 11 999 / hold 29 0 / wait @records = 1",
         "1:ID,KV-1,005,I-1,,no: P012, P030\n"},
        // APPLY PARAMS refuses a table of 38 rows and gives the controls back;
        // the technician gives up on the controller and scans the next.
        {"the next scanned while its row waits",
         "defs 38 / begin / scan KV-1 I-1 / wait enabled cmdSetCounter = 1 / unit 1 asset = KV-1 / answer OK / "
         "click cmdSetCounter / next = 1 / scan KV-2 I-2 / @records = 1 / close",
         "1:M,M,,,KV-1,005,I-1,,no: the next controller was scanned before it was read back\n"},
        {"REFRESH, then the scan", "click cmdRefreshNextController / advance 3500 / provision KV-1 I-1", ok},
        {"REFRESH, then the scan; the controller drops the client",
         "click cmdRefreshNextController / advance 3500 / drops / provision KV-1 I-1",
         "1:ID,KV-1,<00,I-1,,no: client\n"},
        {"unplugged after its asset write, then the program closed",
         "scan KV-1 I-1 / wait unit 1 asset = KV-1 / advance 300 / unplug / advance 20000 / close",
         "1:M,M,,,KV-1,,I-1,,no: the program was closed before its read-back\n"},
        // Asked first, the write going on meanwhile; closed, the controller leaves service mode.
        {"the program closed during the bulk write",
         "scan KV-1 I-1 / wait frame = 3 / close / open = 1 / advance 400 / visible frmMain = 1 / "
         "answer Close anyway / quit = 1 / wrote = *08 01 01 00",
         "1:M,M,,,KV-1,005,I-1,,no: the program was closed during its parameter write; taken out of service mode\n"},
        {"the program closed while it restarts",
         "deaf / scan KV-1 I-1 / " + restarting + "advance 8000 / pending = 1 / close",
         "1:M,M,,,KV-1,005,I-1,,no: not identified after its restart\n"},
        {"its asset written before, not again", again + "answer No / scan KV-2 I-2 / wait @records = 2",
         ok + "2:ID,KV-2,005,I-2,,yes\n"},
        {"its asset written before, again", again + "answer Yes / scan txtCustom1(0) I-2 / wait @records = 2",
         ok + "2:ID,KV-1,005,I-2,,yes\n"},
        {"an asset of 18 characters, its first 15",
         "scan KV-ABCDEFGHIJKLMNO / answer Write the first 15 / scan txtCustom1(0) I-1 / wait @records = 1",
         "1:ID,KV-ABCDEFGHIJKL,005,I-1,,no: asset cut to 15 of the 18 characters of KV-ABCDEFGHIJKLMNO\n"},
        {"an asset of 15 characters, as it is", "provision KV-ABCDEFGHIJKL I-1", "1:ID,KV-ABCDEFGHIJKL,005,I-1,,yes\n"},
        {"an asset of 18 characters, scanned again",
         "scan KV-ABCDEFGHIJKLMNO / answer Scan again / txtScannedAsset = / provision KV-9 I-1",
         "1:ID,KV-9,005,I-1,,yes\n"},
        // The main window's asset box asks the same questions before it writes.
        {"18 characters in the main window, Enter",
         "click cmdExit / type txtAssetID KV-ABCDEFGHIJKLMNO / key txtAssetID 13 / advance 3000 / open = 1 / "
         "unit 1 asset =", ""},
        {"18 characters in the main window, SET ASSET",
         "click cmdExit / type txtAssetID KV-ABCDEFGHIJKLMNO / click cmdSetAssetID / advance 3000 / open = 1 / "
         "unit 1 asset =", ""},
        {"written in an earlier run, Enter in the main window",
         "logged KV-1 / begin / click cmdExit / type txtAssetID KV-1 / key txtAssetID 13 / advance 3000 / open = 1 / "
         "shown = Asset KV-1 was written to controller 0004A3B1C2FF at 09:01 on 04/12/2026. Write it to this "
         "controller too? / unit 1 asset =",
         ""},
        {"typed into the main window after a swap nobody saw",
         "click cmdExit / next = 1 / type txtAssetID KV-5 / key txtAssetID 13 / wait @records = 1",
         "2:ID,KV-5,005,,,yes\n"},
        {"no customer chosen", "type txtSetClient  / provision KV-1 I-1", "1:ID,KV-1,<00,I-1,,no: no client chosen\n"},
        {"APPLY PARAMS by hand", byHand + "advance 30000", notWritten + "\n"},
        {"APPLY PARAMS again while the first is read back: refused",
         byHand + "wait writing = 0 / advance 2000 / enabled cdmSetParams = 1 / click cdmSetParams / writing = 0 / "
                  "advance 30000 / lblCounter = 2",
         notWritten + "\n"},
        // While the read-back asks for the serial number, a parameter reply
        // cut after 38 values comes in: the last value is not confirmed.
        {"a shorter parameter reply after the read-back's own",
         byHand + "advance 3000 / wait lblCurrentINFO =  Acquiring Serial Number.... Please Wait / short reply / "
                  "advance 30000",
         notWritten + ", P039\n"},
        // The first row's client column says what was read before the set by
        // hand, not what the controller holds: left unchecked.
        {"a client set by hand before; none for the next",
         "click cmdExit / click cmdSetClientID / advance 100 / unit 1 client = 005 / next = 1 / "
         "click cmdRefreshNextController / advance 8000 / type txtSetClient  / type txtSetCounter 1 / "
         "click cmdSetCounter / scan KV-2 I-2 / wait @records = 2",
         "1:ID,,*,,,no: replaced before its read-back\n2:ID,KV-2,<00,I-2,,no: no client chosen\n"},
        // At the setting, its parameter read, the bulk write, the restart's wait and the identification.
        {"keys typed into the main window during the flows are refused",
         "terminal / scan KV-1 I-1 / advance 300 / " + refused + "advance 2200 / " + refused + "advance 3500 / " +
             refused + "advance 4000 / " + refused + "advance 3000 / " + refused +
             "wait visible frmSetAsset = 1 / keys = 0 beeps, 1 frames",
         ok},
        // Started on a full disk, neither file has its header; once there is
        // room, each gets its header first, then its rows.
        {"files started on a full disk",
         "disk 0 / load / disk / open = 1 / advance 8000 / click cdmSetParams / wait pending = 0 / "
         "@log = *1A 2B*",
         "?:0004A3B1C2D3,0004A3B1C2D3,1A 2B,K5b 162,A1234,005,,,no: asset not written, client not written\n"},
    };
    // The logs folder removed after start (a clean-up script, a technician
    // tidying up): the next row is on the disk (the record, without a row
    // yet, is left unchecked in the first).
    cases.push_back({"the logs folder removed, then a log row", "click cmdExit / rmlogs / type txtAssetID  / "
                     "press cmdGetCheckSum / advance 200 / @log = *, 84 1C , 3, K5b 162 / shown = ", "*"});
    cases.push_back({"the logs folder removed, then a record row", "click cmdExit / rmlogs / type txtAssetID KV-1 / "
                     "click cmdSetAssetID / advance 2000 / click cmdRefreshNextController / advance 8000 / shown = / "
                     "type txtAssetID  / press cmdGetCheckSum / advance 200 / @log = *, 84 1C , 3, K5b 162",
                     "1:ID,KV-1,<00,,,no: client not written, parameters not written\n"});
    // A label cut to its first 15 characters: the row a close writes still
    // says which label was scanned.
    const std::string cut = "deaf / scan KV-ABCDEFGHIJKLMNO / answer Write the first 15 / scan txtCustom1(0) I-1 / ";
    const std::string cutRow = "; asset cut to 15 of the 18 characters of KV-ABCDEFGHIJKLMNO\n";
    cases.push_back({"cut, closed while it restarts", cut + restarting + "advance 8000 / close",
                     "1:M,M,,,KV-ABCDEFGHIJKL,005,I-1,,no: not identified after its restart" + cutRow});
    cases.push_back({"cut, a signal during the bulk write", cut + "wait frame = 3 / advance 300 / signal",
                     "1:M,M,,,KV-ABCDEFGHIJKL,005,I-1,,no: the program was closed during its parameter write; taken "
                     "out of service mode" + cutRow});
    // A log row the disk cannot take, whole or in part, is said with the
    // file, the reason and the row (to note by hand), and leaves nothing;
    // once there is room the next row is whole, on its own line.
    for (std::string room : {"0", "10"})
        cases.push_back({"a log row with room for " + room + " bytes",
                         "load / loopback / disk " + room + " / press cmdGetCheckSum / advance 100 / disk / open = 1 / "
                         "log+ = / shown = Could not write to <log>: File too large\nThis row is not in the file; "
                         "please note it:\n14:05:09 05/12/2026, 1A 2B , , Not Connected / press cmdGetCheckSum / "
                         "advance 100 / open = 1 / log+ = *, 1A 2B , , Not Connected*\r\n",
                         ""});
    // The cable out after the scan; under a second, the identification after
    // the replug reads the old asset into the box before SET ASSET is
    // repeated: the repeat still sends the scan.
    for (std::string out : {"1500", "600", "800"})
        cases.push_back(
            {"the cable out for " + out + " ms", "scan KV-1 I-1 / cable 500 " + out + " / wait @records = 1", ok});
    play(cases);
}

// The record store takes every row as this station wrote it and tells where
// an asset went; a store that fails is said, with the row, and the CSV row
// is kept. A shared server is asked too, never waited on for more than a
// second, set in Options > Record Store and read in File > Records.
TEST(RecordStore, TakesEveryRowAndSharesItWithTheServer) {
    const std::string kv1 = "Asset KV-1 was written to controller 0004A3B1C2FF at station LINE-2, 2026-12-05 10:42. "
                            "Write it to this controller too?";
    const std::string ok = "1:ID,KV-1,005,I-1,,yes\n", two = "1:ID,KV-2,005,I-2,,yes\n";
    const std::string asked = "scan KV-1 / open = 0 / advance 1100 / ";
    const std::string window =
        "server on / stored LINE-1 KV-1 / served LINE-1 KV-1 / served LINE-2 KV-2 / sent 1 / load / ";
    const std::string found = "click mRecords / lblFound = 1 row of this station; asking the shared record kv5x on "
                              "server... / advance 5100 / enabled cmdExport = 1 / lblFound = ";
    const std::string unread = "1 row of this station; the shared record kv5x on server could not be read: ";
    auto test = [](const char* host, const char* port, const char* user) {  // Test in Options > Record Store
        return "type txtHost " + std::string(host) + " / type frmRecordStore.txtPort " + port + " / type txtUser " +
               user + " / click cmdTest / advance 100 / lblTest = ";
    };
    std::vector<Case> cases = {
        {"a store that works", "stored LINE-2 KV-1 / begin / scan KV-1 / answer No / provision KV-2 I-2 / "
         "local = 1 LINE-2 KV-1 | 2 LINE-1 KV-2 (last) / shown = " + kv1, two},
        {"a store that cannot be opened", "stored LINE-2 KV-1 / broken file is not a database / begin / "
         "scan KV-1 I-1 / "
         "provision KV-2 I-2 / local = 1 LINE-2 KV-1 / shown = The record store memory cannot be used: file is not a "
         "database\n*", ok + "2:ID,KV-2,005,I-2,,yes\n"},
        {"a store that fails a row", "stored LINE-2 KV-1 / begin / scan KV-1 / answer No / broken disk I/O error / "
         "provision KV-2 I-2 / local = 1 LINE-2 KV-1 / shown = " + kv1 +
         " | The record store memory could not take this row: disk I/O error\n*", two},
        {"on the server, from another station", "server on / served LINE-2 KV-1 / begin / " + asked +
         "open = 1 / shown = " + kv1 + " / advance 10000 / unit 1 asset =", ""},
        // Written here, then at LINE-2: the server's answer names the later use.
        {"here, then at another station", "server on / stored LINE-1 KV-1 / sent 1 / served LINE-1 KV-1 / "
         "served LINE-2 KV-1 / begin / " + asked + "open = 1 / shown = " + kv1, ""},
        {"on no server and not here",
         "server on / begin / " + asked + "open = 0 / scan txtCustom1(0) I-1 / wait @records = 1", ok},
        {"the server away, here before", "server on / served LINE-2 KV-1 / stored LINE-1 KV-1 / server down could not "
         "connect to server / begin / " + asked + "open = 1 / shown = *too?\n(The shared record could not be asked: "
         "could not connect to server.)", ""},
        {"the server silent, here before", "server on / served LINE-2 KV-1 / stored LINE-1 KV-1 / server silent / "
         "begin / " + asked + "open = 1 / shown = *too?\n(The shared record could not be asked: it did not answer "
         "within a second.)", ""},
        {"the server away, not here", "server on / served LINE-2 KV-1 / server down could not connect to server / "
         "begin / " + asked + "open = 0 / scan txtCustom1(0) I-1 / wait @records = 1", ok},
        {"the dialog", "server known / stored LINE-1 KV-1 / load / connected = 0 / click mnuRecordStore / "
         "visible frmRecordStore = 1 / frmRecordStore.txtPort = 5432 / txtDatabase = kv5x / " + test("", "5432", "") +
         "No server: the records stay on this station. / " + test("db1", "54x", "station") +
         "The port must be a whole number from 1 to 65535. / " + test("db1", "5432", "") +
         "A server needs a database and a user. / server down password authentication failed for user \"station\" / " +
         test("db1", "5432", "station") + "Could not connect: password authentication failed for user \"station\" / "
         "server up / " + test("db1", "5433", "station") + "Connected: 0 rows on the server. / "
         // OK keeps the server tested; while it is away the row waits, and the information bar says so.
         "server down could not connect to server / click frmRecordStore.cmdOK / visible frmRecordStore = 0 / "
         "connected = 3, last db1:5433/kv5x as station / setting Port = 5433 / advance 1000 / "
         "lblRecords = Records: 1 waiting for the server / server up / advance 3500 / "
         "lblRecords = Records: 1 waiting for the server / advance 2500 / lblRecords = / "
         "shared = 1 LINE-1 KV-1", ""},
        {"the records window",
         window + found + "2 rows on the shared record kv5x on server / stations = LINE-2 | LINE-1",
         ""},
        {"the records window, the server away", window + "server down could not connect to server / " + found + unread +
         "could not connect to server / stations = LINE-1", ""},
        {"the records window, the server silent", window + "server silent / " + found + unread +
         "it did not answer within 5 seconds / stations = LINE-1", ""},
    };
    // Rows still on their way to the server stay in the records window:
    // opened while the first batch of 100 is in flight, or before the next
    // try after an outage.
    std::string mine150;
    for (int n = 0; n < 150; ++n) mine150 += "LINE-1 | ";
    for (int at : {kv::app::RecordSender::kRetryMs + 55, 2000})
        cases.push_back({"opened after " + std::to_string(at) + " ms", "server on / stored LINE-1 x150 / served LINE-2 "
                         "KV-2001 2026-12-04 09:00:00 / server down could not connect to server / load / advance 100 / "
                         "lblRecords = Records: 150 waiting for the server / server up / advance " +
                         std::to_string(at - 100) + " / click mRecords / advance 5100 / stations = " + mine150 +
                         "LINE-2",
                         ""});
    // A port in the settings file edited by hand to no port at all is the default.
    for (std::string port : {"1e20", "-5", "54.5", "abc", "5433"})
        cases.push_back({port, "edit Port " + port + " / load / click mnuRecordStore / frmRecordStore.txtPort = " +
                                   (port == "5433" ? port : "5432"), ""});
    play(cases);
}

}  // namespace
