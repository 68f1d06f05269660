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

// Splits the text into its fields in order.
std::vector<std::string> fields(const std::string& text) {
    std::vector<std::string> out;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && blank(text[i])) ++i;
        if (i < n && (text[i] == '\r' || text[i] == '\n')) {
            ++i;  // an empty line, or the end of a line just read
            continue;
        }
        if (i >= n) break;
        std::string field;
        if (text[i] == '"') {
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
            // Anything between the closing quote and the field's end is dropped.
            while (i < n && text[i] != ',' && text[i] != '\r' && text[i] != '\n') ++i;
        } else {
            while (i < n && text[i] != ',' && text[i] != '\r' && text[i] != '\n') field += text[i++];
            while (!field.empty() && blank(field.back())) field.pop_back();
        }
        out.push_back(std::move(field));
        if (i < n && text[i] == ',') {
            ++i;
            // A comma at the end of a line leaves an empty field before it.
            std::size_t j = i;
            while (j < n && blank(text[j])) ++j;
            if (j >= n || text[j] == '\r' || text[j] == '\n') out.emplace_back();
        }
    }
    return out;
}

}  // namespace

std::vector<Customer> parseCustomerList(const std::string& text) {
    std::vector<std::string> f = fields(text);
    std::vector<Customer> out;
    for (std::size_t i = 2; i + 1 < f.size(); i += 2) out.push_back({f[i], f[i + 1]});
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
    if (!platform::readWholeFile(path_, text, error)) {
        messageBox_.show("The customer list " + path_ + " cannot be read: " + error, platform::MsgButtons::Ok,
                         platform::MsgIcon::Critical, "Error");
        return;
    }
    for (const Customer& c : parseCustomerList(text)) cboCLientList.addItem(formatClientCode(c.code) + " - " + c.name);
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
