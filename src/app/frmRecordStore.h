#pragma once
// Options > Record Store: the shared server several stations write to (host,
// port, database, user), tried with Test before it is kept. The password is
// not asked for: the server's client library reads it from ~/.pgpass.
#include <memory>
#include <string>

#include "app/RecordSender.h"
#include "platform/Platform.h"
#include "ui/Window.h"

namespace kv::app {

class frmRecordStore {
public:
    static constexpr const char* kSection = "RecordStore";

    frmRecordStore(platform::Platform& platform, RecordSender& sender);
    frmRecordStore(const frmRecordStore&) = delete;
    frmRecordStore& operator=(const frmRecordStore&) = delete;

    // The server the settings name, connected and given to the sender; none
    // when no host is named or nothing can connect to one.
    void Connect(platform::RecordStore& local);
    // Shows the settings in use.
    void Open();
    void cmdTest_Click();
    void cmdOK_Click();

    platform::ServerSettings saved() const;
    platform::RecordServer* server() const { return server_.get(); }

    ui::Window window;
    ui::TextBox& txtHost;
    ui::TextBox& txtPort;
    ui::TextBox& txtDatabase;
    ui::TextBox& txtUser;
    ui::Label& lblTest;
    ui::Button& cmdTest;
    ui::Button& cmdOK;
    ui::Button& cmdCancel;

private:
    // The boxes as settings, or why they are not.
    bool typed(platform::ServerSettings& out, std::string& problem) const;

    platform::Platform& platform_;
    RecordSender& sender_;
    platform::RecordStore* local_ = nullptr;
    std::unique_ptr<platform::RecordServer> server_;  // in use
    std::unique_ptr<platform::RecordServer> trial_;   // the one Test tries
    int tests_ = 0;
};

}  // namespace kv::app
