// A table's schema and indexes written as a DAO table definition: one Field
// per column and one Index per index, with names the Access engine accepts,
// DAO types chosen from the VARTYPE and size, Required, AllowZeroLength,
// auto-increment and default values in the engine's syntax. Both classes
// work in two steps: construction makes the safe names, initialize creates
// the DAO objects on the table definition (which is appended afterwards).
#pragma once

#include "DAO/dao_vali.hpp"
#include "UDB/udb_idx.hpp"
#include "UDB/udb_nmap.hpp"
#include "UDB/udb_sch.hpp"
#include "platform/dao/pl_daoif.hpp"

#include <string>
#include <utility>
#include <vector>

class dao_schema_initializer : public udb_schema {
public:
    // table: the new definition, not owned.
    dao_schema_initializer(_DAOTableDef* table, const udb_schema& source);
    void initialize();
    // A default text as the engine reads a text: between double quotes, each
    // inner double quote doubled.
    static std::wstring quote_def_value(const std::wstring& text);
    // The source names that changed, with their new names.
    const t_names_map& names_map() const { return validator.mapped_pairs; }
    // The new name of a source column: the column of exactly that name
    // first, then the first whose name differs only in case; a name no
    // column has stays as it is.
    std::wstring new_name(const std::wstring& source) const;

private:
    void set_default(_DAOField* field, const t_ftd& column) const;

    _DAOTableDef* table;
    dao_fn_validator validator;
    std::vector<std::pair<std::wstring, std::wstring>> renamed;  // every column, in order
};

class dao_indexes_initializer {
public:
    dao_indexes_initializer(_DAOTableDef* table, const dao_schema_initializer& schema, const udb_indexes& source);
    void initialize();

    udb_indexes indexes;  // with safe names, over the columns' new names

private:
    // False when the index cannot be built in the engine (logged).
    bool map_fields(const udb_index& source, udb_index& mapped) const;

    _DAOTableDef* table;
    dao_in_validator validator;
    const dao_schema_initializer* schema;
};
