// A suffix test for wide text.
#pragma once

#include <string>

// True when text ends with suffix (always for an empty suffix): exactly when
// case_sensitive, else without regard to case.
bool wstr_ends_with(const std::wstring& text, const std::wstring& suffix, bool case_sensitive);
