// Which source names became which destination names. A database keeps one
// names map: its tables' new names, and per table its fields' new names, so
// that statements written later (view bodies, foreign keys) can be rewritten
// with the names the destination actually has.
#pragma once

#include <map>
#include <string>
#include <vector>

// A name as a MySQL identifier can hold it, whole: NUL and the other control
// characters, characters outside the Basic Multilingual Plane (which older
// servers cannot store), lone surrogates and trailing blanks become '_'.
// Nothing is cut, so a name never ends early inside its quotes.
std::wstring udb_identifier_text(const std::wstring& name);
// udb_identifier_text enclosed in backquotes, every inner backquote doubled:
// the one way an identifier is quoted in any statement or dump.
std::wstring udb_backquoted(const std::wstring& name);

// Source name -> destination name, ordered by plain character comparison.
class t_names_map : public std::map<std::wstring, std::wstring> {
public:
    using std::map<std::wstring, std::wstring>::map;

    // The new name of the first pair whose source name equals this one
    // without regard to case; the name itself when there is none.
    std::wstring get_mapped_name(const std::wstring& name) const;
};

class udb_names_map {
public:
    void add_tn_mapping(const std::wstring& source_table, const std::wstring& destination_table);
    // Stores a copy of a table's field pairs under the table's name.
    void add_fn_map(const std::wstring& table, const t_names_map& pairs);

    // Each look-up returns the given name unchanged when nothing matches. The
    // table of a field look-up must match its stored key exactly.
    std::wstring get_tn_mapped_name(const std::wstring& name, bool case_sensitive) const;
    std::wstring get_fn_mapped_name(const std::wstring& table, const std::wstring& field, bool case_sensitive) const;
    std::wstring get_fn_orig_name(const std::wstring& table, const std::wstring& field, bool case_sensitive) const;

    // Rewrites every whole-word occurrence of a source name (tables, then each
    // table's fields) by its destination name, enclosed in prefix and suffix.
    std::wstring do_global_replace1(const std::wstring& text, const std::wstring& prefix,
                                    const std::wstring& suffix) const;
    static std::wstring do_global_replace2(const std::wstring& text, const t_names_map& pairs,
                                           const std::wstring& prefix, const std::wstring& suffix);

    t_names_map table_map;
    std::map<std::wstring, t_names_map> field_map;  // table -> its field pairs

private:
    static std::wstring replace_words(const std::wstring& text, const std::vector<const t_names_map*>& maps,
                                      const std::wstring& prefix, const std::wstring& suffix);
};
