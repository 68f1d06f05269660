#pragma once
// The files of the parameter table: the definition file beside the program,
// loaded at start-up, and the saved parameter files the technician opens and
// saves through the File menu.
#include <string>
#include <vector>

#include "params/ParamTable.h"
#include "platform/Desktop.h"
#include "ui/Window.h"

namespace kv::params {

class ParamFiles {
public:
    // The definition file's name: the model's.
    const char* definitionFile() const { return table_.profile().definitionFile; }
    static constexpr const char* kFolder = "KV53_ParamFiles";
    // The largest definition or parameter file read: both are a line per
    // parameter (about 1 KiB and 4 KiB for 49 rows); anything larger is not one.
    static constexpr std::size_t kMaxFileBytes = 64 * 1024;

    // `sBaseFolder` is the main window's documents folder, set at start-up.
    ParamFiles(ui::Window& form, ParamTable& table, platform::Folders& folders, platform::FileDialog& dialog,
               platform::MessageBox& messageBox, platform::EventLoop& events, const std::string& sBaseFolder);

    // Loads the definition file into the table. A missing, unreadable or
    // malformed file is reported in one message; the rows before the fault
    // stay loaded.
    void ReadZMCConfigFile();
    void mOpnFile_Click();
    void mSaveFile_Click();
    // Applies the selected saved file again. False, after a message ending
    // with `consequence`, when it cannot be read or holds a value that is not
    // a number: then nothing changed.
    [[nodiscard]] bool LoadSelectedParamFile(const std::string& consequence);

    // The file last opened or saved (full path), or empty text.
    const std::string& selectedPath() const { return selectedPath_; }
    // The definition file that was looked for or loaded.
    const std::string& definitionPath() const { return definitionPath_; }
    platform::FileDialogOptions dialogOptions() const;

    ui::Label& lblSelectedFilename;
    ui::MenuItem& mOpnFile;
    ui::MenuItem& mSaveFile;

private:
    // The values of a saved file, one per row it gives a value to, in order.
    [[nodiscard]] bool readSavedFile(const std::string& path, std::vector<std::string>& values,
                                     const std::string& consequence);
    void select(const std::string& path);
    void fail(const std::string& text, platform::MsgIcon icon);

    ParamTable& table_;
    platform::Folders& folders_;
    platform::FileDialog& dialog_;
    platform::MessageBox& messageBox_;
    platform::EventLoop& events_;
    const std::string& sBaseFolder_;
    std::string selectedPath_;
    std::string definitionPath_;
};

}  // namespace kv::params
