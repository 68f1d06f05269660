#include "params/ParamFiles.h"

#include <cmath>
#include <filesystem>

#include "platform/Files.h"
#include "ui/Text.h"

namespace kv::params {

namespace fs = std::filesystem;

namespace {

// Lines without their ends (CR LF, LF or a lone CR); blank lines at the end
// dropped. A UTF-8 byte-order mark, which some editors put first, is no part
// of the first line.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    while (!lines.empty() && ui::trim(lines.back()).empty()) lines.pop_back();
    return lines;
}

std::vector<std::string> splitCommas(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = line.find(',', start);
        fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

bool isNumber(const std::string& s) { return ui::toNumber(s).has_value(); }

}  // namespace

ParamFiles::ParamFiles(ui::Window& form, ParamTable& table, platform::Folders& folders, platform::FileDialog& dialog,
                       platform::MessageBox& messageBox, platform::EventLoop& events, const std::string& sBaseFolder)
    : lblSelectedFilename(form.label("lblSelectedFilename")),
      mOpnFile(form.menu("mOpnFile")),
      mSaveFile(form.menu("mSaveFile")),
      table_(table),
      folders_(folders),
      dialog_(dialog),
      messageBox_(messageBox),
      events_(events),
      sBaseFolder_(sBaseFolder) {
    mOpnFile.setCaption("Open Param File");
    mSaveFile.setCaption("Save Param File");
    mOpnFile.onClick = [this] { mOpnFile_Click(); };
    mSaveFile.onClick = [this] { mSaveFile_Click(); };
}

void ParamFiles::fail(const std::string& text, platform::MsgIcon icon) {
    messageBox_.show(text, platform::MsgButtons::Ok, icon, platform::kAppTitle);
}

void ParamFiles::ReadZMCConfigFile() {
    // Beside the program, else where an installed program keeps its data.
    std::vector<std::string> places{(fs::path(folders_.program()) / definitionFile()).string()};
    if (std::string data = folders_.installedData(); !data.empty())
        places.push_back((fs::path(data) / definitionFile()).string());
    definitionPath_ = places.front();
    for (const auto& p : places) {
        std::error_code ec;
        if (fs::exists(p, ec)) {
            definitionPath_ = p;
            break;
        }
    }

    std::string text, error;
    if (!platform::readWholeFile(definitionPath_, text, error, kMaxFileBytes)) {
        std::string where = definitionPath_;
        if (places.size() > 1 && definitionPath_ == places.front()) where += " (nor " + places.back() + ")";
        fail("The parameter definition file " + where + " cannot be read: " + error +
                 ".\nNo parameters are shown and none can be written.",
             platform::MsgIcon::Critical);
        return;
    }
    std::vector<std::string> lines = linesOf(text);
    if (lines.empty()) {
        fail("The parameter definition file " + definitionPath_ +
                 " is empty.\nNo parameters are shown and none can be written.",
             platform::MsgIcon::Critical);
        return;
    }

    table_.iParamCount = 0;
    std::string problem;
    std::size_t n = 0;
    for (; n < lines.size(); ++n) {
        int k = table_.iParamCount;
        if (k >= ParamTable::kRows) {
            problem = "the window has boxes for " + std::to_string(ParamTable::kRows) + " parameters only";
            break;
        }
        std::vector<std::string> f = splitCommas(lines[n]);
        if (f.size() < 9) {
            problem = "it has " + std::to_string(f.size()) + " fields where 9 are needed";
            break;
        }
        for (auto& field : f) field = ui::trim(field);
        std::string id = codeToID(f[0]);
        if (!parameterNumber(id)) {
            problem = "the code \"" + f[0] + "\" gives no parameter number from 0 to 255";
            break;
        }
        const char* names[] = {"value", "default", "lower limit", "upper limit"};
        const std::string* values[] = {&f[2], &f[3], &f[4], &f[5]};
        for (int i = 0; i < 4 && problem.empty(); ++i)
            if (!isNumber(*values[i])) problem = std::string("the ") + names[i] + " \"" + *values[i] + "\" is not a number";
        if (problem.empty() && numberOf(f[4]) > numberOf(f[5])) problem = "the lower limit is above the upper limit";
        if (!problem.empty()) break;

        ParamRow& row = table_.row(k);
        row.define(id, f[4], f[5], f[7]);
        row.sParamDefault = f[3];
        row.sParamValue = f[2];
        // Until a value is read or opened, a saved file holds the one to write.
        row.sParamFileValue = showRaw(f[2], row.permission, table_.iValueOffset).fileValue;
        row.sParamLabel = f[8];
        table_.lblParam(k).setCaption(f[8]);
        table_.txtParam(k).setVisible(true);
        ++table_.iParamCount;
    }
    if (!problem.empty())
        fail("The parameter definition file " + definitionPath_ + ", line " + std::to_string(n + 1) +
                 ", cannot be used: " + problem + ".\n" + std::to_string(table_.iParamCount) +
                 " parameters were loaded from the lines before it.",
             platform::MsgIcon::Exclamation);
}

platform::FileDialogOptions ParamFiles::dialogOptions() const {
    return {"Select File", (fs::path(sBaseFolder_) / kFolder).string(), "Param Files (*.csv)|*.csv|All files (*.*)|*.*",
            "csv"};
}

bool ParamFiles::readSavedFile(const std::string& path, std::vector<std::string>& values,
                               const std::string& consequence) {
    std::string text, error;
    if (!platform::readWholeFile(path, text, error, kMaxFileBytes)) {
        fail("The parameter file " + path + " cannot be read: " + error + ".\n" + consequence,
             platform::MsgIcon::Exclamation);
        return false;
    }
    // Rows are matched by position; every comma of a line gives its row the
    // line's second field, so a line without a comma gives none. A line must
    // name the row its value goes to, as a saved file does: a file of another
    // order, or of another definition, would put values into the wrong rows.
    values.clear();
    std::string bad, misnamed;
    std::vector<std::string> lines = linesOf(text);
    for (std::size_t n = 0; n < lines.size(); ++n) {
        std::vector<std::string> f = splitCommas(lines[n]);
        for (std::size_t i = 1; i < f.size() && values.size() < static_cast<std::size_t>(table_.iParamCount); ++i) {
            const auto k = static_cast<int>(values.size());
            std::string name = ui::trim(f[0]), label = ui::trim(table_.lblParam(k).caption());
            if (name != label && misnamed.empty())
                misnamed = "line " + std::to_string(n + 1) + " names \"" + name + "\" where row " +
                           std::to_string(k + 1) + " is \"" + label + "\"";
            std::string v = ui::trim(f[1]);
            // A file value is a whole number of the row's units (tenths for
            // the offset types): a fraction would be shown rounded one way
            // and written rounded another.
            if (bad.empty() && !isNumber(v))
                bad = "line " + std::to_string(n + 1) + " holds \"" + v + "\", which is not a number";
            else if (bad.empty() && numberOf(v) != std::trunc(numberOf(v)))
                bad = "line " + std::to_string(n + 1) + " holds \"" + v + "\", which is not a whole number";
            values.push_back(v);
        }
    }
    if (!misnamed.empty()) {
        fail("The parameter file " + path + " cannot be used: " + misnamed +
                 ". Its lines must name the parameters in the order of the table, as a saved file does.\n" +
                 consequence,
             platform::MsgIcon::Exclamation);
        return false;
    }
    if (!bad.empty()) {
        fail("The parameter file " + path + " cannot be used: " + bad + ".\n" + consequence,
             platform::MsgIcon::Exclamation);
        return false;
    }
    if (values.empty()) {
        fail("The parameter file " + path + " holds no parameter values.\n" + consequence,
             platform::MsgIcon::Exclamation);
        return false;
    }
    return true;
}

// Inside the parameter-file folder the caption is the bare name, elsewhere
// the whole path, so the technician always knows which file is selected.
void ParamFiles::select(const std::string& path) {
    selectedPath_ = path;
    fs::path p(path);
    fs::path folder = (fs::path(sBaseFolder_) / kFolder).lexically_normal();
    bool inside = !sBaseFolder_.empty() && p.parent_path().lexically_normal() == folder;
    lblSelectedFilename.setCaption(inside ? p.filename().string() : path);
}

void ParamFiles::mOpnFile_Click() {
    events_.doEvents();
    std::string path = dialog_.open(dialogOptions());
    if (path.empty()) return;  // cancelled
    std::vector<std::string> values;
    if (!readSavedFile(path, values, "No value was changed.")) return;
    select(path);
    table_.BeginLimitReport();
    for (std::size_t k = 0; k < values.size(); ++k) {
        auto row = static_cast<std::int16_t>(k);
        table_.row(row).sParamFileValue = values[k];
        table_.SetReadParamCSVFormat(table_.txtParam(row), values[k], row);
    }
    table_.EndLimitReport("The file " + path);
}

bool ParamFiles::LoadSelectedParamFile(const std::string& consequence) {
    if (selectedPath_.empty()) return true;
    std::vector<std::string> values;
    if (!readSavedFile(selectedPath_, values, consequence)) return false;
    table_.BeginLimitReport();
    for (std::size_t k = 0; k < values.size(); ++k) {
        auto row = static_cast<std::int16_t>(k);
        table_.SetReadParamCSVFormat(table_.txtParam(row), values[k], row);
    }
    table_.EndLimitReport("The file " + selectedPath_);
    return true;
}

void ParamFiles::mSaveFile_Click() {
    std::string path = dialog_.save(dialogOptions());
    if (path.empty()) return;  // cancelled
    std::string content;
    for (int k = 0; k < table_.iParamCount; ++k)
        content += table_.lblParam(k).caption() + "," + table_.row(k).sParamFileValue + "\r\n";
    std::string error;
    if (!platform::writeWholeFile(path, content, error)) {
        fail("The parameter file " + path + " was not saved: " + error + ".", platform::MsgIcon::Exclamation);
        return;
    }
    select(path);
}

}  // namespace kv::params
