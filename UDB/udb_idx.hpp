// A table's indexes: each index names its columns in key order and says
// whether it is the primary key, a unique index or a unique constraint. A
// recordset keeps its table's indexes in a udb_indexes list; adding an index
// whose name is already listed merges the two by their kinds, so a source that
// reports one index twice (once as an index, once as a key) yields one entry.
#pragma once

#include <string>
#include <vector>

class udb_index {
public:
    // True when the given columns are the leading columns of this index, in
    // order and without regard to case; an empty list is always a prefix.
    bool starts_with_fields(const std::vector<std::wstring>& that) const;

    std::wstring name;
    bool unique = false;
    bool primary = false;
    bool unique_constraint = false;
    std::vector<std::wstring> fields;
    // Carried with the index for the back ends; nothing here reads it.
    std::vector<std::wstring> fields2;
};

class udb_indexes : public std::vector<udb_index> {
public:
    // True when no listed index has this name (without regard to case).
    bool is_acceptable_name(const std::wstring& name) const;
    bool find2(const std::wstring& name) const;
    // The first index of that name; a missing name is an internal error, so
    // callers test with find2 first.
    udb_index& get_index(const std::wstring& name);

    // Appends the index, or merges it into the listed index of the same name.
    void push_back(const udb_index& index);

    // Whether the first index whose columns begin with these has them, and,
    // with unique_only, whether that index is unique.
    bool has_index_on_fields(const std::vector<std::wstring>& fields, bool unique_only) const;
    // Column names are matched exactly here, case included.
    bool is_idx_field(const std::wstring& field, bool primary_only) const;

private:
    void merge(udb_index& existing, const udb_index& index);
};
