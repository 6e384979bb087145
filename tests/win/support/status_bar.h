// Reading a status bar's parts, from this process or another one (the texts are copied through
// memory of the bar's own process, as SB_GETTEXT and SB_GETPARTS answer through pointers).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

std::string StatusPartText(HWND statusBar, int part);
std::vector<int> StatusPartEdges(HWND statusBar);

}  // namespace testing_support
