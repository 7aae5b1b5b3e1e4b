// A profile: the settings of one conversion, kept in a file so that either
// program can run it again. In memory, per section, its key=value entries in
// the order they came, and its plain lines (lines without an equal sign) as a
// list of their own. On disk, INI-like UTF-8 text with CR LF line ends:
//
//   [Generic settings]        a section
//   src=C:\data\book.xls      an entry: key, first "=", value
//   Sheet1$                   a plain line (also kept as an entry "Sheet1$"="")
//
// A line break, and an equal sign in a key or a plain line, are written as
// %0D, %0A and %3D ("%" itself as %25), so every text reads back as it was.
//
// Sections are kept in the order of their names' UTF-16 code units.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

using udb_profile_entry = std::pair<std::wstring, std::wstring>;
using udb_profile_entries = std::vector<udb_profile_entry>;

inline constexpr const wchar_t udb_available_queries[] = L"Available Queries";
inline constexpr const wchar_t udb_selected_tables[] = L"Selected Tables";
inline constexpr const wchar_t udb_selected_views[] = L"Selected Views";
inline constexpr const wchar_t udb_generic_settings[] = L"Generic settings";

class udb_profile {
public:
    // A profile with the four sections every profile has, empty.
    udb_profile();

    void add_section(const std::wstring& name);
    // Appends the entry; an entry of the same key stays, and is the one
    // get_value finds.
    void set_value(const std::wstring& section, const std::wstring& key, const std::wstring& value);
    void add_list_item(const std::wstring& section, const std::wstring& line);

    // The first entry of that key (compared exactly); empty when the section
    // or the key is missing.
    std::wstring get_value(const std::wstring& section, const std::wstring& key) const;
    // The section's plain lines; a missing list is created empty.
    std::vector<std::wstring>& get_list(const std::wstring& section);

    // A missing section raises a level-1 tk_exception_ex.
    const udb_profile_entries& get_available_queries() const;
    const udb_profile_entries& get_selected_tables() const;
    const udb_profile_entries& get_selected_views() const;

    // Adds the file's sections to this profile. A missing file raises a
    // level-1 tk_exception; an unreadable file, or a line before the first
    // section, answers false (the entries read so far stay). A UTF-8 byte
    // order mark at the start is skipped.
    bool load(const std::wstring& path);
    // Why load answered false, in the user's words ("line 1 ...").
    const std::wstring& get_failure() const { return failure; }
    // Writes the profile to a temporary file renamed over `path`, so a failed
    // write leaves the old profile whole; false when any step fails.
    bool store(const std::wstring& path) const;

private:
    // Orders names by their UTF-16 code units, as profile sections are.
    struct utf16_less {
        bool operator()(const std::wstring& a, const std::wstring& b) const;
    };

    bool read_line(const std::wstring& line, const std::wstring*& section);
    const udb_profile_entries& entries_of(const wchar_t* section) const;

    std::map<std::wstring, udb_profile_entries, utf16_less> sections;
    std::map<std::wstring, std::vector<std::wstring>, utf16_less> lists;
    std::wstring failure;
};
