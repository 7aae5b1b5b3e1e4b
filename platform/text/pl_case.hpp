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

// Column names as the server compares them: by their weights under its
// utf8mb3_general_ci collation (name_weight), one weight a character, so
// without regard to case or to the accents of Latin, Greek and Cyrillic
// letters (\u00fd and \u00ff are both Y, \u00df is S), while Hangul
// syllables and kana with or without their voicing marks are letters of
// their own. Names equal here are one name to the server, however they
// differ.
int compare_names(std::wstring_view a, std::wstring_view b);

inline bool equal_names(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() && compare_names(a, b) == 0;
}

// The text whose exact equality is equal_names, for sets and maps of names.
std::wstring name_key(std::wstring_view name);

// Table names as a server that folds them (and a dump loaded into one)
// compares them: by the server's lower case, never by accents, so A\u00f1o
// and Ano are two tables, Data and DATA one.
int compare_table_names(std::wstring_view a, std::wstring_view b);

inline bool equal_table_names(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() && compare_table_names(a, b) == 0;
}

// The text whose exact equality is equal_table_names: the server's lower case.
std::wstring table_name_key(std::wstring_view name);

// Exactly equal, compared in place: names are short, and a row's fields are
// matched to their columns, and a sheet's elements and attributes told
// apart, by name again and again, where a call to the library's general
// comparison costs more than the comparing.
template <class C>
bool same_text(std::basic_string_view<C> a, std::basic_string_view<C> b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

inline bool same_text(std::wstring_view a, std::wstring_view b) { return same_text<wchar_t>(a, b); }
inline bool same_text(std::string_view a, std::string_view b) { return same_text<char>(a, b); }

} // namespace platform
