#pragma once
// The small services of the desktop the core calls out to.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kv::platform {

// Folders the program reads and writes.
class Folders {
public:
    virtual ~Folders() = default;
    // The user's documents folder, or empty text when there is none.
    virtual std::string documents() const = 0;
    // The folder the program runs from.
    virtual std::string program() const = 0;
    // The folder of the program's data when it is installed, or empty text.
    virtual std::string installedData() const { return {}; }
    // The user's own data folder for this program, or empty text.
    virtual std::string userData() const { return {}; }
};

// Per-user settings store: text values by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual void save(const std::string& app, const std::string& section, const std::string& key,
                      const std::string& value) = 0;
    // The value saved under the key, or empty text.
    virtual std::string load(const std::string& app, const std::string& section, const std::string& key) const = 0;
};

struct FileDialogOptions {
    std::string title;
    std::string initialFolder;
    std::string filter;  // "Name (*.x)|*.x|All files (*.*)|*.*"
    std::string defaultExtension;
};

class FileDialog {
public:
    virtual ~FileDialog() = default;
    // The chosen path, or empty text when the user cancelled.
    virtual std::string open(const FileDialogOptions& options) = 0;
    virtual std::string save(const FileDialogOptions& options) = 0;
};

// The program's name: its executable, the settings store's application name
// and the title of message boxes that have none of their own.
inline constexpr const char* kAppTitle = "KV53_Varkel_Comms";

enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class MsgButtons { Ok };

// A box on screen, to take it down again; 0 names none.
using MessageId = std::uint64_t;

// Message boxes. Neither call waits for the user: the box goes up and the
// call returns, so timers, replies and the flows they drive go on while it
// is open. The user closes it when they choose.
class MessageBox {
public:
    virtual ~MessageBox() = default;
    // A box with one OK button.
    virtual MessageId show(const std::string& text, MsgButtons buttons, MsgIcon icon, const std::string& title) = 0;
    // A question with the buttons named, the safe answer first (the default,
    // and the answer of a box closed without a choice); once the user has
    // pressed one, `answered` runs with its index, from the event loop.
    virtual MessageId ask(const std::string& text, MsgIcon icon, const std::string& title,
                          const std::vector<std::string>& buttons, std::function<void(int)> answered) = 0;
    // Takes a box down if it is still open; a question so closed never answers.
    virtual void close(MessageId id) = 0;
};

class Beep {
public:
    virtual ~Beep() = default;
    virtual void beep() = 0;
};

// The event loop of the window system.
class EventLoop {
public:
    virtual ~EventLoop() = default;
    // Lets pending window, timer and port events run, then returns.
    virtual void doEvents() = 0;
    // Waits until at least one event has come and lets it run.
    virtual void waitForEvents() = 0;
    // Ends the program once control returns to the loop.
    virtual void quit() = 0;
};

class MousePointer {
public:
    virtual ~MousePointer() = default;
    virtual void setBusy(bool busy) = 0;
};

struct ScreenSize {
    int width = 0;   // twips
    int height = 0;  // twips
};

class Screen {
public:
    virtual ~Screen() = default;
    virtual ScreenSize size() const = 0;
};

}  // namespace kv::platform
