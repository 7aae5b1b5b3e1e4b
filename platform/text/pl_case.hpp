// Comparison of names without regard to case, in place of the platform's
// locale comparison with its ignore-case flag: both texts are compared code
// point by code point after Unicode simple case folding. Every name look-up
// of the system goes through here.
#pragma once

#include <string_view>

namespace platform {

// <0, 0 or >0 as a sorts before, equal to or after b once folded.
int compare_no_case(std::wstring_view a, std::wstring_view b);
// The same for UTF-8 text.
int compare_no_case(std::string_view a, std::string_view b);

// Simple case folding maps one code point to one, so texts of different
// lengths never match: most look-ups end there.
inline bool equal_no_case(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() && compare_no_case(a, b) == 0;
}

} // namespace platform
