// The dashboard against every way kv5x-sim can misbehave, end to end: the
// real QSerialPort on a pseudo-terminal and the real windows. Each case
// watches a fixed time from OK and checks what the technician has then:
// identified or not, the requests the controller received, the provisioning
// log on disk, the information bar and the labels the mode touches.
//
// The connection sequence moves at its one-second ticks and the first tick
// after OK comes at any point of the first second, so every window ends at
// least a second away from any tick that could change the outcome, and reply
// delays fall half a second away from the ticks around them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <iostream>
#include <map>
#include <memory>
#include <vector>

#include "desktop/Dashboard.h"
#include "tests/desktop/DesktopSupport.h"

using kv::test::SimProcess;
using kv::test::waitUntil;

namespace {

constexpr const char* kConnected = " CONNECTED..OK";
constexpr const char* kConnecting = " CONNECTING.... Please Wait";
// Each request of an identification once, in order.
constexpr const char* kOneOfEach = "firmware 1, checksum 1, params 1, MAC 1, client 1, asset 1";
constexpr const char* kProvisioned =
    "firmware 2, checksum 2, params 3, MAC 4, client 3, asset 3, service 2, param write 4";

// What happens once the controller has been identified.
enum class Then {
    Wait,     // nothing: the technician watches
    Restart,  // RESTART: the controller enters and leaves service mode, and restarts
    Replug,   // the controller's link goes away and a controller comes back on it
    Provision,  // customer 005, a count of 1 and the asset KV-1 scanned: the automatic setting
};

// A mode and what the technician has at the end of its window. The defaults
// are what a prompt controller gives.
struct FaultCase {
    const char* name;
    QStringList simArgs;
    Then then = Then::Wait;
    int windowMs = 9000;  // from OK
    bool identified = true;
    int identifications = 1;  // how often " CONNECTED..OK" came up
    const char* progress = kConnected;
    // The requests the controller received, by kind, in the order each kind
    // first came; one group per simulator process, split by " | ".
    const char* requests = kOneOfEach;
    int logRows = 1;  // below the header
    const char* infoBar = "";
    std::vector<std::string> infoBarTexts = {};  // every text the bar showed, in order
    const char* client = " 005";                // under "ClientID"
    const char* assetId = "---";                // under "Asset ID"
    std::vector<std::string> messages = {};     // the first line of every message shown
    std::vector<std::string> record = {};       // the record's rows: MAC, asset, verified
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

// "firmware 2, checksum 1": the requests in `output` (the simulator's "<-"
// lines), counted by kind.
QString requestSummary(const QString& output) {
    static const std::map<QString, QString> kinds = {
        {"01", "firmware"}, {"02", "status"},   {"05", "config"}, {"06", "params"}, {"07", "param write"},
        {"08", "service"},  {"0A", "checksum"}, {"15", "client"}, {"16", "asset"},  {"18", "MAC"}};
    static const QRegularExpression line("^<- ([0-9A-F]{2})", QRegularExpression::MultilineOption);
    QStringList order;
    std::map<QString, int> counts;
    auto it = line.globalMatch(output);
    while (it.hasNext()) {
        QString code = it.next().captured(1);
        auto kind = kinds.find(code);
        QString name = kind == kinds.end() ? "code " + code : kind->second;
        if (counts[name]++ == 0) order << name;
    }
    QStringList parts;
    for (const auto& name : order) parts << QString("%1 %2").arg(name).arg(counts[name]);
    return parts.join(", ");
}

QString shown(kv::desktop::FormView* view, const char* name) {
    auto* label = qobject_cast<QLabel*>(view->widget(name));
    return label ? label->text() : "(no such label)";
}

class FaultMatrix : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultMatrix, Mode) {
    const FaultCase& c = GetParam();
    SCOPED_TRACE(c.name);

    // COM10 in every case: each case is a process of its own with its own
    // temporary home, where the simulator links the port.
    const QStringList args = QStringList{"--com", "10"} + c.simArgs;
    const QString link = QString("linked as COM10 (%1/").arg(QDir::homePath());
    std::vector<std::unique_ptr<SimProcess>> sims;
    sims.push_back(std::make_unique<SimProcess>(args));
    ASSERT_TRUE(sims.back()->started()) << sims.back()->output().toStdString();
    ASSERT_TRUE(sims.back()->output().contains(link)) << sims.back()->output().toStdString();

    kv::test::FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    std::vector<std::string> barTexts;
    core.receive.lblError.listen([&] {
        const std::string& text = core.receive.lblError.caption();
        if (barTexts.empty() || barTexts.back() != text) barTexts.push_back(text);
    });
    int identifications = 0;
    std::string lastProgress;
    core.progress.lblCurrentINFO.listen([&] {
        const std::string& text = core.progress.lblCurrentINFO.caption();
        if (text == kConnected && lastProgress != kConnected) ++identifications;
        lastProgress = text;
    });
    auto connected = [&] { return core.progress.lblCurrentINFO.caption() == kConnected; };

    auto* ok = d.startupView()->findChild<QPushButton*>("cmdAction(0)");
    ASSERT_NE(ok, nullptr);
    ASSERT_TRUE(ok->isVisible());
    QElapsedTimer sinceOk;
    QTest::mouseClick(ok, Qt::LeftButton);
    sinceOk.start();

    if (c.then != Then::Wait) {
        ASSERT_TRUE(waitUntil(connected, 9000)) << core.progress.lblCurrentINFO.caption();
        if (c.then == Then::Restart) {
            QWidget* restart = d.mainView()->widget("cmdRestartController");
            ASSERT_NE(restart, nullptr);
            QTest::mouseClick(restart, Qt::LeftButton);
        } else if (c.then == Then::Provision) {
            core.customers.cboCLientList.choose(1);  // 005 - Acme Refrigeration Ltd
            core.identityWrite.txtSetCounter.setText("1");
            QTest::mouseClick(d.mainView()->widget("cmdSetCounter"), Qt::LeftButton);
            QWidget* field = d.setAssetView()->findChild<QWidget*>("txtScannedAsset");
            ASSERT_TRUE(waitUntil([&] { return QApplication::focusWidget() == field; }, 2000));
            QTest::keyClicks(field, "KV-1");
            QTest::keyClick(field, Qt::Key_Return);
        } else {
            sims.back()->stop();
            ASSERT_TRUE(waitUntil([&] { return core.receive.lblError.caption() == "Port lost"; }, 3000));
            sims.push_back(std::make_unique<SimProcess>(args));
            ASSERT_TRUE(sims.back()->started()) << sims.back()->output().toStdString();
            ASSERT_TRUE(sims.back()->output().contains(link)) << sims.back()->output().toStdString();
        }
    }
    ASSERT_LT(sinceOk.elapsed(), c.windowMs);
    waitUntil([] { return false; }, static_cast<int>(c.windowMs - sinceOk.elapsed()));
    QApplication::processEvents();

    QStringList requestGroups;
    for (auto& sim : sims) requestGroups << requestSummary(sim->output());
    const std::string requests = requestGroups.join(" | ").toStdString();
    const QStringList log = kv::test::fileLines(core.log.path());
    std::cout << "[" << c.name << "] after " << sinceOk.elapsed() << " ms: \""
              << core.progress.lblCurrentINFO.caption() << "\" (" << identifications << "x connected); requests "
              << requests << "; log " << log.join(" / ").toStdString() << "; bar \""
              << core.receive.lblError.caption() << "\"; client \"" << core.identity.lblClient.caption()
              << "\"; asset ID \"" << core.status.lblGetStatus(4).caption() << "\"" << std::endl;

    EXPECT_EQ(connected(), c.identified);
    EXPECT_EQ(identifications, c.identifications);
    EXPECT_EQ(core.progress.lblCurrentINFO.caption(), c.progress);
    EXPECT_EQ(requests, c.requests);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log[0], kv::app::ProvisioningLog::kHeader);
    EXPECT_EQ(log.size() - 1, c.logRows) << log.join("\n").toStdString();
    // Every row holds this controller's checksum and firmware, whole.
    static const QRegularExpression row(R"(^\d\d:\d\d:\d\d \d\d/\d\d/\d{4}, [0-9A-F]{2} [0-9A-F]{2} , , K5b 162$)");
    for (qsizetype i = 1; i < log.size(); ++i) EXPECT_TRUE(row.match(log[i]).hasMatch()) << log[i].toStdString();
    EXPECT_EQ(core.receive.lblError.caption(), c.infoBar);
    EXPECT_EQ(barTexts, c.infoBarTexts);
    EXPECT_EQ(core.identity.lblClient.caption(), c.client);
    EXPECT_EQ(core.status.lblGetStatus(4).caption(), c.assetId);
    // The windows show what the core holds.
    EXPECT_EQ(shown(d.progressView(), "lblCurrentINFO").toStdString(), c.progress);
    EXPECT_EQ(shown(d.mainView(), "lblError").toStdString(), c.infoBar);
    EXPECT_EQ(shown(d.mainView(), "lblGetStatus(3)").toStdString(), c.client);
    EXPECT_EQ(shown(d.mainView(), "lblGetStatus(4)").toStdString(), c.assetId);
    std::vector<std::string> said;
    for (const auto& m : messages.shown) said.push_back(m.text.substr(0, m.text.find('\n')));
    EXPECT_EQ(said, c.messages);
    std::vector<std::string> rows;
    for (const QString& r : kv::test::fileLines(core.record.path()).mid(1)) {
        QStringList f = r.split(',');
        rows.push_back(QStringList{f.value(2), f.value(5), f.value(9)}.join(',').toStdString());
    }
    EXPECT_EQ(rows, c.record);
}

// Controller 1 of a line of two swapped at `point` of its automatic setting;
// `client` is what the second one holds then. Two identifications, the
// setting (with a MAC check after the asset and after the client) and four
// frames in service mode; `second` is the second controller's row.
FaultCase swapped(const char* name, const char* point, const char* client, const char* second) {
    return {.name = name,
            .simArgs = {"--line", "2", "--restart-ms", "300", "--swap-during", point},
            .then = Then::Provision,
            .windowMs = 40000,
            .identifications = 2,
            .requests = kProvisioned,
            .client = client,
            .record = {"0004A3B1C201,KV-1,no: replaced before its read-back", second}};
}

const FaultCase kCases[] = {
    // Asked again at every seventh tick, without end: ticks 0, 7 and 14.
    {.name = "Silent",
     .simArgs = {"--silent"},
     .windowMs = 16000,
     .identified = false,
     .identifications = 0,
     .progress = kConnecting,
     .requests = "firmware 3",
     .logRows = 0,
     .client = "---"},
    // Each step moves on at the third tick after its request: done at tick 18.
    {.name = "DelayShorterThanTheRetry", .simArgs = {"--delay", "2500"}, .windowMs = 20000},
    // Each request is sent again at its seventh tick; the first reply comes
    // half a tick later and moves the sequence on, the second one's reply
    // comes in the next step and is passed over, but a second checksum reply
    // is a second log row. Done at tick 54.
    {.name = "DelayLongerThanTheRetry",
     .simArgs = {"--delay", "8500"},
     .windowMs = 56000,
     .requests = "firmware 2, checksum 2, params 2, MAC 2, client 2, asset 2",
     .logRows = 2},
    {.name = "ByteByByte", .simArgs = {"--chunk", "byte"}},
    {.name = "Split", .simArgs = {"--chunk", "2"}},
    // The status labels 3 and 4 are shared with the client ID and the asset
    // header's value: a status reply glued after the client reply leaves the
    // outputs' states there (output 1 on, output 2 off), as status replies
    // always do, until the next client reply.
    {.name = "GluedStatusReply", .simArgs = {"--double"}, .client = "ON", .assetId = "OFF"},
    // Each step is answered at its first repeat, seven ticks on: done at tick 48.
    {.name = "AnswersOnlyTheRepeat",
     .simArgs = {"--answer-on", "2"},
     .windowMs = 50000,
     .requests = "firmware 2, checksum 2, params 2, MAC 2, client 2, asset 2"},
    // RESTART once identified: 5 s after leaving service mode the dashboard
    // identifies it again, but the controller is deaf for 9 s; the firmware
    // request is answered at its repeat seven ticks later.
    {.name = "DeafAfterRestart",
     .simArgs = {"--restart-ms", "9000"},
     .then = Then::Restart,
     .windowMs = 30000,
     .identifications = 2,
     .requests = "firmware 3, checksum 2, params 2, MAC 2, client 2, asset 2, service 2"},
    // Unplugged once identified and plugged in again: reopened and identified
    // again from the first request.
    {.name = "VanishedAndReturned",
     .simArgs = {},
     .then = Then::Replug,
     .windowMs = 22000,
     .identifications = 2,
     .requests = "firmware 1, checksum 1, params 1, MAC 1, client 1, asset 1 | "
                 "firmware 1, checksum 1, params 1, MAC 1, client 1, asset 1",
     .infoBar = "Port back",
     .infoBarTexts = {"Port lost", "Port back"}},
    // Values outside the definition file's limits: identified all the same,
    // one message names them; the rows show the limits.
    {.name = "ValuesOutsideTheLimits",
     .simArgs = {"--param", "1=900", "--param", "8=300"},
     .messages = {"The controller holds values outside the limits of the parameter definitions. The table shows "
                  "the limit, which is what gets written:"}},
    // A line whose factory state is not the definition file's defaults.
    {.name = "FactoryStateOfItsOwn",
     .simArgs = {"--line", "2", "--param", "1=500", "--param", "20=3"},
     .client = " <00",
     .assetId = "---"},
    // Swapped in the middle of the automatic setting: the controller that
    // took the asset keeps its row, the one put in its place gets its own.
    swapped("SwappedAfterItsAsset", "1:asset", " 005", "0004A3B1C202,,no: asset not written"),
    swapped("SwappedAfterItsClient", "1:client", " <00",
            "0004A3B1C202,,no: put on the line during the writes to 0004A3B1C201"),
    swapped("SwappedDuringTheBulkWrite", "1:bulk", " <00",
            "0004A3B1C202,,no: put on the line during the writes to 0004A3B1C201"),
};

INSTANTIATE_TEST_SUITE_P(FaultMatrix, FaultMatrix, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

}  // namespace
