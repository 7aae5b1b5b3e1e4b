// A workbook (or an Access database) opened through DAO, as the system's
// udb_database: the table list (worksheets, without linked and system
// tables), the saved queries as views rewritten towards MySQL, and for an
// Access database the foreign keys of MSysRelationships. get_table opens
// one worksheet as a dao_recordset through a temporary query.
#pragma once

#include "DAO/dao_engi.hpp"
#include "OLE/ole_ptr.hpp"
#include "UDB/udb_db.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class dao_database : public udb_database {
public:
    // database: an open DAO database, of which this object takes a reference
    // of its own; null is an internal error.
    dao_database(const std::wstring& name, DAODatabase* database, uint32_t mode);
    ~dao_database() override;

    // The new table opened to be appended to. Its columns and indexes get
    // names the engine accepts; the names map records the columns renamed.
    std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    bool delete_tab(const std::wstring& name) override;
    // One relation per relationship; one that fails is reported (its name as
    // context) and the next one is made.
    void create_relationships(const udb_relationships& relationships) override;
    std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                             uint32_t mode) override;
    // Never null: a table that is not listed, or a linked or system one,
    // raises a level-0 tk_exception naming it.
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, uint32_t mode) override;
    bool test_query(const std::wstring& sql) override;

    // The rows of a SELECT statement.
    int32_t count_records(const std::wstring& sql);
    void init_views();
    void init_fkeys();
    static bool is_system_table(const std::wstring& name);
    // A unique index name for a table: "ui_" + name + the time, at most 64
    // characters.
    static std::wstring gen_ui_name(const std::wstring& name);

private:
    ole_com_ptr<_DAOQueryDef> temporary_query(const std::wstring& sql);
    void create_relationship(const udb_relationship& relationship, DAORelations* relations);
    std::wstring column_name(const std::wstring& table, const udb_recordset& opened, const std::wstring& field) const;
    ole_com_ptr<_DAOIndex> unique_index_for(const std::wstring& parent, const udb_recordset& opened,
                                            const std::vector<std::wstring>& columns);
    void append_index(const std::wstring& table, _DAOIndex* index);

    ole_com_ptr<DAODatabase> database;
    ole_com_ptr<DAOQueryDefs> query_defs;
    ole_com_ptr<DAOTableDefs> table_defs;
};

// Opens a workbook as a database: DBEngine.OpenDatabase with the connect
// text, then a dao_database whose mode also marks an external source (0x20).
std::unique_ptr<dao_database> open_dao_src(dao_engine& engine, const std::wstring& path, const std::wstring& connect,
                                           uint32_t mode);

// One relationship of an Access database gathered from the rows of
// MSysRelationships (one row per column pair, ordered by name).
class dao_fk_rows {
public:
    explicit dao_fk_rows(udb_relationships& out) : out(out) {}
    void add(const std::wstring& name, const std::wstring& column, const std::wstring& child,
             const std::wstring& parent, const std::wstring& parent_column, int32_t grbit);
    // Ends the pending relationship, if any.
    void finish();

private:
    udb_relationships& out;
    bool pending = false;
    std::wstring name, child, parent;
    int32_t grbit = 0;
    std::vector<std::wstring> columns, parent_columns;
};

// Text search and replacement of the view rewriting, letters compared
// without regard to case. The index of pattern at or after position, or -1.
int64_t dao_find_nocase(const std::wstring& text, const std::wstring& pattern, size_t position);
void dao_replace_all(std::wstring& text, const std::wstring& from, const std::wstring& to);
// Replaces only occurrences that stand as a word: no letter or digit before,
// and the end, a blank, "(" or a line end after.
void dao_replace_word(std::wstring& text, const std::wstring& from, const std::wstring& to);
// Replaces only occurrences that are the name of a function being called.
void dao_replace_call(std::wstring& text, const std::wstring& from, const std::wstring& to);
// The Access SQL of a saved query rewritten towards MySQL.
std::wstring dao_rewrite_view(std::wstring sql);
