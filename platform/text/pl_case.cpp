#include "platform/text/pl_case.hpp"

#include "platform/text/pl_utf8.hpp"

#include <unicode/uchar.h>

namespace platform {

namespace {

UChar32 fold(wchar_t c)
{
    if (c < 0x80)  // the common case needs no table
        return (c >= L'A' && c <= L'Z') ? c + 32 : c;
    return u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT);
}

} // namespace

int compare_no_case(std::wstring_view a, std::wstring_view b)
{
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const UChar32 x = fold(a[i]);
        const UChar32 y = fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int compare_no_case(std::string_view a, std::string_view b)
{
    return compare_no_case(std::wstring_view(from_utf8(a)), std::wstring_view(from_utf8(b)));
}

} // namespace platform
