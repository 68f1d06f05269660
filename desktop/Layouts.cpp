#include "desktop/Layouts.h"

#include <memory>
#include <string>

namespace kv::desktop {

namespace {

// Names of array elements must outlive the table.
const char* keep(const std::string& s) {
    static std::vector<std::unique_ptr<std::string>> names;
    names.push_back(std::make_unique<std::string>(s));
    return names.back()->c_str();
}

const char* item(const char* array, int i) { return keep(std::string(array) + "(" + std::to_string(i) + ")"); }

}  // namespace

std::vector<Place> mainLayout() {
    std::vector<Place> l = {
        // The terminal and dump box exist but are hidden as designed.
        {"txtTerminal", 0, 0, 1112, 560, nullptr, "mono"},
        {"Text1", 0, 600, 1112, 22, nullptr, "mono"},

        // Identity of the connected controller.
        {"lblHeader(0)", 10, 10, 92, 22, nullptr, "title"},
        {"lblFWVersion", 105, 10, 225, 22, nullptr, "value"},
        {"Label1", 10, 36, 92, 22, nullptr, "title"},
        {"lblMacAddress", 105, 36, 225, 22, nullptr, "value"},
        {"lblHeader(10)", 10, 62, 52, 22, nullptr, "title"},
        {"lblHeader(11)", 62, 62, 40, 22, nullptr, "title"},
        {"lblCheckSum", 105, 62, 225, 22, nullptr, "value"},
        {"lblHeader(3)", 10, 88, 92, 22, nullptr, "title"},
        {"lblGetStatus(3)", 105, 88, 225, 22, nullptr, "value"},
        {"lblHeader(4)", 10, 114, 92, 22, nullptr, "title"},
        {"lblGetStatus(4)", 105, 114, 225, 34, nullptr, "value"},
        {"lblAsset", 10, 156, 92, 24, nullptr, "title"},
        {"txtAssetID", 105, 156, 225, 24},
        {"lblHeader(1)", 10, 186, 92, 22, nullptr, "title"},
        {"lblCounter", 105, 186, 100, 22, nullptr, "value"},
        {"lblGetStatus(0)", 210, 186, 60, 22, nullptr, "value"},
        {"lblHeader(2)", 10, 212, 92, 22},
        {"lblGetStatus(1)", 105, 212, 60, 22, nullptr, "value"},
        {"lblHeader(5)", 170, 212, 60, 22},
        {"lblHeader(6)", 235, 212, 50, 22},
        {"lblGetStatus(5)", 285, 212, 45, 22, nullptr, "value"},
        {"lblHeader(8)", 10, 238, 60, 22},
        {"lblGetStatus(7)", 70, 238, 70, 22, nullptr, "value"},
        {"lblHeader(9)", 150, 238, 60, 22},
        {"lblGetStatus(8)", 210, 238, 60, 22, nullptr, "value"},
        {"lblGetStatus(2)", 10, 264, 60, 22, nullptr, "value"},
        {"lblGetStatus(6)", 75, 264, 120, 22, nullptr, "value"},
        {"lblHeader(7)", 10, 290, 60, 22},

        // Provisioning.
        {"txtSetClient", 10, 222, 100, 26},
        {"cmdSetClientID", 115, 220, 105, 30},
        {"cboCLientList", 10, 256, 320, 26},
        {"txtSetCounter", 10, 292, 100, 26},
        {"cmdSetCounter", 115, 290, 105, 30},
        {"cmdSTOPComms", 225, 290, 105, 30},
        {"cmdGetAssetID", 10, 330, 105, 34},
        {"cmdSetAssetID", 120, 330, 105, 34},
        {"cdmSetParams", 230, 330, 100, 74},
        {"cmdRestartController", 10, 370, 105, 34},
        {"cmdRefreshNextController", 120, 370, 105, 34},
        {"lblTime", 10, 414, 320, 22},
        {"lblSelectedFilename", 10, 440, 320, 22},

        // Buttons the flows press; hidden as designed.
        {"cdmGETV", 10, 470, 80, 26},
        {"cmdGetCheckSum", 95, 470, 80, 26},
        {"cmdGetConfiguration", 180, 470, 80, 26},
        {"cmdGetMACAddress", 10, 500, 120, 26},
        {"cmdGetClientID", 135, 500, 80, 26},
        {"cmdGetStatus", 220, 500, 80, 26},
        {"cmdGetParams", 10, 530, 100, 26},
        {"cmdEnterServiceMode", 115, 530, 130, 26},
        {"cmdExitServiceMode", 250, 530, 130, 26},
        {"cmdRESET", 385, 530, 90, 26},
        {"cmdSaveLog", 480, 530, 80, 26},

        // Front panel.
        // The panel picture holds the display and the key bed; the keys are
        // its clickable areas.
        {"imgZMCDisplay", 930, 10, 180, 160},
        {"lblSettingParam", 942, 30, 50, 52, nullptr, "panel"},
        {"lblSettingValue", 992, 26, 110, 60, nullptr, "lcd"},
        {"imgKV53UP", 940, 106, 48, 42},
        {"imgKV5xSLT", 996, 106, 48, 42},
        {"imgKV53DWN", 1052, 106, 48, 42},
        {"cmdUP", 935, 180, 80, 28},
        {"cmdDown", 1025, 180, 80, 28},
        {"cmdApply", 935, 214, 80, 28},
        {"cmdDefault", 1025, 214, 80, 28},

        // Information bar: moved by the window's layout rule.
        {"picInfo", 0, 560, 1112, 21},
        {"lblPort", 4, 2, 62, 17, "picInfo", "info"},
        {"lblSettings", 70, 2, 90, 17, "picInfo", "info"},
        {"lblOpen", 164, 2, 50, 17, "picInfo", "info"},
        {"lblMode", 218, 2, 50, 17, "picInfo", "info"},
        {"lblError", 272, 2, 300, 17, "picInfo", "info"},
        {"picLED", 576, 1, 330, 19, "picInfo"},
        {"lblRecords", 908, 2, 202, 17, "picInfo", "info"},
        {"imgCD", 4, 1, 42, 17, "picLED"},
        {"imgCTS", 50, 1, 48, 17, "picLED"},
        {"imgDSR", 102, 1, 48, 17, "picLED"},
        {"imgRTS", 154, 1, 48, 17, "picLED"},
        {"imgDTR", 206, 1, 48, 17, "picLED"},
        {"imgRx", 258, 1, 34, 17, "picLED"},
        {"imgTx", 294, 1, 34, 17, "picLED"},
        {"imgLed(0)", 0, 0, 14, 14},
        {"imgLed(1)", 0, 0, 14, 14},
        {"imgLed(2)", 0, 0, 14, 14},
        {"imgLed(3)", 0, 0, 14, 14},
    };
    // Parameter rows: three columns of a label and its box.
    for (int k = 0; k < 49; ++k) {
        int column = k < 16 ? 0 : k < 32 ? 1 : 2;
        int row = column == 0 ? k : column == 1 ? k - 16 : k - 32;
        int x = 340 + column * 195;
        int y = 10 + row * 23;
        l.push_back({item("lblParam", k), x, y, 110, 21});
        l.push_back({item("txtParam", k), x + 112, y, 76, 21, nullptr, "param"});
    }
    return l;
}

std::vector<Place> progressLayout() {
    return {
        {"fraInfo", 6, 6, 408, 70},
        {"lblCurrentINFO", 10, 18, 340, 36, "fraInfo", "progress"},
        {"lblInfoProgress", 10, 50, 340, 16, "fraInfo"},
        {"imgRedDot", 360, 24, 16, 16, "fraInfo"},
        {"imgGreenDot", 382, 24, 16, 16, "fraInfo"},
    };
}

std::vector<Place> startupLayout() {
    return {
        {"fraPort", 8, 8, 180, 70},
        {"cboPort", 10, 26, 160, 26, "fraPort"},
        {"cmdAction(0)", 198, 10, 92, 30},
        {"cmdAction(1)", 198, 46, 92, 30},
        {"cmdRefresh", 198, 82, 92, 30},
    };
}

// The port and baud frames at the top; below them data bits, parity, stop
// bits and handshaking; OK above Cancel at the right.
std::vector<Place> settingsLayout() {
    std::vector<Place> l = {
        {"fraPort", 8, 8, 196, 60},
        {"cboPort", 10, 24, 176, 26, "fraPort"},
        {"fraBaud", 212, 8, 152, 60},
        {"cboBaud", 10, 24, 132, 26, "fraBaud"},
        {"fraDataBits", 8, 76, 80, 74},
        {"fraParity", 96, 76, 80, 98},
        {"fraStopBits", 184, 76, 80, 74},
        {"fraHandshake", 272, 76, 92, 122},
        {"cmdAction(0)", 376, 12, 84, 30},
        {"cmdAction(1)", 376, 48, 84, 30},
    };
    const struct {
        const char* array;
        const char* frame;
        int count;
    } groups[] = {{"optDataBits", "fraDataBits", 2}, {"optParity", "fraParity", 3},
                  {"optStopBits", "fraStopBits", 2}, {"optHandshake", "fraHandshake", 4}};
    for (const auto& g : groups)
        for (int i = 0; i < g.count; ++i) l.push_back({item(g.array, i), 8, 20 + 24 * i, 68, 22, g.frame});
    return l;
}

// Three scan fields one under the other, each "Enable" box beside its
// field; EXIT at the bottom right.
std::vector<Place> setAssetLayout() {
    return {
        {"Frame1", 8, 8, 404, 118},
        {"Label1", 10, 16, 86, 24, "Frame1"},
        {"txtScannedAsset", 98, 14, 210, 26, "Frame1"},
        {"Label3", 10, 50, 86, 24, "Frame1"},
        {"txtCustom1(0)", 98, 48, 210, 26, "Frame1"},
        {"chkCustom1(0)", 316, 50, 80, 24, "Frame1"},
        {"Label2", 10, 84, 86, 24, "Frame1"},
        {"txtCustom1(1)", 98, 82, 210, 26, "Frame1"},
        {"chkCustom1(1)", 316, 84, 80, 24, "Frame1"},
        {"cmdSetAsset", 8, 134, 100, 30},
        {"cmdExit", 312, 134, 100, 30},
    };
}

// File > Records: six filters in two rows, the buttons, the count, then the
// table, which the window stretches to its size.
std::vector<Place> recordsLayout() {
    return {
        {"lblFilter(0)", 8, 10, 60, 24},    {"txtFilter(0)", 70, 8, 170, 26},
        {"lblFilter(1)", 250, 10, 60, 24},  {"txtFilter(1)", 312, 8, 150, 26},
        {"lblFilter(2)", 472, 10, 60, 24},  {"txtFilter(2)", 534, 8, 80, 26},
        {"lblFilter(3)", 8, 42, 60, 24},    {"txtFilter(3)", 70, 40, 170, 26},
        {"lblFilter(4)", 250, 42, 60, 24},  {"txtFilter(4)", 312, 40, 150, 26},
        {"lblFilter(5)", 472, 42, 60, 24},  {"txtFilter(5)", 534, 40, 80, 26},
        {"cmdFind", 630, 8, 90, 28},        {"cmdExport", 630, 40, 90, 28},
        {"cmdClose", 730, 8, 90, 28},       {"lblFound", 8, 72, 820, 22},
        {"grdRecords", 8, 96, 884, 416},
    };
}

// Options > Record Store.
std::vector<Place> recordStoreLayout() {
    return {
        {"lblHost", 10, 12, 80, 24},     {"txtHost", 96, 10, 314, 26},
        {"lblPort", 10, 44, 80, 24},     {"txtPort", 96, 42, 80, 26},
        {"lblDatabase", 10, 76, 80, 24}, {"txtDatabase", 96, 74, 150, 26},
        {"lblUser", 10, 108, 80, 24},    {"txtUser", 96, 106, 150, 26},
        {"cmdTest", 260, 74, 150, 28},   {"lblNote", 10, 138, 400, 20, nullptr, "info"},
        {"lblTest", 10, 158, 400, 20},   {"cmdOK", 230, 178, 86, 24},
        {"cmdCancel", 324, 178, 86, 24},
    };
}

}  // namespace kv::desktop
