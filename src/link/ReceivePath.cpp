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
                         platform::Beep& beep)
    : txtTerminal(form.terminal("txtTerminal")),
      Text1(form.textBox("Text1")),
      lblError(form.label("lblError")),
      lblTime(form.label("lblTime")),
      tmrClearError(form.timer("tmrClearError")),
      cmdRESET(form.button("cmdRESET")),
      cmdSTOPComms(form.button("cmdSTOPComms")),
      cmdSaveLog(form.button("cmdSaveLog")),
      cmdGetParams(form.button("cmdGetParams")),
      cdmGETV(form.button("cdmGETV")),
      session_(session),
      port_(session.port()),
      indicators_(indicators),
      flows_(flows),
      beep_(beep) {
    txtTerminal.setVisible(false);
    Text1.setText("Debug");
    Text1.setVisible(false);
    tmrClearError.setInterval(1000);
    cmdRESET.setCaption("Clear Screen");
    cmdRESET.setVisible(false);
    cmdSTOPComms.setCaption("STOP");
    cmdSTOPComms.setEnabled(false);
    cmdSaveLog.setCaption("SAVE LOG");
    cmdSaveLog.setVisible(false);

    txtTerminal.onKeyPress = [this](std::int16_t& k) { txtTerminal_KeyPress(k); };
    cmdRESET.onClick = [this] { cmdRESET_Click(); };
    cmdSTOPComms.onClick = [this] { cmdSTOPComms_Click(); };
    cmdSaveLog.onClick = [this] { cmdSaveLog_Click(); };
    tmrClearError.onTick = [this] { tmrClearError_Timer(); };
    port_.listen([this](const platform::PortEvent& e) {
        if (e.kind == platform::PortEvent::Kind::Comm) MSComm1_OnComm();
    });
    session_.listen([this](PortSession::Event e) { portChanged(e); });
}

void ReceivePath::setHandler(std::uint8_t code, Handler handler) { handlers_[code] = std::move(handler); }

bool ReceivePath::portOpen() const { return port_.PortOpen(); }

void ReceivePath::Send(const Bytes& frame) {
    if (port_.PortOpen()) port_.Output(frame);
}

void ReceivePath::MSComm1_OnComm() {
    switch (port_.CommEvent()) {
        case platform::comEvSend: indicators_.BlinkTx(); break;
        case platform::comEvReceive:
            receive();
            indicators_.BlinkRx();
            break;
        case platform::comEvCTS:
        case platform::comEvDSR:
        case platform::comEvCD: indicators_.ShowModemLines(); break;
        case platform::comEventBreak: ShowError("Break"); break;
        case platform::comEventFrame: ShowError("Framing"); break;
        case platform::comEventOverrun: ShowError("Overrun"); break;
        case platform::comEventRxOver: ShowError("Overflow"); break;
        case platform::comEventRxParity: ShowError("Parity"); break;
        case platform::comEventTxFull: ShowError("Tx Full"); break;
        case platform::comEventDCB: ShowError("DCB Error"); break;
        default: break;
    }
}

void ReceivePath::receive() {
    Bytes bytes = port_.Input();
    sRxPending.append(bytes.begin(), bytes.end());
    std::string chunk;
    chunk.swap(sRxPending);
    PostTerminal(chunk);
}

void ReceivePath::PostTerminal(const std::string& sNewData) {
    if (depth_++ == 0) cmdGetParams.setEnabled(false);

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

    if (--depth_ == 0) cmdGetParams.setEnabled(true);
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
        if (!overflowShown_) ShowError("Overflow");
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
    else if (port_.PortOpen()) port_.Output(frameTyped(keyAscii));
    keyAscii = 0;  // the terminal shows only what comes back
}

void ReceivePath::cmdRESET_Click() {
    lblTime.setCaption("");
    txtTerminal.clear();
    iRxIdx = 1;
    Send(frameClearScreen());
}

void ReceivePath::cmdSTOPComms_Click() {
    if (session_.isOpen()) {
        session_.close();
        cdmGETV.setEnabled(false);
        return;
    }
    (void)session_.open();  // the outcome reaches portChanged
}

void ReceivePath::portChanged(PortSession::Event e) {
    using Event = PortSession::Event;
    switch (e) {
        case Event::Opened:
        case Event::Reopened:
            cmdSTOPComms.setCaption("STOP");
            cdmGETV.setEnabled(true);
            indicators_.lblOpen.setCaption("Open");
            indicators_.ShowModemLines();
            // An error of the port's past does not outlive it.
            tmrClearError.setEnabled(false);
            lblError.setCaption(e == Event::Reopened ? "Port back" : "");
            break;
        case Event::OpenFailed:
            cmdSTOPComms.setCaption("START");
            lblError.setCaption(OpenFailureText(port_.lastOpenError()));
            break;
        case Event::Closed:
            cmdSTOPComms.setCaption("START");
            indicators_.lblOpen.setCaption("Closed");
            break;
        case Event::Lost:
            cmdSTOPComms.setCaption("START");
            cdmGETV.setEnabled(false);
            indicators_.lblOpen.setCaption("Closed");
            indicators_.ShowModemLines();
            lblError.setCaption("Port lost");
            break;
    }
}

std::string ReceivePath::OpenFailureText(platform::OpenError error) {
    switch (error) {
        case platform::OpenError::Busy: return "Port busy";
        case platform::OpenError::Absent: return "No such port";
        case platform::OpenError::PermissionDenied: return "Permission denied";
        default: return "Cannot open port";
    }
}

void ReceivePath::cmdSaveLog_Click() {
    // The provisioning log is written row by row as replies arrive.
}

void ReceivePath::tmrClearError_Timer() {
    lblError.setCaption("");
    tmrClearError.setEnabled(false);
}

void ReceivePath::ShowError(const std::string& text) {
    lblError.setCaption(text);
    tmrClearError.setEnabled(true);
}


}  // namespace kv::link
