#include "link/ReceivePath.h"

#include <algorithm>

#include "ui/Text.h"

namespace kv::link {

namespace {

// "{0}" to "{255}", built once: the receive path formats every byte it sees.
const std::array<std::string, 256>& byteGroups() {
    static const std::array<std::string, 256> groups = [] {
        std::array<std::string, 256> g;
        for (int i = 0; i < 256; ++i) g[static_cast<std::size_t>(i)] = "{" + std::to_string(i) + "}";
        return g;
    }();
    return groups;
}

}  // namespace

ReceivePath::ReceivePath(ui::Window& form, PortSession& session, Indicators& indicators, const FlowState& flows,
                         platform::Beep& beep, const Profile& model)
    : txtTerminal(form.terminal("txtTerminal")),
      Text1(form.textBox("Text1")),
      lblError(indicators.lblError),
      lblTime(form.label("lblTime")),
      cmdRESET(form.button("cmdRESET")),
      cmdSaveLog(form.button("cmdSaveLog")),
      session_(session),
      indicators_(indicators),
      flows_(flows),
      beep_(beep),
      model_(model) {
    txtTerminal.setVisible(false);
    Text1.setText("Debug");
    Text1.setVisible(false);
    cmdRESET.setCaption("Clear Screen");
    cmdRESET.setVisible(false);
    cmdSaveLog.setCaption("SAVE LOG");
    cmdSaveLog.setVisible(false);

    txtTerminal.onKeyPress = [this](std::int16_t& k) { txtTerminal_KeyPress(k); };
    cmdRESET.onClick = [this] { cmdRESET_Click(); };
    cmdSaveLog.onClick = [this] { cmdSaveLog_Click(); };
    session_.listenComm([this](int code) { MSComm1_OnComm(code); });
}

void ReceivePath::setHandler(std::uint8_t code, Handler handler) { handlers_[code] = std::move(handler); }

bool ReceivePath::portOpen() const { return session_.isOpen(); }

void ReceivePath::Send(const Bytes& frame) { (void)session_.send(frame); }

void ReceivePath::MSComm1_OnComm(int commEvent) {
    switch (commEvent) {
        case platform::comEvSend: indicators_.BlinkTx(); break;
        case platform::comEvReceive:
            receive();
            indicators_.BlinkRx();
            break;
        case platform::comEvCTS:
        case platform::comEvDSR:
        case platform::comEvCD: indicators_.ShowModemLines(); break;
        case platform::comEventBreak: indicators_.ShowError("Break"); break;
        case platform::comEventFrame: indicators_.ShowError("Framing"); break;
        case platform::comEventOverrun: indicators_.ShowError("Overrun"); break;
        case platform::comEventRxOver: indicators_.ShowError("Overflow"); break;
        case platform::comEventRxParity: indicators_.ShowError("Parity"); break;
        case platform::comEventTxFull: indicators_.ShowError("Tx Full"); break;
        case platform::comEventDCB: indicators_.ShowError("DCB Error"); break;
        default: break;
    }
}

void ReceivePath::receive() {
    Bytes bytes = session_.input();
    sRxPending.append(bytes.begin(), bytes.end());
    std::string chunk;
    chunk.swap(sRxPending);
    PostTerminal(chunk);
}

void ReceivePath::PostTerminal(const std::string& sNewData) {
    if (depth_++ == 0) taking_.call(true);

    std::string display;
    display.reserve(sNewData.size() * 5);
    const auto& groups = byteGroups();
    for (unsigned char c : sNewData) display += groups[c];

    // The terminal keeps about kMaxLines lines: past them the oldest
    // kCutLines go, or as many more as bring it back within the cap when big
    // chunks came; a chunk larger than the cap keeps only its last lines.
    const std::size_t columns = static_cast<std::size_t>(txtTerminal.columns());
    const std::size_t cap = TerminalCap(txtTerminal.columns());
    auto wholeLines = [columns](std::size_t chars) { return (chars + columns - 1) / columns * columns; };
    if (txtTerminal.lineCount() > kMaxLines) {
        long cut = txtTerminal.lineIndex(kCutLines);
        std::size_t count = cut > 0 ? static_cast<std::size_t>(cut) : 1000;
        const std::size_t size = txtTerminal.text().size();
        if (size > cap) count = std::max(count, wholeLines(size - cap));
        txtTerminal.removeHead(count);
    }
    if (display.size() > cap) {
        txtTerminal.clear();
        display.erase(0, wholeLines(display.size() - cap));
    }
    txtTerminal.append(display);

    if (dispatching_) {
        // A handler let events run and more bytes came: they belong behind the
        // reply being handled, so they are stored once it is done.
        deferred_ += sNewData;
    } else {
        store(sNewData);
        while (depth_ == 1 && !deferred_.empty()) {
            std::string later;
            later.swap(deferred_);
            store(later);
        }
    }

    if (--depth_ == 0) taking_.call(false);
}

// Completion is tested after every stored byte, so two replies in one chunk
// are both dispatched and a reply split over chunks completes once.
void ReceivePath::store(const std::string& data) {
    overflowShown_ = false;
    for (unsigned char c : data) storeByte(c);
}

void ReceivePath::storeByte(std::uint8_t byte) {
    if (iRxIdx < 1) iRxIdx = 1;
    if (iRxIdx > kBufferEnd) {
        // Nothing is written past the end of the buffer; the surplus is lost.
        if (!overflowShown_) indicators_.ShowError("Overflow");
        overflowShown_ = true;
        return;
    }
    rxBuf[static_cast<std::size_t>(iRxIdx)] = byte;
    ++iRxIdx;
    if (iRxIdx > 4 && iRxIdx - 3 == rxBuf[3] + 1) dispatch();
}

void ReceivePath::dispatch() {
    std::int16_t n = iRxIdx;
    const Handler& handler = handlers_[rxBuf[1]];
    dispatching_ = true;
    if (handler) handler(n);
    else ParseMsg(n);
    dispatching_ = false;
    iRxIdx = 1;
    rxBuf[3] = 0;
    rxBuf[4] = 0;
}

std::string ReceivePath::Dump(std::int16_t sNumberOfBytes) const {
    std::string out;
    for (int i = 1; i <= LastPosition(sNumberOfBytes); ++i) out += " " + ui::hex2(Byte(i));
    return out;
}

void ReceivePath::WriteDump(std::int16_t sNumberOfBytes) { Text1.setText(Dump(sNumberOfBytes)); }

void ReceivePath::ParseMsg(std::int16_t sNumberOfBytes) { WriteDump(sNumberOfBytes); }

void ReceivePath::txtTerminal_KeyPress(std::int16_t& keyAscii) {
    // Typed between a flow's requests, a byte would spoil a request or a reply.
    if (flows_.Provisioning()) beep_.beep();
    else (void)session_.send(frameTyped(keyAscii));
    keyAscii = 0;  // the terminal shows only what comes back
}

void ReceivePath::cmdRESET_Click() {
    lblTime.setCaption("");
    txtTerminal.clear();
    iRxIdx = 1;
    Send(query<cmdClearScreen>(model_));
}

void ReceivePath::cmdSaveLog_Click() {
    // The provisioning log is written row by row as replies arrive.
}

}  // namespace kv::link
