// Foreign keys: a relationship ties columns of a child table to the key
// columns of a parent table. A database keeps its foreign keys in a
// udb_relationships list, which also finds free names for new ones.
#pragma once

#include <string>
#include <vector>

class udb_relationship {
public:
    udb_relationship(const std::wstring& name, const std::wstring& name2, const std::wstring& child_table,
                     const std::wstring& parent_table, const std::vector<std::wstring>& fk_flds,
                     const std::vector<std::wstring>& pk_flds, const std::wstring& properties);
    // Named "FK_<parent>_<child>", blanks in the table names made "_".
    udb_relationship(const std::wstring& child_table, const std::wstring& parent_table,
                     const std::vector<std::wstring>& fk_flds, const std::vector<std::wstring>& pk_flds,
                     const std::wstring& properties);
    udb_relationship(const udb_relationship& that);
    udb_relationship& operator=(const udb_relationship&) = default;

    std::wstring name;
    // The second name the server's foreign-key reader fills; carried along.
    std::wstring name2;
    std::wstring child_table;
    std::wstring parent_table;
    // The rule text written after the reference, such as " ON DELETE CASCADE".
    std::wstring properties;
    std::vector<std::wstring> fk_flds;
    std::vector<std::wstring> pk_flds;  // same order as fk_flds
};

class udb_relationships : public std::vector<udb_relationship> {
public:
    // True when no listed relationship has this name (without regard to case).
    bool is_acceptable_name(const std::wstring& name) const;
    // "FK_<parent>_<child>", grown by "_", "1", "_", "2"... until unused.
    std::wstring gen_relship_name(const udb_relationship& relationship) const;
};
