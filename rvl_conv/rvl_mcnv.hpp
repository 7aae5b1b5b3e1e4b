// The MySQL side of the converter: the one MySQL engine of the process, the
// dump writer's options, the server connection settings, and the statements
// of type refinement, which are gathered after each table and run once.
#pragma once

#include "SQL/dmp_opts.hpp"
#include "SQL/sql_engi.hpp"
#include "UDB/udb_db.hpp"
#include "common/type_map.hpp"

#include <memory>
#include <string>
#include <vector>

class udb_profile;

class mysql_converter_impl {
public:
    mysql_converter_impl();
    virtual ~mysql_converter_impl();

    // The server settings and dump options of a profile. The host and the
    // password are always taken, empty when the profile has none.
    bool load_profile(udb_profile& profile);
    bool store_profile(udb_profile& profile) const;

    // Stores the settings without blanks at their ends; an empty port is
    // "3306". The password is never logged.
    void store_mysql_settings(const std::string& host, const std::string& user, const std::string& password,
                              const std::string& port);
    // The port must read as a number from 1 to 65535 ("Invalid port number").
    void connect_mysql_server();
    bool is_mysql_base_exist(const std::wstring& name);
    void del_mysql_base(const std::wstring& name);
    // Opens an existing server database with the open flags, or creates one.
    std::unique_ptr<udb_database> open_mysql_base(const std::wstring& name, uint32_t flags);
    std::unique_ptr<udb_database> create_mysql_base(const std::wstring& name);
    // A level-1 tk_exception when the server would refuse the database name.
    void check_mysql_db_name(const std::wstring& name);

    // Store an ALTER TABLE ... MODIFY for every column whose values call for
    // another type than the declared one; schema: the destination's. Columns
    // marked in `kept` (by position) keep the type the user chose for them.
    void date_post_process(const udb_schema& schema, const dates_map& map, const std::vector<bool>& kept);
    void num_post_process(const udb_schema& schema, const num_map& map, const std::vector<bool>& kept);
    // Runs the stored statements against the destination and forgets them;
    // a statement that fails is only logged.
    void mysql_refine_types(udb_database& destination);

    sql_engine engine;
    dump_options dump_opts;
    std::vector<std::wstring> refine_queries;
    std::string host;
    std::string user;
    std::string pswd;
    std::string port = "3306";

private:
    void store_modify(const std::wstring& table, const udb_schema& schema, const types_map::entry& e,
                      const wchar_t* type, int assertion_line);
};
