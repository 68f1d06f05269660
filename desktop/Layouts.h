#pragma once
// Where each window's controls sit: the windows' design, in pixels.
#include <vector>

#include "desktop/FormView.h"

namespace kv::desktop {

std::vector<Place> mainLayout();
std::vector<Place> progressLayout();
std::vector<Place> startupLayout();
std::vector<Place> settingsLayout();
std::vector<Place> setAssetLayout();
std::vector<Place> recordsLayout();
std::vector<Place> recordStoreLayout();

// The main window's inner size at start.
constexpr int kMainWidth = 1120;
constexpr int kMainHeight = 640;

}  // namespace kv::desktop
