// Runs the desktop tests in a temporary home, under whatever Qt platform the
// environment names (offscreen in the suite).
#include <gtest/gtest.h>

#include <QApplication>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <optional>

#include "platform/Desktop.h"
#include "tests/support/TempDir.h"

int main(int argc, char** argv) {
    // A test's child process runs in the home its test gave it.
    static std::optional<kv::test::TempDir> home;
    const char* given = getenv("KV_TEST_HOME");
    setenv("HOME", given ? given : home.emplace().path().c_str(), 1);
    // Qt's runtime folder too, which it would otherwise make in /tmp.
    const std::string runtime = std::string(getenv("HOME")) + "/runtime";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DOCUMENTS_DIR");
    if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(kv::platform::kAppTitle);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
