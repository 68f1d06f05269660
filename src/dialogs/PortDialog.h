#pragma once
// What the two port dialogs share: the scan of COM1 to COM32 into a list of
// entries, the preselection of the port in use, and OK and Cancel. The
// start-up dialog opens the chosen port at fixed settings; the settings
// dialog applies the settings chosen in it and leaves the port closed.
#include <cstdint>
#include <string>
#include <vector>

#include "link/Indicators.h"
#include "link/PortSession.h"
#include "platform/Platform.h"
#include "ui/Window.h"

namespace kv::dialogs {

class PortDialog {
public:
    static constexpr int kLastPort = 32;
    // Section of the settings store for the main window's port.
    static constexpr const char* kSettingsSection = "MSComm1";

    // One entry of the port list: port 0 is "<none>".
    struct Entry {
        int number;
        platform::PortState state;
    };

    // `width` and `height`: the window's size as designed, in twips; the
    // window is centred on the screen with it.
    PortDialog(const char* name, int width, int height, platform::Platform& platform, link::PortSession& session,
               link::Indicators& indicators);
    virtual ~PortDialog() = default;
    PortDialog(const PortDialog&) = delete;
    PortDialog& operator=(const PortDialog&) = delete;

    void cmdAction_Click(int Index);
    virtual void Form_Load();
    void Form_Unload();
    void SetTopMost(ui::Window& frm, bool bTopMost) { frm.setTopMost(bTopMost); }

    static std::string availableEntry(int port);
    static std::string heldEntry(int port);
    const std::vector<Entry>& entries() const { return entries_; }

    ui::Window window;
    ui::Frame& fraPort;
    ui::ComboBox& cboPort;
    ui::Button& cmdOK;      // cmdAction(0)
    ui::Button& cmdCancel;  // cmdAction(1)

    link::PortSession* objComm = nullptr;
    int vCommPort = 0;
    // The line settings OK applies: the port's when the dialog opens, then
    // what the dialog's controls say.
    platform::LineSettings vLine{};
    std::int16_t vHandshaking = 0;
    bool bNoPort = false;

protected:
    // Closes the port, lists the ports and preselects the one in use.
    void scan(link::PortSession* cntrl, const std::string& msg);
    // The line settings OK applies, into vLine.
    virtual void takeLineSettings() = 0;
    // After the port preselection: the settings dialog shows the line settings.
    virtual void preselectLineSettings() {}
    // After OK applied and stored the settings.
    virtual void finishOk() = 0;
    // The window is closed; its lists start empty at the next opening.
    virtual void unloaded() { cboPort.clear(); }
    void close() { window.unload(); }

    platform::Platform& platform_;
    link::PortSession& session_;
    link::Indicators& indicators_;
    bool loaded_ = false;

private:
    const int width_, height_;
    void ok();
    void save(const std::string& key, const std::string& value);

    std::vector<Entry> entries_;  // beside the list's texts, in the same order
};

}  // namespace kv::dialogs
