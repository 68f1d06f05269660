// End to end: kv5x-sim on a pseudo-terminal, the real QSerialPort and the
// real windows, clicked, typed and scanned as a technician would: the
// parameter table and its files, a batch, the program ended by signals, every
// way the simulator can misbehave, and the dashboards of several stations
// sharing one PostgreSQL server.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableWidget>
#include <csignal>
#include <cstring>
#include <list>
#include <map>
#include <tuple>

#include "desktop/Dashboard.h"
#include "desktop/Signals.h"
#include "sim/VirtualController.h"
#include "tests/desktop/DesktopSupport.h"
#include "tests/desktop/PgServer.h"
#include "tests/support/TempDir.h"

namespace {

using namespace kv::test;
constexpr const char* kConnected = " CONNECTED..OK";

// The texts of the real message boxes on screen.
QStringList openBoxes() {
    QStringList texts;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible()) texts << b->text();
    return texts;
}

// What a box, a label or a list shows.
QString textOf(QWidget* w) {
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    return w ? "(no text)" : "(none)";
}

// This test program again, in a home of its own.
struct Child {
    TempDir home;
    QProcess process;
    QByteArray said;
    // Runs the tests `filter` names, with `env` added to its environment.
    void start(const QString& filter, const std::map<QString, QString>& env = {}) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("KV_TEST_HOME", path(""));
        for (const auto& [name, value] : env) e.insert(name, value);
        process.setProcessEnvironment(e);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QCoreApplication::applicationFilePath(),
                      {"--gtest_also_run_disabled_tests", "--gtest_filter=" + filter});
    }
    bool says(const char* text) { return (said += process.readAll()).contains(text); }
    QString path(const char* inHome) const { return QString::fromStdString(home.path() / inHome); }
};

// The dashboard on kv5x-sim's line, linked as COM10 of the test's home.
struct Station {
    // The simulator starts first: the port dialog preselects its link.
    explicit Station(const QStringList& simArgs, bool realBoxes = false)
        : args(QStringList{"--com", "10"} + simArgs), d((sims.emplace_back(args), realBoxes ? nullptr : &messages)) {
        d.start();
    }
    QWidget* widget(const QString& name) {
        for (auto* v : {d.progressView(), d.startupView(), d.setAssetView(), d.recordsView(), d.mainView()})
            if (QWidget* w = v ? v->widget(name.toStdString()) : nullptr) return w;
        return nullptr;
    }
    QStringList args;
    std::list<SimProcess> sims;  // the one on the line last
    FakeMessageBox messages;
    kv::desktop::Dashboard d;
    qsizetype mark = 0;  // where "@sim" starts counting in the simulator's output
};

// What a hold names, as text: a control's text (by its name in any window),
// "visible NAME" / "enabled NAME" ("1"/"0"), "@rows" (rows of the record),
// "@row N" (row N's serial, MAC, asset, client and verdict, of its ten
// fields; 0: the header),
// "@sim TEXT" (how often the simulator said TEXT since the last "mark"),
// "@params" (the values it printed last), "@table" (the parameter table's
// values), "@scan" (the asset dialog's title and box while it waits for a
// scan), "@boxes" / "@said" (the real boxes on screen / the boxes put up).
QString seen(Station& s, const QString& what) {
    const QString key = what.section(' ', 0, 0), arg = what.section(' ', 1);
    const QStringList record = fileLines(s.d.core().record.path()), f = record.value(arg.toInt()).split(',');
    const QString said = s.sims.back().output();
    QWidget* w = s.widget(arg);
    auto* box = s.d.setAssetView()->findChild<QLineEdit*>("txtScannedAsset");
    QStringList out;
    if (key == "visible" || key == "enabled")
        return !w ? "(none)" : (key == "visible" ? w->isVisible() : w->isEnabled()) ? "1" : "0";
    if (key == "@rows") return QString::number(record.size() - 1);
    if (key == "@row" && arg == "0") return record.value(0);
    if (key == "@row" && f.size() != 10) return QString("(%1 fields)").arg(f.size());
    if (key == "@row") return QStringList{f[1], f[2], f[5], f[6], f[9]}.join(',');
    if (key == "@sim") return QString::number(said.mid(s.mark).count(arg));
    if (key == "@boxes") return openBoxes().join(" | ");
    if (key == "@said")
        for (const auto& m : s.messages.shown) out << QString::fromStdString(m.text);
    if (key == "@scan" && s.d.setAssetView()->isVisible())
        out << s.d.setAssetView()->windowTitle() + "|" + box->text() + (QApplication::focusWidget() == box ? "" : "|-");
    for (int n = 1; key == "@params" && n <= 39; ++n) {
        const qsizetype at = said.lastIndexOf(QString(" P%1=").arg(n, 3, 10, QChar('0'))) + 6;
        out << said.mid(at, 6).simplified().section(' ', 0, 0);
    }
    for (int k = 0; key == "@table" && k < 39; ++k) out << QString::fromStdString(s.d.core().params.row(k).sParamValue);
    return key.startsWith('@') ? out.join(key == "@said" ? " | " : " ") : textOf(s.widget(what));
}

// One step of the technician at the dashboard: an action, then what must
// hold, each waited for up to `ms`.
struct Live {
    QString act;
    std::vector<std::pair<QString, QString>> holds = {};
    int ms = 5000;
};
using Lives = std::vector<Live>;

Lives operator+(Lives a, const Lives& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Actions: "ok" (OK of the port dialog), "click NAME", "type NAME TEXT" (into
// the emptied box), "enter NAME TEXT" (typed, then Enter), "choose NAME TEXT"
// (a list's entry, once the list takes a choice), "scan TEXT" (a scanner:
// the keys and Enter, into whatever has the keyboard), "keys NAME TEXT" (into
// whatever has the keyboard, else NAME), "wait MS", "mark" (see "@sim"),
// "unplug" / "replug" (the simulator ends / another comes on its link), "say
// TEXT" (a line on standard output, for a parent process).
bool play(Station& s, const Lives& steps) {
    for (std::size_t n = 0; n < steps.size(); ++n) {
        const QString& act = steps[n].act;
        const QString verb = act.section(' ', 0, 0), name = act.section(' ', 1, 1), rest = act.section(' ', 2);
        QWidget* w = verb == "ok" ? s.d.startupView()->findChild<QWidget*>("cmdAction(0)") : s.widget(name);
        QWidget* keys = QApplication::focusWidget() ? QApplication::focusWidget() : w;
        auto* box = qobject_cast<QLineEdit*>(w);
        auto* list = qobject_cast<QComboBox*>(w);
        const bool takes = verb == "choose" && list && waitUntil([&] { return list->isEnabled(); }, 2000);
        const int entry = takes ? list->findText(rest) : -1;
        bool done = verb.isEmpty() || verb == "wait" || verb == "mark" || verb == "unplug" || verb == "say";
        if ((verb == "ok" || verb == "click") && (done = w && w->isVisible())) QTest::mouseClick(w, Qt::LeftButton);
        if ((verb == "type" || verb == "enter") && (done = box))
            box->setFocus(), box->selectAll(), QTest::keyClicks(box, rest);
        if (verb == "enter" && box) QTest::keyClick(box, Qt::Key_Return);
        if (verb == "choose" && (done = entry >= 0)) list->setCurrentIndex(entry), emit list->activated(entry);
        if ((verb == "scan" || verb == "keys") && (done = keys)) QTest::keyClicks(keys, verb == "scan" ? name : rest);
        if (verb == "scan" && keys) QTest::keyClick(keys, Qt::Key_Return);
        if (verb == "wait") QTest::qWait(name.toInt());
        if (verb == "mark") s.mark = s.sims.back().output().size();
        if (verb == "unplug") s.sims.back().stop();
        if (verb == "replug") done = s.sims.emplace_back(s.args).started();
        if (verb == "say") std::printf("%s\n", qPrintable(act.mid(4))), std::fflush(stdout);
        const std::string where = "step " + std::to_string(n + 1) + " (" + act.toStdString() + ")";
        if (!done) ADD_FAILURE() << where << ": could not be done";
        for (const auto& [what, want] : steps[n].holds)
            if (done && !(done = waitUntil([&] { return seen(s, what) == want; }, steps[n].ms)))
                ADD_FAILURE() << where << ": " << what.toStdString() << "\n  expected: \"" << want.toStdString()
                              << "\"\n  seen:     \"" << seen(s, what).toStdString() << "\"";
        if (!done) return false;
    }
    return true;
}

const Live kOk{"ok", {{"lblCurrentINFO", kConnected}}, 12000};

// Customer 005 chosen and a batch of `count` set (`typed` into the count
// box), as a technician starts one.
Lives batchOf(int count, const QString& typed = "") {
    const QString n = QString::number(count);
    return {{"choose cboCLientList 005 - Acme Refrigeration Ltd", {{"txtSetClient", "005"}}},
            {"type txtSetCounter " + (typed.isEmpty() ? n : typed), {{"txtSetCounter", n}}},
            {"click cmdSetCounter", {{"lblCounter", n}}}};
}

// The scanner reads `asset` once the asset dialog waits for it.
Lives scan(const QString& asset, const Lives& then = {}) {
    return Lives{{"", {{"@scan", "Set Asset|"}}, 30000}, {"scan " + asset}} + then;
}

TEST(ParamsEndToEnd, StepApplyThenWriteAllAndSeeThemAgainAfterTheRestart) {
    Station s({"--restart-ms", "300"});
    // The controller's values once SP is set to 4.2; APPLY PARAMS writes
    // them with PTB stepped down, and the restart reads them back.
    QStringList set;
    for (auto v : kv::sim::kFactoryParams) set << QString::number(v);
    set[0] = "442";
    const QString stepped = set.join(' '), written = stepped.left(stepped.lastIndexOf(' ')) + " 52";
    EXPECT_TRUE(play(s, {kOk,  // the table as read from the controller, never typeable
                         {"", {{"lblParam(0)", "SP"}, {"txtParam(0)", "4.0"}, {"txtParam(11)", "08"},
                               {"txtParam(38)", "53"}, {"enabled txtParam(0)", "0"}, {"visible txtParam(38)", "1"},
                               {"visible txtParam(39)", "0"}}},
                         {"click lblParam(0)", {{"lblSettingParam", "SP"}, {"lblSettingValue", "4.0"}}},
                         {"click imgKV53UP"},
                         {"click imgKV53UP", {{"txtParam(0)", "4.2"}, {"lblSettingValue", "4.2"}}},
                         {"click imgKV5xSLT", {{"@params", stepped}, {"lblSettingParam", "--"}}},
                         {"click lblParam(38)"},
                         {"click imgKV53DWN", {{"@table", written}}},
                         {"mark"},
                         {"click cdmSetParams", {{"@sim service mode left", "1"}}, 8000},
                         {"", {{"lblCurrentINFO", kConnected}}, 15000},
                         {"", {{"@sim parameters (written in service mode)", "4"}, {"@sim outside service mode", "0"},
                               {"@params", written}, {"@table", written}, {"txtParam(0)", "4.2"},
                               {"txtParam(38)", "52"}, {"@said", ""}}}}));
    EXPECT_TRUE(s.d.mainWindow()->grab().save(screenshotPath("main-window-parameters.png")));
}

TEST(ParamsEndToEnd, TheFileMenuSavesAndOpensThroughTheRealDialogs) {
    FakeMessageBox messages;
    kv::desktop::Dashboard d(&messages);
    d.start();
    kv::app::frmMain& core = d.core();
    core.startup.cmdCancel.click();
    for (int k = 0; k < 39; ++k) core.params.SetParamFormat(core.params.txtParam(k), core.params.row(k).sParamValue, k);
    auto* save = d.mainWindow()->findChild<QAction*>("mSaveFile");
    auto* open = d.mainWindow()->findChild<QAction*>("mOpnFile");
    ASSERT_TRUE(save && open);
    EXPECT_EQ(save->text() + "|" + open->text(), "Save Param File|Open Param File");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/KV53_ParamFiles";
    DialogAnswer answer;
    answer.answerWith(folder + "/line4");  // the dialog adds .csv
    save->trigger();
    EXPECT_EQ(QStringList({answer.title, answer.folder, answer.suffix}) + answer.filters,
              QStringList({"Select File", folder, "csv", "Param Files (*.csv)", "All files (*.*)"}));
    const std::string content = readFile((folder + "/line4.csv").toStdString());
    EXPECT_EQ(content.rfind("SP,40\r\nDIF,20\r\n", 0), 0u) << content;
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 39);
    QApplication::processEvents();
    EXPECT_EQ(textOf(d.mainView()->widget("lblSelectedFilename")), "line4.csv");
    // A changed file, opened: its values are shown and will be written;
    // Cancel then changes nothing and says nothing.
    writeFile((folder + "/line4.csv").toStdString(), "SP,-55\r\n");
    for (const QString& path : {folder + "/line4.csv", QString()}) {
        answer.answerWith(path);
        open->trigger();
        QApplication::processEvents();
        EXPECT_EQ(textOf(d.mainView()->widget("txtParam(0)")) + " " + core.params.row(0).sParamValue.c_str(),
                  "-5.5 345");
    }
    EXPECT_TRUE(messages.shown.empty());
}

// A batch of three on a line of four provisioned by scanning alone, the
// second controller swapped for the third right after its asset was
// written: each controller gets its true row, the record and the
// simulator's own account agree, and what a scanner types while a
// controller is written to changes no box.
TEST(BatchEndToEnd, ALineProvisionedByScanningAloneGivesEachControllerItsTrueRow) {
    Station s({"--restart-ms", "300", "--line", "4", "--auto-swap", "--swap-during", "2:asset"});
    // Letters typed into the count box are refused.
    Lives steps = Lives{kOk} + batchOf(3, "x3") + Lives{{"", {{"visible lblHeader(1)", "1"}}}};
    for (auto [asset, rows, left] : {std::tuple{"KV-1001", "1", "2"}, {"KV-1002", "3", "1"}, {"KV-1004", "4", "0"}})
        steps = steps + scan(asset, {{"wait 300"}, {"keys txtSetCounter 555", {{"txtSetCounter", "3"}}},
                                     {"", {{"@rows", rows}, {"lblCounter", left}}, 40000}});
    EXPECT_TRUE(play(s, steps + Lives{
        {"wait 1500", {{"@scan", ""},  // the batch is done
                       {"@row 0",
                        "Date_Time,Serial,MAC,Checksum,FW Version,Asset ID,Client ID,Custom 1,Custom 2,Verified"},
                       {"@row 1", "0004A3B1C201,0004A3B1C201,KV-1001,005,yes"},
                       {"@row 2", "0004A3B1C202,0004A3B1C202,KV-1002,,no: replaced before its read-back"},
                       {"@row 3", "0004A3B1C203,0004A3B1C203,,005,no: asset not written"},
                       {"@row 4", "0004A3B1C204,0004A3B1C204,KV-1004,005,yes"}, {"@said", ""}}},
        {"unplug", {{"@sim kv5x-sim: controllers served (4 of 4):\n"
                     "   01  0004A3B1C201  asset \"KV-1001\"  client \"005\"  factory parameters\n"
                     "   02  0004A3B1C202  asset \"KV-1002\"  client \"<00\"  factory parameters\n"
                     "   03  0004A3B1C203  asset \"\"  client \"005\"  factory parameters\n"
                     "   04  0004A3B1C204  asset \"KV-1004\"  client \"005\"  factory parameters\nkv5x-sim: stopped\n",
                     "1"}}}}));
}

// Run by the next test in a process of its own, set up as main() sets up the
// program: the controller identified and APPLY PARAMS pressed, then the event
// loop until the program ends.
TEST(SignalEndToEnd, DISABLED_StartsAParameterWriteThenRuns) {
    kv::desktop::applyProgramSettings();
    Station s({"--asset", "KV-9001", "--client", "005"}, true);
    kv::desktop::closeOnSignals(s.d);
    ASSERT_TRUE(play(s, {kOk, {"click cdmSetParams", {{"@sim service mode entered", "1"}}, 3000}, {"say writing"}}));
    EXPECT_EQ(QApplication::exec(), 0);
    s.d.core().Form_Terminate();
    EXPECT_TRUE(s.sims.back().says("service mode left", 2000)) << s.sims.back().output().toStdString();
}

// The system asks the program to end (twice) during a parameter write: it
// closes as its main window's "Close anyway" does and ends through main().
// The controller's row is on disk and the port's lock file is gone.
TEST(SignalEndToEnd, EndingOnASignalWritesThePendingRowAndReleasesThePort) {
    const int sigs[] = {SIGTERM, SIGHUP, SIGINT};
    // Side by side, each in a home of its own; each is signalled as soon as
    // its write has started (the write lasts about three seconds).
    Child runs[3];
    bool signalled[3] = {};
    for (Child& c : runs) c.start("SignalEndToEnd.DISABLED_*");
    // QSerialPort's lock file: the device's path with '/' as '_'.
    auto lock = [](Child& c) {
        return "/var/lock/LCK.." + c.path(".local/share/KV53_Varkel_Comms/ports/COM10").replace('/', '_');
    };
    waitUntil([&] {
        for (int i = 0; i < 3; ++i)
            if (!signalled[i] && (signalled[i] = runs[i].says("writing\n"))) {
                EXPECT_TRUE(QFile::exists(lock(runs[i]))) << lock(runs[i]).toStdString();
                for (int twice = 0; twice < 2; ++twice) ::kill(pid_t(runs[i].process.processId()), sigs[i]);
            }
        return std::count(signalled, signalled + 3, true) == 3;
    }, 40000);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(strsignal(sigs[i]));
        QProcess& p = runs[i].process;
        const bool ended = p.state() == QProcess::NotRunning || p.waitForFinished(10000);
        ASSERT_TRUE(signalled[i] && ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
            << (runs[i].said + p.readAll()).toStdString();
        EXPECT_FALSE(QFile::exists(lock(runs[i]))) << lock(runs[i]).toStdString();
        const QDir logs(runs[i].path("Documents/KV53_LOGS"));
        const QStringList records = logs.entryList({"RECORD_*.csv"});
        ASSERT_EQ(records.size(), 1);
        const QStringList rows = fileLines(logs.filePath(records[0]).toStdString());
        EXPECT_EQ(rows.size(), 2);
        EXPECT_EQ(rows.value(1).section(',', 1).toStdString(),
                  "0004A3B1C2D3,0004A3B1C2D3,1A 2B,K5b 162,KV-9001,005,,,no: the program was closed during its "
                  "parameter write; taken out of service mode");
    }
}

// ----------------------------------------------------------------
// The fault matrix: the dashboard against every way kv5x-sim can misbehave.
// Each case watches a fixed time from OK and checks what the technician has
// then: identified or not, the requests the controller received, the
// provisioning log on disk, the information bar, the labels the mode
// touches, the boxes put up and the record.
//
// The connection sequence moves at its one-second ticks and the first tick
// after OK comes at any point of the first second, so every window ends at
// least a second away from any tick that could change the outcome, and reply
// delays fall half a second away from the ticks around them.

// Each request of an identification, `n` times.
QString eachRequest(int n) {
    return QString("firmware %1, checksum %1, params %1, MAC %1, client %1, asset %1").arg(n);
}
const QString kLimits = "The controller holds values outside the limits of the parameter definitions. The table "
                        "shows the limit, which is what gets written:";

// What the technician has at the end of a window with a prompt controller:
// "@requests" (those the controller received, by kind, in the order each
// kind first came; one group per simulator process, " | " between them),
// "@identified" (how often " CONNECTED..OK" came up), "@logrows" (rows of
// the provisioning log), "@bar" (every text the information bar showed).
// lblGetStatus(3) is the client ID, lblGetStatus(4) the asset ID.
const std::map<QString, QString> kPrompt = {
    {"lblCurrentINFO", kConnected}, {"@identified", "1"}, {"@requests", eachRequest(1)}, {"@logrows", "1"},
    {"lblError", ""}, {"@bar", ""}, {"lblGetStatus(3)", " 005"}, {"lblGetStatus(4)", "---"}, {"@said", ""},
    {"@boxes", ""}, {"@rows", "0"}};

// A mode, the steps played once the controller is identified, the window
// from OK and where the outcome differs from kPrompt's.
struct FaultCase {
    const char* name;
    QStringList simArgs;
    Lives then;
    int windowMs;
    std::map<QString, QString> differs;
    bool realBoxes = false;  // the real message boxes, read on screen
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

// "firmware 2, checksum 1": the requests in `output` (the simulator's "<-"
// lines), counted by kind.
QString requestSummary(const QString& output) {
    static const std::map<QString, QString> kinds = {
        {"01", "firmware"}, {"02", "status"},   {"05", "config"}, {"06", "params"}, {"07", "param write"},
        {"08", "service"},  {"0A", "checksum"}, {"15", "client"}, {"16", "asset"},  {"18", "MAC"}};
    QStringList order;
    std::map<QString, int> counts;
    static const QRegularExpression request("^<- ([0-9A-F]{2})", QRegularExpression::MultilineOption);
    for (auto it = request.globalMatch(output); it.hasNext();) {
        const QString code = it.next().captured(1), name = kinds.count(code) ? kinds.at(code) : "code " + code;
        if (counts[name]++ == 0) order << name;
    }
    for (QString& name : order) name += " " + QString::number(counts[name]);
    return order.join(", ");
}

class FaultMatrix : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultMatrix, Mode) {
    const FaultCase& c = GetParam();
    // COM10 in every case: each case is a process of its own with its own
    // temporary home, where the simulator links the port.
    Station s(c.simArgs, c.realBoxes);
    kv::app::frmMain& core = s.d.core();
    std::map<QString, QStringList> shown;  // every text of the two labels, in order
    for (auto [name, label] :
         {std::pair{"lblError", &core.receive.lblError}, {"lblCurrentINFO", &core.progress.lblCurrentINFO}})
        label->listen([&texts = shown[name], label] {
            if (texts.isEmpty() || texts.back().toStdString() != label->caption()) texts << label->caption().c_str();
        });
    QElapsedTimer sinceOk;
    sinceOk.start();
    ASSERT_TRUE(play(s, {{"ok"}}));
    ASSERT_TRUE(c.then.empty() || play(s, Lives{{"", {{"lblCurrentINFO", kConnected}}, 9000}} + c.then));
    ASSERT_LT(sinceOk.elapsed(), c.windowMs);
    QTest::qWait(static_cast<int>(c.windowMs - sinceOk.elapsed()));

    QStringList requests;
    for (SimProcess& sim : s.sims) {
        EXPECT_TRUE(sim.output().contains(QString("linked as COM10 (%1/").arg(QDir::homePath())));
        requests << requestSummary(sim.output());
    }
    const QStringList log = fileLines(core.log.path());
    EXPECT_EQ(log.value(0), kv::app::ProvisioningLog::kHeader);
    // Every row holds this controller's checksum and firmware, whole.
    static const QRegularExpression row(R"(^\d\d:\d\d:\d\d \d\d/\d\d/\d{4}, [0-9A-F]{2} [0-9A-F]{2} , , K5b 162$)");
    for (const QString& line : log.mid(1)) EXPECT_TRUE(row.match(line).hasMatch()) << line.toStdString();
    std::map<QString, QString> expected = kPrompt;
    for (const auto& [what, value] : c.differs) expected[what] = value;
    for (const auto& [what, value] : expected) {
        const QString got = what == "@requests"     ? requests.join(" | ")
                            : what == "@identified" ? QString::number(shown["lblCurrentINFO"].count(kConnected))
                            : what == "@logrows"    ? QString::number(log.size() - 1)
                            : what == "@bar"        ? shown["lblError"].join(" | ")
                                                    : seen(s, what);
        EXPECT_EQ(got.toStdString(), value.toStdString()) << what.toStdString();
    }
    // The windows show what the core holds.
    for (auto [name, label] : {std::pair{"lblCurrentINFO", &core.progress.lblCurrentINFO},
                               {"lblError", &core.receive.lblError},
                               {"lblGetStatus(3)", &core.identity.lblClient},
                               {"lblGetStatus(4)", &core.status.lblGetStatus(4)}})
        EXPECT_EQ(seen(s, name).toStdString(), label->caption()) << name;
}

// Controller 1 of a line of two swapped at `point` of its automatic setting
// (customer 005, a count of 1 and the asset KV-1 scanned): two
// identifications, the setting (with a MAC check after the asset and after
// the client) and four frames in service mode. The controller that took the
// asset keeps its row (`first`); the one put in its place, whose client is
// `client`, gets its own (`second`).
FaultCase swapped(const char* name, const char* point, const char* first, const char* client, const char* second) {
    return {name, {"--line", "2", "--restart-ms", "300", "--swap-during", point}, batchOf(1) + scan("KV-1"), 40000,
            {{"@identified", "2"}, {"lblGetStatus(3)", client}, {"@rows", "2"}, {"@row 1", first}, {"@row 2", second},
             {"@requests", "firmware 2, checksum 2, params 3, MAC 4, client 3, asset 3, service 2, param write 4"}}};
}
const char* kSwappedAfterClient =
    "0004A3B1C202,0004A3B1C202,,<00,no: put on the line during the writes to 0004A3B1C201";

const FaultCase kCases[] = {
    // Asked again at every seventh tick, without end: ticks 0, 7 and 14.
    {"Silent", {"--silent"}, {}, 16000,
     {{"lblCurrentINFO", " CONNECTING.... Please Wait"}, {"@identified", "0"}, {"@requests", "firmware 3"},
      {"@logrows", "0"}, {"lblGetStatus(3)", "---"}}},
    // Each step moves on at the third tick after its request: done at tick 18.
    {"DelayShorterThanTheRetry", {"--delay", "2500"}, {}, 20000, {}},
    // Each request is sent again at its seventh tick; the first reply comes
    // half a tick later and moves the sequence on, the second one's reply
    // comes in the next step and is passed over, but a second checksum reply
    // is a second log row. Done at tick 54.
    {"DelayLongerThanTheRetry", {"--delay", "8500"}, {}, 56000, {{"@requests", eachRequest(2)}, {"@logrows", "2"}}},
    {"ByteByByte", {"--chunk", "byte"}, {}, 9000, {}},
    {"Split", {"--chunk", "2"}, {}, 9000, {}},
    // The status labels 3 and 4 are shared with the client ID and the asset
    // header's value: a status reply glued after the client reply leaves the
    // outputs' states there (output 1 on, output 2 off), as status replies
    // always do, until the next client reply.
    {"GluedStatusReply", {"--double"}, {}, 9000, {{"lblGetStatus(3)", "ON"}, {"lblGetStatus(4)", "OFF"}}},
    // Each step is answered at its first repeat, seven ticks on: done at tick 48.
    {"AnswersOnlyTheRepeat", {"--answer-on", "2"}, {}, 50000, {{"@requests", eachRequest(2)}}},
    // RESTART once identified: 5 s after leaving service mode the dashboard
    // identifies it again, but the controller is deaf for 9 s; the firmware
    // request is answered at its repeat seven ticks later.
    {"DeafAfterRestart", {"--restart-ms", "9000"}, {{"click cmdRestartController"}}, 30000,
     {{"@identified", "2"}, {"@requests", "firmware 3, checksum 2, params 2, MAC 2, client 2, asset 2, service 2"}}},
    // Unplugged once identified and plugged in again: reopened and identified
    // again from the first request.
    {"VanishedAndReturned", {}, {{"unplug", {{"lblError", "Port lost"}}, 3000}, {"replug"}}, 22000,
     {{"@identified", "2"}, {"@requests", eachRequest(1) + " | " + eachRequest(1)}, {"lblError", "Port back"},
      {"@bar", "Port lost | Port back"}}},
    // Values outside the definition file's limits: identified all the same,
    // without a key pressed on the real box that names them; the rows show
    // the limits. REFRESH reads them again: the box is replaced, never
    // stacked.
    {"ValuesOutsideTheLimits", {"--param", "1=900", "--param", "8=300", "--param", "15=5", "--param", "39=1000"},
     {{"", {{"lblMacAddress", " 0004A3B1C2D3"}, {"txtParam(0)", "30.0"}}},
      {"click cmdRefreshNextController", {{"lblCurrentINFO", " Acquiring Serial Number.... Please Wait"}}, 8000},
      {"", {{"lblCurrentINFO", kConnected}}, 12000}},
     20000,
     {{"@identified", "2"}, {"@requests", eachRequest(2)},
      {"@boxes",
       kLimits + "\nSP 50.0 (at most 30.0)\nODS -10 (at least 0)\nDFD 5 (at most 2)\nPTB 1000 (at most 999)"}},
     true},
    // A line whose factory state is not the definition file's defaults.
    {"FactoryStateOfItsOwn", {"--line", "2", "--param", "1=500", "--param", "20=3"}, {}, 9000,
     {{"lblGetStatus(3)", " <00"}}},
    // Swapped in the middle of the automatic setting.
    swapped("SwappedAfterItsAsset", "1:asset", "0004A3B1C201,0004A3B1C201,KV-1,,no: replaced before its read-back",
            " 005", "0004A3B1C202,0004A3B1C202,,005,no: asset not written"),
    swapped("SwappedAfterItsClient", "1:client",
            "0004A3B1C201,0004A3B1C201,KV-1,005,no: replaced before its read-back", " <00", kSwappedAfterClient),
    swapped("SwappedDuringTheBulkWrite", "1:bulk",
            "0004A3B1C201,0004A3B1C201,KV-1,005,no: replaced before its read-back", " <00", kSwappedAfterClient),
};

INSTANTIATE_TEST_SUITE_P(FaultMatrix, FaultMatrix, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

// ----------------------------------------------------------------
// Stations sharing one PostgreSQL server, each dashboard on its own line.

// One station of the next test, in a process and a home of its own:
// provisions its line with the assets KV_ASSETS names, saying "row k" as
// each row is on disk, then waits until no row waits for the server.
TEST(SharedStations, DISABLED_OneStation) {
    const QStringList assets = qEnvironmentVariable("KV_ASSETS").split(',');
    useServer(qEnvironmentVariable("KV_STATION"), qEnvironmentVariable("KV_PG_HOST"),
              qEnvironmentVariable("KV_PG_PORT").toInt());
    Station s({"--restart-ms", "300", "--line", QString::number(assets.size()), "--auto-swap", "--line-mac",
               qEnvironmentVariable("KV_LINE_MAC"), "--quiet"});
    kv::app::RecordSender& sender = s.d.core().sender;
    sender.listen([&] {
        if (!sender.lblRecords.caption().empty()) std::printf("%s\n", sender.lblRecords.caption().c_str());
    });
    Lives steps = Lives{kOk} + batchOf(int(assets.size()));
    for (int k = 1; k <= assets.size(); ++k)
        steps = steps + scan(assets[k - 1],
                             {{"", {{"@rows", QString::number(k)}}, 40000}, {"say row " + QString::number(k)}});
    ASSERT_TRUE(play(s, steps));
    EXPECT_TRUE(waitUntil([&] { return sender.waiting() == 0 && !sender.sending(); }, 60000)) << sender.lastError();
    EXPECT_EQ(seen(s, "@said"), "");
    s.d.core().window.unload();
}

// Two dashboards, each in its own process and home with its own local
// store, provision a line each against one PostgreSQL server that goes away
// in the middle and comes back: every row of both arrives once, in order.
// Then a third station asked about an asset of the first names it, and its
// File > Records finds any controller of either.
TEST(SharedStations, TwoDashboardsThroughAnOutageThenAThirdFindsAndAsksAcross) {
    PgServer pg;
    ASSERT_TRUE(pg.started()) << pg.error().toStdString();
    Child children[2];
    for (auto [c, station, mac, assets] : {std::tuple{&children[0], "LINE-1", "0004A3B1C1", "A-1,A-2,A-3"},
                                           {&children[1], "LINE-2", "0004A3B1C3", "B-1,B-2,B-3"}}) {
        ASSERT_TRUE(pg.writePgpass(PgServer::kPassword, c->path("")));
        c->start("SharedStations.DISABLED_OneStation",
                 {{"KV_ASSETS", assets}, {"KV_LINE_MAC", mac}, {"KV_STATION", station},
                  {"KV_PG_HOST", pg.socketDir()}, {"KV_PG_PORT", QString::number(pg.port())}});
    }
    auto all = [&](const char* text) { return children[0].says(text) && children[1].says(text); };
    ASSERT_TRUE(waitUntil([&] { return all("row 1\n"); }, 60000)) << children[0].said.toStdString();
    pg.stop();
    ASSERT_TRUE(waitUntil([&] { return all("row 3\n"); }, 90000)) << children[0].said.toStdString();
    pg.start();
    ASSERT_TRUE(pg.started()) << pg.error().toStdString();
    for (Child& c : children) {
        ASSERT_TRUE(c.process.waitForFinished(90000)) << c.said.toStdString();
        c.says("");
        EXPECT_EQ(c.process.exitCode(), 0) << c.said.toStdString();
        EXPECT_TRUE(c.said.contains("waiting for the server")) << c.said.toStdString();
    }
    EXPECT_EQ(pg.rows(), "LINE-1:1:A-1 LINE-1:2:A-2 LINE-1:3:A-3 LINE-2:1:B-1 LINE-2:2:B-2 LINE-2:3:B-3");

    // A third station, this process.
    ASSERT_TRUE(pg.writePgpass());
    useServer("LINE-3", pg.socketDir(), pg.port());
    Station third({"--restart-ms", "300", "--line", "1", "--auto-swap", "--line-mac", "0004A3B1C5", "--quiet"});
    ASSERT_TRUE(play(third, Lives{kOk} + batchOf(1) + scan("A-2")));
    ASSERT_TRUE(waitUntil([&] { return !third.messages.open.empty(); }, 5000));
    EXPECT_EQ(third.messages.open[0].message.text.rfind(
                  "Asset A-2 was written to controller 0004A3B1C102 at station LINE-1, ", 0), 0u)
        << third.messages.open[0].message.text;
    EXPECT_TRUE(third.messages.press("No"));
    third.d.mainWindow()->findChild<QAction*>("mRecords")->trigger();
    auto* table = qobject_cast<QTableWidget*>(third.widget("grdRecords"));
    const QString shared = QString(" on the shared record kv5x on %1:%2").arg(pg.socketDir()).arg(pg.port());
    EXPECT_TRUE(play(third, {{"", {{"lblFound", "6 rows" + shared}}},
                             {"enter txtFilter(1) 0004A3B1C302", {{"lblFound", "1 row" + shared}}}}));
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 0)->text() + " " + table->item(0, 6)->text(), "LINE-2 B-2");
    third.d.core().window.unload();
    useServer("");
}

}  // namespace
