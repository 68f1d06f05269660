#pragma once
// The communications settings dialog: the port list of the start-up dialog,
// with baud rate, parity, data bits, stop bits and handshaking shown from the
// port. OK applies and stores them and leaves the port closed, START enabled.
#include <array>
#include <string>

#include "dialogs/PortDialog.h"

namespace kv::dialogs {

class frmSettings : public PortDialog {
public:
    // The window's size, in twips.
    static constexpr int kWidth = 7020, kHeight = 3090;
    static constexpr std::array<const char*, 9> kBauds{"600",   "1200",  "2400",  "4800",  "9600",
                                                        "19200", "38400", "57600", "115200"};

    frmSettings(platform::Platform& platform, link::PortSession& session,
                link::Indicators& indicators);

    void CommSettings(link::PortSession* cntrl, const std::string& msg) { scan(cntrl, msg); }
    void Form_Load() override;
    void optDataBits_Click(int Index);
    void optHandshake_Click(int Index);

    ui::Frame& fraBaud;
    ui::ComboBox& cboBaud;
    ui::Frame& fraParity;
    ui::Frame& fraDataBits;
    ui::Frame& fraStopBits;
    ui::Frame& fraHandshake;
    ui::OptionButton& optParity(int i) { return *parity_[std::size_t(i)]; }
    ui::OptionButton& optDataBits(int i) { return *dataBits_[std::size_t(i)]; }
    ui::OptionButton& optStopBits(int i) { return *stopBits_[std::size_t(i)]; }
    ui::OptionButton& optHandshake(int i) { return *handshake_[std::size_t(i)]; }

protected:
    void takeLineSettings() override;
    void preselectLineSettings() override;
    void finishOk() override;
    void unloaded() override;

private:
    template <std::size_t N>
    void selectOnly(std::array<ui::OptionButton*, N>& group, int index);

    std::array<ui::OptionButton*, 3> parity_;
    std::array<ui::OptionButton*, 2> dataBits_;
    std::array<ui::OptionButton*, 2> stopBits_;
    std::array<ui::OptionButton*, 4> handshake_;
};

}  // namespace kv::dialogs
