// The user's changes of destination tables and columns: a table may get a new
// name, and each of its columns a new name, another MySQL type (with length,
// precision, scale, default value and character set), or be dropped. They
// come from the type editor or from a profile's "Type Mappings" and are
// applied during a run to a table's schema and index list before the table is
// created, and to every record before it is appended.
//
// Three levels, each a udb_properties: the database change (one, a base of
// the converter) holds a table change per changed source table, which holds
// a field change per changed source column. Every look-up by name here is
// exact and case-sensitive: a change names the source spelling it was made
// for.
#pragma once

#include "SQL/sql_ntyp.hpp"
#include "TK/tk_excep.hpp"
#include "UDB/udb_idx.hpp"
#include "UDB/udb_prop.hpp"
#include "UDB/udb_rec.hpp"
#include "UDB/udb_sch.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class udb_profile;

// What a change asks of one column: the MySQL type with its sizes, and the
// default value and character set the column gets.
struct sql_field_type : sql_native_type {
    std::wstring default_value;
    std::wstring character_set;
};

namespace udb_mutators {
inline constexpr int32_t changed = 1;
inline constexpr int32_t deleted = 2;
inline constexpr int32_t created = 3;  // reserved: only logged
} // namespace udb_mutators

// A value the type of a change cannot take: the field (by its new name),
// the type and the value, for the caller to name the record that held it.
class sql_conversion_failure : public tk_exception {
public:
    sql_conversion_failure(const std::wstring& field, const std::wstring& type, const std::wstring& value);
    // "the value '300' of the field 'n' (TINYINT)"
    std::wstring what_failed() const;

private:
    std::wstring field, type, value;
};

class sql_field_mutator : public udb_properties {
public:
    sql_field_mutator(const std::wstring& new_name, const sql_field_type& type, int32_t status);

    // The seven settings of the change, rebuilt on every call.
    property_map& get_properties() override;
    udb_properties* find_mutator(const std::wstring&) override { return nullptr; }
    udb_properties* find_mutator2(const std::wstring&) override { return nullptr; }

    // The column type the change gives ("VARCHAR(20)", "DECIMAL(10,2)"...).
    std::wstring column_type() const;
    // Whether the change names a type; one that does not (a profile's line
    // with a new name alone) renames the column, which keeps the type it
    // would have had.
    bool retypes() const { return !type.type.empty(); }
    // A copy of the column with the change's type text; null for null.
    std::shared_ptr<t_ftd> create2(const t_ftd* column) const;
    // Renames and retypes a column description in place.
    void modify1(t_ftd& column) const;
    // Renames a value and converts it to the change's type; a value that
    // cannot be converted raises sql_conversion_failure (level 0). An empty
    // text becomes no value (NULL) for any type but text.
    void modify2(udb_field& field) const;

    std::wstring new_name;
    VARTYPE vartype = VT_NULL;  // VT_NULL: the column keeps its value type
    uint32_t dw_reserved = 0;
    sql_field_type type;
    int32_t status;
};

class sql_table_mutator : public udb_properties {
public:
    explicit sql_table_mutator(const std::wstring& new_name);

    // By source column name.
    udb_properties* find_mutator(const std::wstring& name) override;
    // By new column name.
    udb_properties* find_mutator2(const std::wstring& new_name) override;

    // Creates or updates the change of the source column old_name. For a
    // type of fixed size, type.length becomes that size.
    sql_field_mutator* update_field(const std::wstring& old_name, const std::wstring& new_name,
                                    sql_field_type& type);
    void set_new_name(const std::wstring& name);
    // Forgets the change of a source column, if any.
    void remove_field(const std::wstring& old_name);

    // The schema with dropped columns left out and changed ones renamed and
    // retyped (new descriptors; the source's are never touched). Answers the
    // table's new name, empty when it has none.
    std::wstring modify1(udb_schema& schema);
    // The record to append: dropped values left out, changed ones renamed and
    // converted. The result stays valid until the next call.
    const udb_record& modify2(const udb_record& record);
    // Index column lists without dropped columns and with the new names.
    void modify3(udb_indexes& indexes) const;

    bool has_field_changes() const { return !fields.empty(); }
    // Field changes in order of source column name.
    const std::map<std::wstring, std::unique_ptr<sql_field_mutator>>& get_fields() const { return fields; }

    std::wstring new_name;

private:
    const sql_field_mutator* field_of(const std::wstring& name) const;

    std::map<std::wstring, std::unique_ptr<sql_field_mutator>> fields;
    std::map<std::wstring, sql_field_mutator*> fields_by_new_name;
    udb_record last_record;
};

// Why the server cannot create a column of this type with these sizes, its
// character set the column's own or else the session's; empty when it can.
std::wstring sql_field_type_failure(const sql_field_type& type, int64_t length, int64_t precision, int64_t scale);

// "the column 'c' of the table 't' is given the type T, which the server
// cannot create: " and the reason.
std::wstring sql_column_type_failure(const std::wstring& table, const std::wstring& column, const std::wstring& type,
                                     const std::wstring& reason);

// A storage engine or character set that a profile names, with the line that
// names it: once a server is connected it must be one the server has.
struct profile_catalogue_name {
    bool engine;  // else a character set
    std::wstring value;
    std::wstring line;
};

// Two source tables of one run that would write one table because of the
// user's new names: their source names, in the order given, and the name.
struct table_name_clash {
    std::wstring first;
    std::wstring second;
    std::wstring name;
};

class sql_db_mutator : public udb_properties {
public:
    using field_type = sql_field_type;

    sql_db_mutator() = default;
    ~sql_db_mutator() override;
    sql_db_mutator(const sql_db_mutator&) = delete;
    sql_db_mutator& operator=(const sql_db_mutator&) = delete;

    // The change of a source table, created when missing; its new name is set.
    sql_table_mutator* get_table_mutator2(const std::wstring& table, const std::wstring& new_name);
    // The change of a source table, or null.
    sql_table_mutator* get_table_mutator3(const std::wstring& table) const;
    udb_properties* find_mutator(const std::wstring& table) override { return get_table_mutator3(table); }
    udb_properties* find_mutator2(const std::wstring& new_name) override;

    // The destination name of a source table, its schema and index list
    // changed in place. A change without a new name keeps the source name.
    std::wstring modify1(const std::wstring& table, udb_schema& schema, udb_indexes& indexes);
    // The record to append for a source record of the table.
    const udb_record& modify2(const std::wstring& table, const udb_record& record);
    // The name a source table is written under: its change's new name, else
    // its own.
    std::wstring destination_name(const std::wstring& table) const;
    // The first two of these source tables (the run's, in its order) whose
    // destination names are one table name (platform::equal_table_names)
    // where a new name of the user's makes them so; none when each writes a
    // table of its own. Both programs refuse such a run: the user named one
    // table for two. Source names that are one name by themselves are no
    // clash: the run numbers the later one (udb_validator::get_safe_name).
    std::optional<table_name_clash> first_name_clash(const std::vector<std::wstring>& tables) const;
    // The same as if the source table `table` had the new name `new_name`
    // (empty: its own), for an editor to ask before it takes the name.
    std::optional<table_name_clash> first_name_clash(const std::vector<std::wstring>& tables,
                                                     const std::wstring& table, const std::wstring& new_name) const;
    // Whether the user changed any column of the table: else modify2 gives
    // every record as it is.
    bool has_field_changes(const std::wstring& table) const;

    // For each column of a table's changed schema, whether a change of the
    // user gave it its type.
    std::vector<bool> user_typed(const std::wstring& table, const udb_schema& columns) const;

    // For the type editor: the MySQL type, size, default and, for decimals,
    // precision and scale of a source column; its type text is set to match.
    void describe_field(t_ftd& column, sql_field_type& type) const;
    // The types the type editor leaves out of its lists: none.
    static const std::set<std::wstring>& get_excluded_types();

    // Forgets every table change.
    void clear();

    // The "Type Mappings" section of a profile. load forgets the changes held
    // before, and answers false, applying none of the section's tables, when
    // a line is out of place or names an engine, character set or type that
    // is no plain name (failed_line then holds it, is_value_failure tells
    // which).
    bool load(udb_profile& profile);
    bool store(udb_profile& profile) const;
    const std::wstring& get_failed_line() const { return failed_line; }
    // When load answered false for a type the server cannot create: the
    // sentence that names it (sql_column_type_failure).
    const std::wstring& get_type_failure() const { return type_failure; }
    bool is_value_failure() const { return value_failure; }
    // Records a storage engine (engine true) or character set a profile line
    // names; false, the line kept as the failed one, when it is no plain
    // name. An empty value names nothing.
    bool note_catalogue_name(bool engine, const std::wstring& value, const std::wstring& line);
    const std::vector<profile_catalogue_name>& get_catalogue_names() const { return catalogue_names; }

    // Table changes in order of source table name.
    const std::map<std::wstring, std::unique_ptr<sql_table_mutator>>& get_tables() const { return tables; }

private:
    // A level-0 tk_exception naming the first changed column of the table
    // whose type the server cannot create.
    void check_types(const std::wstring& table, const sql_table_mutator& change) const;

    std::map<std::wstring, std::unique_ptr<sql_table_mutator>> tables;
    std::map<std::wstring, sql_table_mutator*> tables_by_new_name;
    std::wstring failed_line;
    bool value_failure = false;
    std::wstring type_failure;
    std::vector<profile_catalogue_name> catalogue_names;
};
