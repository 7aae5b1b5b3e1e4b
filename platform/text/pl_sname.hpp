// Names as the server holds them (MariaDB and MySQL): the weight of a
// column name's character under utf8mb3_general_ci, which column names are
// compared by; the lower case of that collation, which a server that folds
// table names stores; and the length of a table name in the server's file
// names. The data is the server's own, asked of it by tools/name_table.py
// (pl_sname.cpp): its tables hold old choices of their own (the ligature
// \u00c6 keeps its weight, \u00df weighs as s, Hangul and kana weigh as
// themselves) that no rule of today's Unicode data gives back.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

// One weight a character of the basic plane; the server weighs every
// character beyond it as U+FFFD.
char16_t name_weight(wchar_t c);
// The character itself where the server has no lower case for it.
wchar_t table_name_lower(wchar_t c);

// The bytes of the server's file name for a table name: [A-Za-z0-9_] one
// each, letters of some scripts three ("@0G"), any other character five
// ("@002d").
size_t table_file_bytes(std::wstring_view name);
// A file name holds 255 bytes, and the longest extension the server gives a
// table's files is four (".frm", ".ibd", ".MYD", ".MAI", ".TRG").
inline constexpr size_t max_table_file_bytes = 251;

namespace server_name {

// The 256 characters from U+xx00 on, for the pages where the server's data
// is not the identity (weight and lower case the character, five bytes).
struct page {
    char16_t weight[256];
    char16_t lower[256];
    unsigned char file_bytes[256];
};

extern const unsigned char page_of[256];  // 0: the identity, else 1 + index in pages
extern const page pages[];

} // namespace server_name

} // namespace platform
