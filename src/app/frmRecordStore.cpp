#include "app/frmRecordStore.h"

#include <cmath>

#include "ui/Text.h"

namespace kv::app {

frmRecordStore::frmRecordStore(platform::Platform& platform, RecordSender& sender)
    : window("frmRecordStore", platform.timers),
      txtHost(window.textBox("txtHost")),
      txtPort(window.textBox("txtPort")),
      txtDatabase(window.textBox("txtDatabase")),
      txtUser(window.textBox("txtUser")),
      lblTest(window.label("lblTest")),
      cmdTest(window.button("cmdTest")),
      cmdOK(window.button("cmdOK")),
      cmdCancel(window.button("cmdCancel")),
      platform_(platform),
      sender_(sender) {
    window.setCaption("Record Store");
    const char* captions[][2] = {{"lblHost", "Server"}, {"lblPort", "Port"}, {"lblDatabase", "Database"},
                                 {"lblUser", "User"}};
    for (const auto& [name, caption] : captions) window.label(name).setCaption(caption);
    window.label("lblNote").setCaption("The password comes from ~/.pgpass. An empty server: this station only.");
    cmdTest.setCaption("Test");
    cmdOK.setCaption("OK");
    cmdCancel.setCaption("Cancel");
    cmdTest.onClick = [this] { cmdTest_Click(); };
    cmdOK.onClick = [this] { cmdOK_Click(); };
    cmdCancel.onClick = [this] { window.unload(); };
    window.onUnload = [this] {
        trial_.reset();
        ++tests_;  // an answer still to come is for nobody
    };
}

platform::ServerSettings frmRecordStore::saved() const {
    auto get = [this](const char* key) { return ui::trim(platform_.settings.load(platform::kAppTitle, kSection, key)); };
    platform::ServerSettings s;
    s.host = get("Host");
    // A port edited by hand to something no port is keeps the default.
    if (auto port = ui::toNumber(get("Port")); port && *port >= 1 && *port <= 65535 && *port == std::floor(*port))
        s.port = static_cast<int>(*port);
    if (std::string db = get("Database"); !db.empty()) s.database = db;
    s.user = get("User");
    return s;
}

void frmRecordStore::Connect(platform::RecordStore& local) {
    local_ = &local;
    platform::ServerSettings s = saved();
    server_.reset();
    if (!s.host.empty() && platform_.servers) server_ = platform_.servers->connect(s);
    sender_.start(local, server_.get());
}

void frmRecordStore::Open() {
    platform::ServerSettings s = saved();
    txtHost.setText(s.host);
    txtPort.setText(std::to_string(s.port));
    txtDatabase.setText(s.database);
    txtUser.setText(s.user);
    lblTest.setCaption("");
    window.show();
    txtHost.setFocus();
}

bool frmRecordStore::typed(platform::ServerSettings& out, std::string& problem) const {
    out.host = ui::trim(txtHost.text());
    out.database = ui::trim(txtDatabase.text());
    out.user = ui::trim(txtUser.text());
    auto port = ui::toNumber(ui::trim(txtPort.text()));
    if (!port || *port < 1 || *port > 65535 || *port != static_cast<int>(*port)) {
        problem = "The port must be a whole number from 1 to 65535.";
        return false;
    }
    out.port = static_cast<int>(*port);
    if (!out.host.empty() && (out.database.empty() || out.user.empty())) {
        problem = "A server needs a database and a user.";
        return false;
    }
    return true;
}

void frmRecordStore::cmdTest_Click() {
    platform::ServerSettings s;
    std::string problem;
    if (!typed(s, problem)) return lblTest.setCaption(problem);
    if (s.host.empty()) return lblTest.setCaption("No server: the records stay on this station.");
    if (!platform_.servers) return lblTest.setCaption("This program cannot reach a server.");
    lblTest.setCaption("Connecting to " + s.database + " on " + s.host + "...");
    trial_ = platform_.servers->connect(s);
    const int test = ++tests_;
    trial_->test([this, test](std::int64_t rows, const std::string& error) {
        if (test != tests_) return;
        lblTest.setCaption(error.empty() ? "Connected: " + std::to_string(rows) + " rows on the server."
                                         : "Could not connect: " + error);
    });
}

void frmRecordStore::cmdOK_Click() {
    platform::ServerSettings s;
    std::string problem;
    if (!typed(s, problem)) return lblTest.setCaption(problem);
    const std::pair<const char*, std::string> values[] = {
        {"Host", s.host}, {"Port", std::to_string(s.port)}, {"Database", s.database}, {"User", s.user}};
    for (const auto& [key, value] : values) platform_.settings.save(platform::kAppTitle, kSection, key, value);
    window.unload();
    if (local_) Connect(*local_);
}

}  // namespace kv::app
