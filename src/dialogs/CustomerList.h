#pragma once
// The customer list: a drop-down of "007 - Name" entries loaded at start-up
// from varktcstlst.txt; choosing one puts its client code into the client
// box, and an identified controller's customer is selected by its client ID.
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "ui/Window.h"

namespace kv::dialogs {

struct Customer {
    std::string code;
    std::string name;
};

// The records of a customer-list text: a header line, then a code and a
// name a line. Fields end at a comma or the line's end, a field in double
// quotes may hold commas (a doubled quote inside stands for one), blanks
// around an unquoted field are dropped and empty lines skipped. A line with a
// quote left open, a control character, or other than two fields is left
// out; `skipped` gets "line 3 (why)".
std::vector<Customer> parseCustomerList(const std::string& text, std::vector<std::string>* skipped = nullptr);
// A client code as the list shows it: a number with at least three digits
// ("7" gives "007", "1234" stays), anything else unchanged.
std::string formatClientCode(const std::string& code);

class CustomerList {
public:
    static constexpr const char* kFileName = "varktcstlst.txt";
    // The largest list read: some ten thousand customers.
    static constexpr std::size_t kMaxFileBytes = 1024 * 1024;

    CustomerList(ui::Window& form, ui::TextBox& txtSetClient, const platform::Folders& folders,
                 platform::MessageBox& messageBox);

    // Fills the list from the first file found: in sListFolder (the user's
    // data folder while it is empty), beside the program, then in the
    // installed data folder.
    void LoadCustomerList();
    void cboCLientList_Click();
    // The entry of the controller whose client ID the label shows (blanks
    // around it ignored) becomes the list's text; "<00" selects nothing.
    void SelectCustomer(const std::string& clientCaption);

    // Where the list was read from, empty when none was found.
    const std::string& path() const { return path_; }

    std::string sListFolder;
    ui::ComboBox& cboCLientList;

private:
    ui::TextBox& txtSetClient_;
    const platform::Folders& folders_;
    platform::MessageBox& messageBox_;
    std::string path_;
};

}  // namespace kv::dialogs
