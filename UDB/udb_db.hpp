// A database of some back end: it lists and tests its tables, creates tables,
// indexes, foreign keys and views, deletes and empties tables, runs
// statements and opens tables and queries as recordsets. The caller owns
// every recordset it returns. The workbook side, the MySQL server and the
// dump writer implement it.
#pragma once

#include "UDB/udb_idx.hpp"
#include "UDB/udb_nmap.hpp"
#include "UDB/udb_recs.hpp"
#include "UDB/udb_rel.hpp"
#include "UDB/udb_sch.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// Views as (name, SELECT text), in order.
using udb_views = std::vector<std::pair<std::wstring, std::wstring>>;

class udb_database {
public:
    // Bits of the open mode that back ends test.
    static constexpr uint32_t mode_read_only = 0x01;
    static constexpr uint32_t mode_exclusive = 0x10;
    static constexpr uint32_t mode_external = 0x20;
    static constexpr uint32_t mode_no_fkeys = 0x40;  // 0x20 suppresses them too
    static constexpr uint32_t mode_no_views = 0x80;
    static constexpr uint32_t mode_replace = 0x100;

    udb_database(const std::wstring& name, uint32_t mode, bool case_sensitive);
    udb_database(const udb_database&) = delete;
    udb_database& operator=(const udb_database&) = delete;
    virtual ~udb_database();

    virtual std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                        const udb_indexes& indexes) = 0;
    virtual void create_index(const std::wstring& /*table*/, const std::wstring& /*context*/, const udb_index& /*index*/)
    {
    }
    // create_index for every index, in order, with the same context.
    virtual void create_indexes(const std::wstring& table, const std::wstring& context, const udb_indexes& indexes);
    virtual void create_views(const udb_views& /*views*/) {}
    virtual void delete_fk(const udb_relationship& /*relationship*/) {}
    virtual void delete_idx(const std::wstring& /*table*/, const udb_index& /*index*/) {}
    // Removes the matching name (find_table) from the table list; false when
    // none matches. Back ends that drop real tables override it.
    virtual bool delete_tab(const std::wstring& name);
    // Sends "delete from " and the name as given; back ends that quote names
    // quote it first.
    virtual void empty_table(const std::wstring& name);
    virtual std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                                     uint32_t mode) = 0;
    virtual void clear_names(std::vector<std::wstring>& names);
    virtual std::unique_ptr<udb_recordset> get_table(const std::wstring& name, uint32_t mode) = 0;
    // Runs one statement; a recordset for a result set, else null. Back ends
    // that run no statements leave it an internal error.
    virtual std::unique_ptr<udb_recordset> query(const std::wstring& statement);
    virtual bool test_query(const std::wstring& statement) = 0;
    virtual void create_relationships(const udb_relationships& /*relationships*/) {}
    virtual std::vector<std::wstring>& get_tables();
    // Table names match exactly when case_sensitive is set, else as a server
    // that folds table names compares them (without regard to case, never to
    // accents).
    virtual bool is_table_exist(const std::wstring& name);

    uint32_t mode;
    std::wstring name;
    bool case_sensitive;
    udb_views views;
    std::vector<std::wstring> tables;
    udb_names_map names_map;
    udb_relationships relationships;

protected:
    // The listed table of the name: the one written exactly so first (a
    // server that keeps case apart may list Data and DATA), else the first
    // that matches; end() when none does.
    std::vector<std::wstring>::const_iterator find_table(const std::wstring& name) const;
};
