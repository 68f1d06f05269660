#pragma once
// Everything that happens when the port reports an event: received bytes are
// collected in the receive buffer, shown in the terminal as {n} groups, tested
// for a complete reply and handed to the handler its first byte selects. Also
// the sending rule every request follows, the terminal's typing, Clear Screen
// and the fallback handler ParseMsg.
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "link/FlowState.h"
#include "link/Frames.h"
#include "link/Indicators.h"
#include "link/PortSession.h"
#include "link/Requests.h"
#include "platform/Desktop.h"
#include "platform/SerialPort.h"
#include "ui/Window.h"

namespace kv::link {

class ReceivePath {
public:
    // Highest position of the receive buffer; reply byte k is stored at k.
    static constexpr int kBufferEnd = 500;
    // Terminal cap: above this many lines the oldest kCutLines go.
    static constexpr long kMaxLines = 550;
    static constexpr long kCutLines = 100;
    // The terminal's cap in characters for a width of `columns`: its text
    // stays within it and one chunk.
    static std::size_t TerminalCap(int columns) {
        return static_cast<std::size_t>(kMaxLines) * static_cast<std::size_t>(columns > 0 ? columns : 1);
    }

    // `model`: the controller model on the line, the one its owners' plain
    // queries are built for.
    ReceivePath(ui::Window& form, PortSession& session, Indicators& indicators, const FlowState& flows,
                platform::Beep& beep, const Profile& model);

    const Profile& profile() const { return model_; }

    using Handler = std::function<void(std::int16_t sNumberOfBytes)>;
    // Routes complete replies with this code to `handler` (ParseMsg otherwise).
    void setHandler(std::uint8_t code, Handler handler);

    // Handlers say which reply they dealt with; the flows listen.
    void Replied(Reply reply) { replies_.call(reply); }
    int listenReplies(ReplyListeners::Listener l) { return replies_.add(std::move(l)); }
    // True as received bytes start to be taken in (a reply's handler may run
    // meanwhile), false once they all are.
    int listenTaking(std::function<void(bool)> l) { return taking_.add(std::move(l)); }

    // The sending rule of every request: empty the receive buffer, then write
    // the frame in one piece if the port is open.
    void ResetReceive() { iRxIdx = 1; }
    // A request would go out now.
    bool portOpen() const;
    void Send(const Bytes& frame);
    void SendRequest(const Bytes& frame) {
        ResetReceive();
        Send(frame);
    }

    // A communication event of the port, by its CommEvent code.
    void MSComm1_OnComm(int commEvent);
    void PostTerminal(const std::string& sNewData);
    void ParseMsg(std::int16_t sNumberOfBytes);
    // Reply byte k as handlers read it: 0 outside the buffer.
    std::uint8_t Byte(int k) const {
        return k < 0 || k > kBufferEnd ? 0 : rxBuf[static_cast<std::size_t>(k)];
    }
    // The last position the reply dump shows for a reply of n - 1 bytes: the
    // position after the reply too, whatever an earlier reply left there.
    static int LastPosition(std::int16_t n) { return n > kBufferEnd ? kBufferEnd : n; }
    // The last position of the reply itself: what a label, a log row or a
    // record may show.
    static int ReplyEnd(std::int16_t n) { return n - 1 > kBufferEnd ? kBufferEnd : n - 1; }
    // The reply dump every handler writes: " XX" for positions 1 to n.
    void WriteDump(std::int16_t sNumberOfBytes);
    std::string Dump(std::int16_t sNumberOfBytes) const;

    void txtTerminal_KeyPress(std::int16_t& keyAscii);
    void cmdRESET_Click();
    void cmdSaveLog_Click();

    std::array<std::uint8_t, kBufferEnd + 1> rxBuf{};
    std::int16_t iRxIdx = 1;
    std::string sRxPending;

    ui::TerminalBox& txtTerminal;
    ui::TextBox& Text1;
    ui::Label& lblError;  // the information bar's
    ui::Label& lblTime;
    ui::Button& cmdRESET;
    ui::Button& cmdSaveLog;

private:
    void receive();
    void store(const std::string& data);
    void storeByte(std::uint8_t byte);
    void dispatch();

    PortSession& session_;
    Indicators& indicators_;
    const FlowState& flows_;
    platform::Beep& beep_;
    const Profile& model_;
    std::array<Handler, 256> handlers_;
    ReplyListeners replies_;
    platform::Listeners<bool> taking_;
    int depth_ = 0;  // PostTerminal may run again inside a handler that lets events run
    bool dispatching_ = false;
    std::string deferred_;  // bytes that arrived while a handler ran
    bool overflowShown_ = false;
};

}  // namespace kv::link
