#include "platform/text/pl_case.hpp"

#include "platform/text/pl_sname.hpp"
#include "platform/text/pl_utf8.hpp"

#include <unicode/uchar.h>

#include <cstdint>

namespace platform {

namespace {

UChar32 fold(wchar_t c)
{
    if (c < 0x80)  // the common case needs no table
        return (c >= L'A' && c <= L'Z') ? c + 32 : c;
    return u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT);
}

const server_name::page* page_for(wchar_t c)
{
    const auto u = static_cast<uint32_t>(c);
    const unsigned index = u <= 0xFFFF ? server_name::page_of[u >> 8] : 0;
    return index != 0 ? &server_name::pages[index - 1] : nullptr;
}

// Compares character by character after the given folding; a name that is
// the start of the other comes first.
template <class Fold>
int compare_folded(std::wstring_view a, std::wstring_view b, Fold fold_char)
{
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const UChar32 x = fold_char(a[i]);
        const UChar32 y = fold_char(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace

int compare_no_case(std::wstring_view a, std::wstring_view b) { return compare_folded(a, b, fold); }

int compare_no_case(std::string_view a, std::string_view b)
{
    return compare_no_case(std::wstring_view(from_utf8(a)), std::wstring_view(from_utf8(b)));
}

int compare_names(std::wstring_view a, std::wstring_view b) { return compare_folded(a, b, name_weight); }

std::wstring name_key(std::wstring_view name)
{
    std::wstring key(name.size(), L'\0');
    for (size_t i = 0; i < name.size(); ++i)
        key[i] = static_cast<wchar_t>(name_weight(name[i]));
    return key;
}

int compare_table_names(std::wstring_view a, std::wstring_view b) { return compare_folded(a, b, table_name_lower); }

std::wstring table_name_key(std::wstring_view name)
{
    std::wstring key(name);
    for (wchar_t& c : key)
        c = table_name_lower(c);
    return key;
}

char16_t name_weight(wchar_t c)
{
    if (static_cast<uint32_t>(c) > 0xFFFF)
        return u'\uFFFD';
    const server_name::page* page = page_for(c);
    return page != nullptr ? page->weight[c & 0xFF] : static_cast<char16_t>(c);
}

wchar_t table_name_lower(wchar_t c)
{
    const server_name::page* page = page_for(c);
    return page != nullptr ? static_cast<wchar_t>(page->lower[c & 0xFF]) : c;
}

size_t table_file_bytes(std::wstring_view name)
{
    size_t bytes = 0;
    for (wchar_t c : name) {
        const server_name::page* page = page_for(c);
        bytes += page != nullptr ? page->file_bytes[c & 0xFF] : 5;
    }
    return bytes;
}

} // namespace platform
