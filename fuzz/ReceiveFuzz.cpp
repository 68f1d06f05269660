// The whole main window driven by a script decoded from the input: chunks of
// any bytes and well-formed replies, timer advances, deliveries that land
// inside a handler that lets events run, button presses of every flow, the
// virtual controller's failure modes, unplug and replug, the port and
// settings dialogs and the asset dialog's scans. After each operation the
// window's state must be sound and every log and record line a whole row.
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/Input.h"
#include "tests/support/Rig.h"

namespace {

using kv::fuzz::Input;
using kv::sim::Bytes;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

std::string readAll(const std::filesystem::path& p) {
    std::string s;
    if (p.empty()) return s;
    if (std::FILE* f = std::fopen(p.string().c_str(), "rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

// Fields of a CSV line as RFC 4180 reads it; -1 when the line is malformed.
int csvFields(const std::string& line) {
    int fields = 1;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '"') {
                if (i + 1 < line.size() && line[i + 1] == '"') ++i;
                else quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            ++fields;
        } else if (c == '\r' || c == '\n') {
            return -1;
        }
    }
    return quoted ? -1 : fields;
}

// Splits at CR LF outside quotes.
std::vector<std::string> rows(const std::string& text, bool csv) {
    std::vector<std::string> out;
    std::string cur;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (csv && c == '"') quoted = !quoted;
        if (!quoted && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out.push_back(cur);
            cur.clear();
            ++i;
            continue;
        }
        cur += c;
    }
    if (!cur.empty()) out.push_back(cur + "<unterminated>");
    return out;
}

void checkFiles(kv::app::frmMain& m) {
    for (const auto& row : rows(readAll(m.log.path()), false)) {
        if (row.find("<unterminated>") != std::string::npos) fail("log row without its line end");
        if (row.find('\r') != std::string::npos || row.find('\n') != std::string::npos) fail("log row split");
    }
    auto record = rows(readAll(m.record.path()), true);
    for (const auto& row : record)
        if (csvFields(row) != 10) fail("record row without its ten fields");
}

// Bytes of the largest chunk the script delivers at once.
constexpr std::size_t kChunkMost = 4096;

// The terminal's cap and one chunk, at most five characters ("{255}") a byte.
std::size_t terminalBound(kv::app::frmMain& m) {
    return kv::link::ReceivePath::TerminalCap(m.receive.txtTerminal.columns()) + 5 * kChunkMost;
}

void check(kv::test::Rig& rig) {
    auto& m = *rig.main;
    if (m.receive.iRxIdx < 1 || m.receive.iRxIdx > kv::link::ReceivePath::kBufferEnd + 1) fail("receive index");
    auto connect = static_cast<int>(m.sequence.step());
    if (connect < 0 || connect > static_cast<int>(kv::link::IdentifyStep::Finished)) fail("connection step");
    auto autoStep = static_cast<int>(m.autoSetting.step());
    if (autoStep < 0 || autoStep > static_cast<int>(kv::controller::AutoSetting::Step::Apply)) fail("automatic step");
    if (m.bulkWrite.frame() < 0 || m.bulkWrite.frame() > m.bulkWrite.frames() + 1) fail("bulk frame");
    if (m.receive.txtTerminal.text().size() > terminalBound(m)) fail("terminal unbounded");
    checkFiles(m);
}

// A reply of one of the codes the window handles, with a payload of the
// input's choosing.
Bytes reply(Input& in) {
    static const std::uint8_t codes[] = {0x01, 0x02, 0x05, 0x06, 0x07, 0x08, 0x0A, 0x15, 0x16, 0x18, 0xFF, 0x33};
    std::uint8_t code = codes[in.pick(sizeof codes)];
    std::string payload = in.bytes(in.pick(3) == 0 ? 120 : 20);
    Bytes b{code, 0x01, static_cast<std::uint8_t>(payload.size())};
    for (char c : payload) b.push_back(static_cast<std::uint8_t>(c));
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4000) return 0;
    Input in(data, size);
    kv::test::Rig rig;
    rig.probe.states[4] = kv::platform::PortState::Free;
    rig.port.freePorts.insert(4);
    auto& m = *rig.main;
    rig.load();
    std::vector<kv::ui::Button*> buttons = {
        &m.identity.cdmGETV,          &m.identity.cmdGetCheckSum,        &m.identity.cmdGetConfiguration,
        &m.identity.cmdGetMACAddress, &m.identity.cmdGetClientID,        &m.identity.cmdGetAssetID,
        &m.status.cmdGetStatus,       &m.paramRead.cmdGetParams,         &m.bulkWrite.cdmSetParams,
        &m.serviceMode.cmdRestartController, &m.serviceMode.cmdRefreshNextController,
        &m.serviceMode.cmdEnterServiceMode,  &m.serviceMode.cmdExitServiceMode,
        &m.identityWrite.cmdSetAssetID, &m.identityWrite.cmdSetClientID, &m.identityWrite.cmdSetCounter,
        &m.indicators.cmdSTOPComms,      &m.receive.cmdRESET,               &m.paramEdit.cmdUP,
        &m.paramEdit.cmdDown,         &m.paramEdit.cmdApply,             &m.paramEdit.cmdDefault,
        &m.assetDialog.cmdExit,       &m.startup.cmdOK,                  &m.startup.cmdCancel,
        &m.settings.cmdOK,            &m.settings.cmdCancel,
    };
    int ops = 0;
    while (!in.empty() && ops++ < 200) {
        switch (in.pick(12)) {
            case 0: {  // bytes as the line carries them
                std::string chunk = in.bytes(in.pick(8) == 0 ? kChunkMost : 64);
                rig.port.deliver(Bytes(chunk.begin(), chunk.end()));
                break;
            }
            case 1: rig.port.deliver(reply(in)); break;
            case 2: rig.clock.advance(in.pick(4) == 0 ? 1000 * in.pick(30) : in.pick(1200)); break;
            case 3: buttons[in.pick(static_cast<unsigned>(buttons.size()))]->press(); break;
            case 4: {  // a reply that lands while a pressed button lets events run
                Bytes b = reply(in);
                rig.clock.at(rig.clock.nowMs(), [&rig, b] { rig.port.deliver(b); });
                buttons[in.pick(static_cast<unsigned>(buttons.size()))]->press();
                break;
            }
            case 5: {
                auto& modes = rig.controller.modes;
                switch (in.pick(7)) {
                    case 0: modes.silent = !modes.silent; break;
                    case 1: modes.replyDelayMs = static_cast<int>(in.pick(9000)); break;
                    case 2: modes.chunking.kind = static_cast<kv::sim::Chunking::Kind>(in.pick(3));
                            modes.chunking.position = in.pick(12); break;
                    case 3: modes.doubleReply = !modes.doubleReply; break;
                    case 4: modes.answerOnRepeat = 1 + static_cast<int>(in.pick(3)); break;
                    case 5: modes.restartMs = static_cast<int>(in.pick(8000)); break;
                    default: modes.storeClient = !modes.storeClient; break;
                }
                break;
            }
            case 6:
                if (in.pick(2)) rig.port.unplug();
                else rig.port.freePorts.insert(rig.port.controllerPort);
                break;
            case 7:
                if (in.pick(2)) m.startup.CommStartup(&m.session, "Communications Port Settings");
                else m.settings.CommSettings(&m.session, "Communications Port Settings");
                if (!m.startup.cboPort.items().empty())
                    m.startup.cboPort.choose(static_cast<int>(in.pick(static_cast<unsigned>(m.startup.cboPort.items().size()))));
                break;
            case 8: {  // the scanner
                auto& d = m.assetDialog;
                kv::ui::TextBox* fields[] = {&d.txtScannedAsset, &d.txtCustom1(0), &d.txtCustom1(1)};
                if (in.pick(4) == 0) d.chkCustom1(static_cast<int>(in.pick(2))).setChecked(in.pick(2));
                kv::ui::TextBox& f = *fields[in.pick(3)];
                f.setText(in.bytes(40));
                f.keyPress(13);
                // The technician answers the box open longest, with any of its buttons.
                if (!rig.messages.open.empty() && in.pick(2)) {
                    const auto& buttons = rig.messages.open.front().message.buttons;
                    (void)rig.messages.press(buttons[in.pick(static_cast<unsigned>(buttons.size()))]);
                }
                break;
            }
            case 9: {  // typing
                kv::ui::TextBox* boxes[] = {&m.identityWrite.txtSetCounter, &m.identityWrite.txtSetClient,
                                            &m.identity.txtAssetID};
                kv::ui::TextBox& box = *boxes[in.pick(3)];
                std::string text = in.bytes(20);
                if (in.pick(2)) box.setText(text);
                for (char c : text) box.keyPress(static_cast<std::int16_t>(static_cast<unsigned char>(c)));
                m.receive.txtTerminal.keyPress(static_cast<std::int16_t>(in.byte()));
                break;
            }
            case 10:
                if (!m.customers.cboCLientList.items().empty())
                    m.customers.cboCLientList.choose(
                        static_cast<int>(in.pick(static_cast<unsigned>(m.customers.cboCLientList.items().size()))));
                break;
            default:
                if (m.params.iParamCount > 0) m.params.lblParam(static_cast<int>(in.pick(static_cast<unsigned>(m.params.iParamCount)))).click();
                break;
        }
        check(rig);
    }
    m.window.unload();
    check(rig);
    return 0;
}
