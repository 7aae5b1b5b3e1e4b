// Puts a text on the clipboard as Unicode text, when the front end has a
// clipboard (platform/mail/pl_clip.hpp); otherwise only logs.
#pragma once

#include <string>

void tk_copy_to_clipboard2(const std::wstring& text);
