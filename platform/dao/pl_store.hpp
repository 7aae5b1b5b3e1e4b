// The Access-like databases of the DAO-like layer: kept in memory for the
// life of the process under the absolute path they were created with, never
// written to disk. A database holds tables (columns, indexes, rows), saved
// queries (their SQL as text) and relations, which it also lists in the
// system table MSysRelationships, one row per column pair. Text is kept as
// wide text: no code page applies.
#pragma once

#include "platform/dao/pl_daoim.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::dao {

// Error numbers of the store.
enum : int32_t {
    err_duplicate_key = 3022,
    err_file_not_found = 3024,
    err_bad_password = 3031,
    err_record_too_large = 3047,
    err_invalid_name = 3055,
    err_table_exists = 3010,
    err_object_exists = 3012,
    err_not_readable = 3112,
    err_field_exists = 3191,
    err_database_exists = 3204,
    err_bad_field_type = 3259,
    err_no_field = 3264,
    err_index_too_wide = 3281,
    err_primary_exists = 3283,
    err_index_exists = 3284,
    err_required = 3314,
    err_zero_length = 3315,
    err_no_unique_index = 3173,
    err_no_parent = 3201,
    err_in_relation = 3303,
    err_text_too_long = 3163,
    err_conversion = 3421,
};

// Field attribute: the column numbers new rows from 1.
constexpr int32_t dbAutoIncrField = 0x10;
// Relation attributes: changes of the parent reach its children.
constexpr int32_t dbRelationUpdateCascade = 0x100;
constexpr int32_t dbRelationDeleteCascade = 0x1000;
// Table attribute of the system tables.
constexpr int32_t dbSystemObject = static_cast<int32_t>(0x80000002u);
// Recordset option: no writes.
constexpr int32_t dbReadOnly = 4;

struct store_column {
    std::wstring name;
    int16_t type = dbText;
    int32_t size = 0;
    int32_t attributes = 0;
    bool required = false;
    bool allow_zero_length = false;
    std::wstring default_value;
    std::vector<std::pair<std::wstring, std::wstring>> properties;
};

struct store_index {
    std::wstring name;
    bool primary = false;
    bool unique = false;
    bool foreign = false;
    std::vector<std::wstring> fields;
};

struct store_relation {
    std::wstring name;
    std::wstring table;          // the parent
    std::wstring foreign_table;  // the child
    int32_t attributes = 0;
    std::vector<std::wstring> fields;          // of the parent
    std::vector<std::wstring> foreign_fields;  // of the child, same order
};

class store_database;

// One table: its definition and its rows. Until it is appended to a
// database it is only a definition.
class store_table : public dao_rows, public dao_writer {
public:
    store_table(std::wstring name, int32_t attributes) : name(std::move(name)), attributes(attributes) {}

    int16_t type(size_t column) const override { return columns[column].type; }
    dao_column describe(size_t column) const override;
    size_t rows() const override { return data.size(); }
    void value(size_t column, size_t row, VARIANT& out) const override;
    void put(std::vector<held_variant>& row, size_t column, const VARIANT& value) override;
    void add(std::vector<held_variant>& row) override;

    // The checks of a new column or index; read_error when refused.
    void add_column(store_column column);
    void add_index(store_index index);
    // npos when the table has no such column (names compared ignoring case).
    size_t find_column(std::wstring_view column) const;
    // The rows of a system table, replaced whole.
    void replace_rows(std::vector<std::vector<held_variant>> rows) { data = std::move(rows); }

    std::wstring name;
    int32_t attributes;
    std::vector<store_column> columns;
    std::vector<store_index> indexes;
    store_database* owner = nullptr;  // set when appended

private:
    void check_row(const std::vector<held_variant>& row) const;
    void check_unique(const store_index& index, const std::vector<held_variant>& row) const;
    void fill_defaults(std::vector<held_variant>& row);

    std::vector<std::vector<held_variant>> data;
    int32_t next_number = 1;
};
using store_table_ptr = std::shared_ptr<store_table>;

class store_database {
public:
    store_database(std::wstring path, std::wstring password);

    store_table_ptr find_table(std::wstring_view table) const;
    void append_table(store_table_ptr table);
    void delete_table(std::wstring_view table);
    void append_relation(store_relation relation);
    void save_query(std::wstring name, std::wstring sql);
    // Whether a child row's key has its parent row, for every relation of
    // the table.
    void check_parents(const store_table& child, const std::vector<held_variant>& row) const;

    std::wstring path;
    std::wstring password;
    std::vector<store_table_ptr> tables;
    std::vector<std::pair<std::wstring, std::wstring>> queries;
    std::vector<store_relation> relations;

private:
    void list_relations();

    store_table_ptr system_table;  // MSysRelationships
};
using store_database_ptr = std::shared_ptr<store_database>;

// The statement that reads MSysRelationships, the only one beside the
// workbook forms that a temporary query takes over that table.
extern const wchar_t dao_relations_statement[];

// A new, empty database registered under the absolute path of name; the
// locale text's ";pwd=" option sets its password. read_error when the name
// is empty or already registered.
dao_ref<DAODatabase> dao_create_store(dao_session_ptr session, const std::wstring& name, std::wstring_view locale);
// The registered database of that name; null when there is none. The
// connect text is empty or ";pwd=" and the password (all that follows);
// read_error for a wrong password.
dao_ref<DAODatabase> dao_open_store(dao_session_ptr session, const std::wstring& name, std::wstring_view connect);
// Whether a connect text names a database of the store rather than a
// workbook: empty, or a password alone.
bool dao_is_store_connect(std::wstring_view connect);

// Sets a column's "Description" or "Format" property, which DAO sets through
// a Properties collection this layer does not offer for writing. False when
// the database is none of the store's or has no such table or column.
bool dao_set_column_property(DAODatabase* database, const std::wstring& table, const std::wstring& column,
                             const std::wstring& property, const std::wstring& value);
// Whether MSysRelationships may be read; when not, reading it fails with
// 3112, as for a user without the right to read it.
void dao_set_relations_readable(bool readable);

// What the store raises: a read_error of that number.
[[noreturn]] void store_fail(int32_t number, const std::wstring& description);

} // namespace platform::dao
