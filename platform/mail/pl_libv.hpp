// The version of the window library, which the system asks for by the name
// of the platform's common-controls library. The front end that has a window
// library (the wizard) tells its version here.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// Answers the window library's major and minor version; false when it
// cannot tell.
using window_library_version = bool (*)(uint32_t& major, uint32_t& minor);

// Null removes the answer.
void set_window_library_version(window_library_version query);
window_library_version find_window_library_version();

// True when `name` is the library the window library stands for
// ("comctl32.dll", without regard to case).
bool is_window_library(std::wstring_view name);

} // namespace platform
