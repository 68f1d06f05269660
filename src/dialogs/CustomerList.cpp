#include "dialogs/CustomerList.h"

#include <algorithm>
#include <filesystem>

#include "params/ParamValues.h"
#include "platform/Files.h"
#include "ui/Text.h"

namespace kv::dialogs {

namespace fs = std::filesystem;

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

// The fields of one line, in order; false with why when the line cannot be
// read as the list's fields: a quote left open (it would swallow the lines
// after it) or a control character (a name that shows as nothing).
bool lineFields(const std::string& line, std::vector<std::string>& out, std::string& why) {
    for (char c : line) {
        auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F) {
            why = "it holds a control character";
            return false;
        }
    }
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n && blank(line[i])) ++i;
    if (i >= n) return true;  // an empty line
    for (;;) {
        while (i < n && blank(line[i])) ++i;
        std::string field;
        if (i < n && line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                field += line[i++];
            }
            if (!closed) {
                why = "a quote is not closed";
                return false;
            }
            // Anything between the closing quote and the field's end is dropped.
            while (i < n && line[i] != ',') ++i;
        } else {
            while (i < n && line[i] != ',') field += line[i++];
            while (!field.empty() && blank(field.back())) field.pop_back();
        }
        out.push_back(std::move(field));
        if (i >= n) return true;
        ++i;  // the comma; one at the end of the line leaves an empty field
    }
}

}  // namespace

std::vector<Customer> parseCustomerList(const std::string& text, std::vector<std::string>* skipped) {
    // One customer a line, after the header line: a line that cannot be read,
    // or has more or fewer than its two fields, is left out whole, so that it
    // never shifts a name onto the next customer's code.
    std::vector<Customer> out;
    bool header = true;
    std::size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::vector<std::string> fields;
        std::string why;
        bool read = lineFields(text.substr(start, end - start), fields, why);
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        if (read && fields.empty()) continue;  // an empty line
        if (header) {
            header = false;
            continue;
        }
        if (read && fields.size() != 2)
            why = std::to_string(fields.size()) + (fields.size() == 1 ? " field" : " fields") +
                  " where 2 are needed; a name with a comma goes in double quotes";
        if (!why.empty()) {
            if (skipped) skipped->push_back("line " + std::to_string(number) + " (" + why + ")");
            continue;
        }
        out.push_back({fields[0], fields[1]});
    }
    return out;
}

std::string formatClientCode(const std::string& code) {
    bool digitsOnly = !code.empty();
    for (char c : code) digitsOnly = digitsOnly && c >= '0' && c <= '9';
    // As a number: leading zeros go, then at least three digits. Long codes
    // keep every digit; a double would round them.
    if (digitsOnly) {
        std::string number = code.substr(std::min(code.find_first_not_of('0'), code.size()));
        return number.size() >= 3 ? number : std::string(3 - number.size(), '0') + number;
    }
    if (auto v = ui::toNumber(code)) return params::formatPattern(*v, "000");
    return code;
}

CustomerList::CustomerList(ui::Window& form, ui::TextBox& txtSetClient, const platform::Folders& folders,
                           platform::MessageBox& messageBox)
    : cboCLientList(form.comboBox("cboCLientList")),
      txtSetClient_(txtSetClient),
      folders_(folders),
      messageBox_(messageBox) {
    cboCLientList.onClick = [this] { cboCLientList_Click(); };
}

void CustomerList::LoadCustomerList() {
    const std::string first = sListFolder.empty() ? folders_.userData() : sListFolder;
    std::vector<std::string> places;
    for (const std::string& folder : {first, folders_.program(), folders_.installedData()})
        if (!folder.empty()) places.push_back((fs::path(folder) / kFileName).string());
    path_.clear();
    for (const std::string& place : places) {
        std::error_code ec;
        if (fs::exists(place, ec)) {
            path_ = place;
            break;
        }
    }
    cboCLientList.clear();
    if (path_.empty()) {
        messageBox_.show("CustomerList.csv file does not exist.", platform::MsgButtons::Ok,
                         platform::MsgIcon::Critical, "Error");
        return;
    }
    std::string text, error;
    if (!platform::readWholeFile(path_, text, error, kMaxFileBytes)) {
        messageBox_.show("The customer list " + path_ + " cannot be read: " + error, platform::MsgButtons::Ok,
                         platform::MsgIcon::Critical, "Error");
        return;
    }
    std::vector<std::string> skipped;
    for (const Customer& c : parseCustomerList(text, &skipped))
        cboCLientList.addItem(formatClientCode(c.code) + " - " + c.name);
    if (skipped.empty()) return;
    std::string lines;
    for (const std::string& s : skipped) lines += "\n" + s;
    messageBox_.show("The customer list " + path_ + " has lines that cannot be read; their customers are not in the "
                         "list:" + lines,
                     platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, "Error");
}

void CustomerList::cboCLientList_Click() {
    int i = cboCLientList.listIndex();
    if (i < 0) return;
    txtSetClient_.setText(cboCLientList.items()[static_cast<std::size_t>(i)].substr(0, 3));
}

void CustomerList::SelectCustomer(const std::string& clientCaption) {
    std::string client = ui::trim(clientCaption);
    if (client == "<00") return;
    const auto& entries = cboCLientList.items();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].substr(0, 3) == client) {
            cboCLientList.setListIndex(static_cast<int>(i));
            return;
        }
    }
}

}  // namespace kv::dialogs
