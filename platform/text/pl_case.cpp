#include "platform/text/pl_case.hpp"

#include "platform/text/pl_utf8.hpp"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <vector>

namespace platform {

namespace {

UChar32 fold(wchar_t c)
{
    if (c < 0x80)  // the common case needs no table
        return (c >= L'A' && c <= L'Z') ? c + 32 : c;
    return u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT);
}

// The character a name character stands for to the server: the first
// character of its canonical decomposition (the letter under the accents),
// case folded.
UChar32 bare_letter(UChar32 c)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    icu::UnicodeString decomposed;
    if (U_SUCCESS(status) && nfd->getDecomposition(c, decomposed) && decomposed.length() > 0)
        c = decomposed.char32At(0);
    return u_foldCase(c, U_FOLD_CASE_DEFAULT);
}

// Names are compared again and again: the basic plane's characters are
// looked up, made once.
UChar32 name_fold(wchar_t c)
{
    static const std::vector<char16_t> basic = [] {
        std::vector<char16_t> table(0x10000);
        for (UChar32 u = 0; u < 0x10000; ++u) {
            const UChar32 bare = bare_letter(u);
            table[size_t(u)] = static_cast<char16_t>(bare < 0x10000 ? bare : u);
        }
        return table;
    }();
    if (c < 0x80)
        return (c >= L'A' && c <= L'Z') ? c + 32 : c;
    const auto u = static_cast<UChar32>(c);
    return u < 0x10000 ? basic[size_t(u)] : u_foldCase(u, U_FOLD_CASE_DEFAULT);
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

int compare_names(std::wstring_view a, std::wstring_view b) { return compare_folded(a, b, name_fold); }

std::wstring name_key(std::wstring_view name)
{
    std::wstring key(name.size(), L'\0');
    for (size_t i = 0; i < name.size(); ++i)
        key[i] = static_cast<wchar_t>(name_fold(name[i]));
    return key;
}

} // namespace platform
