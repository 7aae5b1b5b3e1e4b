// The MySQL side of the converter: the one MySQL engine of the process, the
// dump writer's options, the server connection settings, and the statements
// of type refinement, which settle a table's column types before the table
// is created.
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
    // Opens an existing server database with the open flags, or creates one.
    std::unique_ptr<udb_database> open_mysql_base(const std::wstring& name, uint32_t flags);
    std::unique_ptr<udb_database> create_mysql_base(const std::wstring& name);
    // A level-1 tk_exception when the server would refuse the database name.
    void check_mysql_db_name(const std::wstring& name);

    // A column made text after the copy: a number column whose values call
    // for text keeps its type for the copy, so each value becomes the text the
    // server writes for it. A date column whose values call for text (dates
    // with times of day alone) is text from the start: each value is written
    // as the sheet shows it, which the server's text of a date is not.
    struct text_later {
        uint32_t n_field;    // the column's position
        const wchar_t* type;  // the text type
    };

    // Give every column whose values call for another type than the declared
    // one that type; schema: the columns the table is about to be created
    // with, the maps' statistics of all its values. Columns marked in `kept`
    // (by position) keep the type the user chose for them; a column with a
    // default value or numbered automatically keeps its own. The numbers
    // decide last: a column of eight digits is a number, not a date. A
    // number column that is to become text goes to `later`.
    void date_post_process(udb_schema& schema, const dates_map& map, const std::vector<bool>& kept);
    void num_post_process(udb_schema& schema, const num_map& map, const std::vector<bool>& kept,
                          std::vector<text_later>& later);
    // Makes the columns of `later` text in the table as created (its name
    // and columns), by an ALTER TABLE ... MODIFY each; a statement that fails
    // is only logged.
    void mysql_refine_types(udb_database& destination, const std::wstring& table, const udb_schema& columns,
                            const std::vector<text_later>& later);

    sql_engine engine;
    dump_options dump_opts;
    std::string host;
    std::string user;
    std::string pswd;
    std::string port = "3306";
};
