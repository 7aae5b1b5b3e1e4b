// The content of a profile: which sections and keys the converter writes and
// how it reads them back, including the line grammar of "Type Mappings", the
// section that carries the table and field changes:
//
//   database:
//     <property>: <value>
//   tables:
//     - name: <source table>
//       new_name: <destination table>
//       fields:
//         - name:<source column>
//           new_name: ...   status: changed|deleted   type: ...
//           default_value: ...   character_set: ...
//           length: n   scale: n   precision: n
//       properties:
//           <property>: <value>
//
// (each key of a column on a line of its own).
#pragma once

#include <string>

inline constexpr const wchar_t profile_mysql_settings[] = L"MySQL settings";
inline constexpr const wchar_t profile_excel_settings[] = L"MS Excel settings";
inline constexpr const wchar_t profile_type_mappings[] = L"Type Mappings";
// Keys of "MS Excel settings" that only a CSV run's profile has: its table
// name and its delimiter (0 tab, 1 ";", 2 ",", 3 space).
inline constexpr const wchar_t profile_csv_table[] = L"csv table name";
inline constexpr const wchar_t profile_csv_delimiter[] = L"csv delimiter";

// Whether line begins with prefix: an empty prefix always does, a longer one
// never; exact compares code units, else letters match in any case.
bool profile_prefix_equal(const std::wstring& line, const std::wstring& prefix, bool exact);
// Removes blanks (U+0020 only) from both ends, in place.
std::wstring& profile_trim(std::wstring& text);
