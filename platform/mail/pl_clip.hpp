// The clipboard. There is none without a window system, so the front end that
// has one (the wizard) puts its writer here; without it nothing is copied.
#pragma once

#include <string_view>

namespace platform {

// Puts the text on the clipboard as Unicode text; false when it could not,
// with the last error set.
using clipboard_writer = bool (*)(std::wstring_view text);

// Null removes the writer.
void set_clipboard_writer(clipboard_writer writer);

// False, with the last error set, when no writer is set or it refused.
bool copy_to_clipboard(std::wstring_view text);

} // namespace platform
