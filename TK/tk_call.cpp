#include "TK/tk_call.hpp"

#include <cwctype>

namespace {

bool name_char(wchar_t c) { return c == L'_' || std::iswalnum(static_cast<wint_t>(c)) != 0; }

bool blank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

} // namespace

bool tk_is_call(const std::wstring& text, size_t start, size_t length)
{
    if (start + length > text.size() || (start > 0 && name_char(text[start - 1])))
        return false;
    size_t after = start + length;
    while (after < text.size() && blank(text[after]))
        ++after;
    return after < text.size() && text[after] == L'(';
}
