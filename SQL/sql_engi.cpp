#include "SQL/sql_engi.hpp"

#include "SQL/sql_db.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_optf.hpp"
#include "SQL/sql_recs.hpp"
#include "SQL/sql_vali.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_case.hpp"

#include <errmsg.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sys/socket.h>

namespace {

const char option_group[] = "BV MySQL Lib";
const unsigned connect_timeout = 10;  // seconds

const wchar_t* const builtin_charsets[] = {
    L"big5 - Big5 Traditional Chinese", L"dec8 - DEC West European", L"cp850 - DOS West European",
    L"hp8 - HP West European", L"koi8r - KOI8-R Relcom Russian", L"latin1 - cp1252 West European",
    L"latin2 - ISO 8859-2 Central European", L"swe7 - 7bit Swedish", L"ascii - US ASCII",
    L"ujis - EUC-JP Japanese", L"sjis - Shift-JIS Japanese", L"hebrew - ISO 8859-8 Hebrew",
    L"tis620 - TIS620 Thai", L"euckr - EUC-KR Korean", L"koi8u - KOI8-U Ukrainian",
    L"gb2312 - GB2312 Simplified Chinese", L"greek - ISO 8859-7 Greek", L"cp1250 - Windows Central European",
    L"gbk - GBK Simplified Chinese", L"latin5 - ISO 8859-9 Turkish", L"armscii8 - ARMSCII-8 Armenian",
    L"utf8 - UTF-8 Unicode", L"utf8mb4 - UTF-8 Unicode", L"ucs2 - UCS-2 Unicode", L"cp866 - DOS Russian",
    L"keybcs2 - DOS Kamenicky Czech-Slovak", L"macce - Mac Central European", L"macroman - Mac West European",
    L"cp852 - DOS Central European", L"latin7 - ISO 8859-13 Baltic", L"cp1251 - Windows Cyrillic",
    L"cp1256 - Windows Arabic", L"cp1257 - Windows Baltic", L"binary - Binary pseudo charset",
    L"geostd8 - GEOSTD8 Georgian", L"cp932 - SJIS for Windows Japanese", L"eucjpms - UJIS for Windows Japanese",
};

const wchar_t* const builtin_engines[] = {
    L"MyISAM", L"MEMORY",  L"InnoDB", L"BerkeleyDB", L"BLACKHOLE",  L"EXAMPLE",
    L"ARCHIVE", L"CSV",    L"ndbcluster", L"FEDERATED", L"MRG_MYISAM", L"ISAM",
};

const wchar_t* const type_names[] = {
    L"BINARY",   L"BIT",      L"TINYINT",   L"TINYINT UNSIGNED", L"SMALLINT", L"SMALLINT UNSIGNED",
    L"INT",      L"INT UNSIGNED", L"BIGINT", L"BIGINT UNSIGNED", L"FLOAT",   L"DECIMAL",
    L"DOUBLE",   L"CHAR",     L"VARBINARY", L"VARCHAR",  L"DATETIME", L"DATE",
    L"TIME",     L"TIMESTAMP", L"LONGBLOB", L"TINYBLOB", L"BLOB",     L"MEDIUMBLOB",
    L"TEXT",     L"LONGTEXT", L"MEDIUMTEXT", L"TINYTEXT",
};

// The catalogue lists are shared by the settings pages (window thread) and the
// run; once filled they never change.
std::mutex catalogue_mutex;

// Already a backquoted identifier: enclosed in backquotes, with every inner
// backquote doubled. A name that merely begins with one is quoted like any other.
bool is_quoted(const std::wstring& name)
{
    if (name.size() < 2 || name.front() != L'`' || name.back() != L'`')
        return false;
    for (size_t i = 1; i + 1 < name.size(); ++i) {
        if (name[i] != L'`')
            continue;
        if (i + 2 >= name.size() || name[i + 1] != L'`')
            return false;
        ++i;
    }
    return true;
}

const uint32_t wait_timeout_floor = 28800;  // seconds

} // namespace

sql_engine::sql_engine()
{
    initialize();
}

sql_engine::~sql_engine()
{
    tk_logger::log(2, "sql_engine::dtor");
    // Nothing is sent that would wait for an answer: the session's settings
    // end with it, and after a stop no watchdog bounds a wait here.
    forget_connection();
    mysql_close(&handle);
    tk_logger::log(2, "sql_engine::dtor - END");
}

void sql_engine::initialize()
{
    tk_logger::log(1, "sql_engine::initialize");
    mysql_init(&handle);
    tk_logger::log(1, "sql_engine::initialize - 1");
    mysql_options(&handle, MYSQL_READ_DEFAULT_GROUP, option_group);
    tk_logger::log(1, "sql_engine::initialize - 2");
    mysql_options(&handle, MYSQL_OPT_CONNECT_TIMEOUT, &connect_timeout);
    const sql_client_timeouts timeouts = sql_read_timeouts(option_group);
    mysql_options(&handle, MYSQL_OPT_READ_TIMEOUT, &timeouts.read);
    mysql_options(&handle, MYSQL_OPT_WRITE_TIMEOUT, &timeouts.write);
    tk_logger::log(2, "read timeout %d s, write timeout %d s", static_cast<int>(timeouts.read),
                   static_cast<int>(timeouts.write));
    tk_logger::log(1, "sql_engine::initialize - END");
}

namespace {

// The refusal of a connection. The client's words name the host alone: the
// port and what to look at come with them.
sql_exception connect_failure(MYSQL* handle, int port)
{
    const unsigned number = mysql_errno(handle);
    std::string text = mysql_error(handle);
    if (number == CR_CONNECTION_ERROR || number == CR_CONN_HOST_ERROR)
        text += " (port " + std::to_string(port) + "). Is the server running there, and is that its port?";
    return sql_exception(text, number);
}

} // namespace

void sql_engine::connect(const std::string& host, const std::string& user, const std::string& password, int port)
{
    tk_logger::log(2, "sql_engine::connect(%s,%s,%s,%d)", host.c_str(), user.c_str(),
                   password.empty() ? "" : "*****", port);
    if (port < 1 || port > 65535)
        throw tk_exception("Invalid port number", 1);
    wait_async();
    if (connected) {
        tk_logger::log(2, "Connection was established already - disconnecting first...");
        forget_connection();
        mysql_close(&handle);
        initialize();
        connected = false;
    }
    tk_logger::log(3, "Connecting to MySQL server...");
    // No password given: the client library takes the one of its option
    // files ([BV MySQL Lib]), so that it need not be on the command line.
    if (mysql_real_connect(&handle, host.c_str(), user.c_str(), password.empty() ? nullptr : password.c_str(), nullptr,
                           static_cast<unsigned>(port), nullptr, CLIENT_REMEMBER_OPTIONS) == nullptr) {
        const sql_exception refusal = connect_failure(&handle, port);
        // A handle whose connection failed is prepared anew for the next try.
        mysql_close(&handle);
        initialize();
        throw refusal;
    }
    connected = true;
    {
        std::lock_guard<std::mutex> held(line_lock);
        line = connection_line{host, user, password, static_cast<unsigned>(port), mysql_thread_id(&handle)};
    }
    live_socket = static_cast<int>(mysql_get_socket(&handle));
    set_up_session(password);
}

void sql_engine::forget_connection()
{
    std::lock_guard<std::mutex> held(line_lock);
    line.reset();
    live_socket = -1;
}

void sql_engine::interrupt_statement()
{
    if (live_socket.load() < 0 || kill_query())
        return;
    tk_logger::log(3, "The server did not end the statement: the connection is shut down");
    std::lock_guard<std::mutex> held(line_lock);
    if (const int socket = live_socket.load(); socket >= 0)
        ::shutdown(socket, SHUT_RDWR);
}

bool sql_engine::kill_query()
{
    connection_line to;
    {
        std::lock_guard<std::mutex> held(line_lock);
        if (!line)
            return false;
        to = *line;
    }
    MYSQL other;
    mysql_init(&other);
    mysql_options(&other, MYSQL_READ_DEFAULT_GROUP, option_group);
    // A server that stopped answering must not hold the stop up.
    const unsigned bound = 1;
    mysql_options(&other, MYSQL_OPT_CONNECT_TIMEOUT, &bound);
    mysql_options(&other, MYSQL_OPT_READ_TIMEOUT, &bound);
    mysql_options(&other, MYSQL_OPT_WRITE_TIMEOUT, &bound);
    const std::string statement = "KILL QUERY " + std::to_string(to.id);
    const bool done = mysql_real_connect(&other, to.host.c_str(), to.user.c_str(),
                                         to.password.empty() ? nullptr : to.password.c_str(), nullptr, to.port,
                                         nullptr, 0) != nullptr &&
                      mysql_real_query(&other, statement.data(), statement.size()) == 0;
    if (!done)
        tk_logger::log(2, "%s: %s", statement.c_str(), mysql_error(&other));
    mysql_close(&other);
    return done;
}

void sql_engine::set_up_session(const std::string& password)
{
    // The version decides the character set of the session, so it comes first.
    const char* version_text = mysql_get_server_info(&handle);
    const bool has_version = version_text != nullptr && *version_text != '\0';
    if (has_version)
        set_server_version(parse_version(version_text));
    tk_logger::log(2, "Setting UTF-8 collation...");
    try {
        execute(utf8mb4_available ? "SET NAMES utf8mb4" : "SET NAMES UTF8");
    } catch (const tk_exception& e) {
        tk_logger::log(3, "Failed to set UTF-8 collation");
        tk_logger::log(2, "Cannot set UTF-8 collation: %s", e.what());
    }
    tk_logger::log(2, "Setting wait_timeout...");
    try {
        execute("set session wait_timeout=cast(if(@@session.wait_timeout < " + std::to_string(wait_timeout_floor) +
                "," + std::to_string(wait_timeout_floor) + ",@@session.wait_timeout) as unsigned);");
    } catch (const tk_exception& e) {
        tk_logger::log(3, "Failed to set wait_timeout");
        tk_logger::log(2, "Cannot set wait_timeout: %s", e.what());
    }
    if (!has_version)
        return;
    if (server_version == sql_version_4_1_0 && !password.empty())
        throw sql_auth_not_supported_exception();
    // Every value the server changes is reported, so each warning of a
    // gathered statement must be listed, not only the first 64.
    execute_logged("SET SESSION max_error_count = 65535", "Cannot list every warning: %s");
    // Values are escaped with backslashes: a server that took them as plain
    // characters would end a literal at an escaped quote.
    execute_logged(no_backslash_escapes_off, "Cannot keep backslash escapes: %s");
    read_innodb_page_size();
    read_name_rule();
}

void sql_engine::read_name_rule()
{
    names_folded = true;
    try {
        std::unique_ptr<sql_tmp_recordset> rows = select("SELECT @@lower_case_table_names");
        for (; !rows->is_eof(); rows->next())
            names_folded = rows->get_item()->at(0)->to_string() != "0";
    } catch (const tk_exception& e) {
        tk_logger::log(2, "Cannot read lower_case_table_names: %s", e.what());
    }
    tk_logger::log(2, "table names folded=%d", names_folded ? 1 : 0);
}

void sql_engine::read_innodb_page_size()
{
    innodb_page_size = default_innodb_page_size;
    try {
        // A server without InnoDB has no such variable: its tables meet no page.
        std::unique_ptr<sql_tmp_recordset> rows = select("SELECT @@innodb_page_size");
        for (; !rows->is_eof(); rows->next())
            if (const unsigned long bytes = std::strtoul(rows->get_item()->at(0)->to_string().c_str(), nullptr, 10);
                bytes != 0)
                innodb_page_size = static_cast<uint32_t>(bytes);
    } catch (const tk_exception& e) {
        tk_logger::log(2, "Cannot read innodb_page_size: %s", e.what());
    }
    tk_logger::log(2, "innodb_page_size=%u", innodb_page_size);
}

void sql_engine::send_async(const std::string& utf8)
{
    wait_async();
    if (mysql_send_query(&handle, utf8.data(), utf8.size()) != 0) {
        async_refusal = async_failure{mysql_error(&handle), mysql_errno(&handle)};
        return;
    }
    in_flight = true;
}

void sql_engine::wait_async()
{
    if (!in_flight)
        return;
    in_flight = false;
    if (mysql_read_query_result(&handle) != 0) {
        async_refusal = async_failure{mysql_error(&handle), mysql_errno(&handle)};
        return;
    }
    if (MYSQL_RES* result = mysql_use_result(&handle))
        mysql_free_result(result);
    async_warnings = read_warnings();
}

std::optional<sql_engine::async_failure> sql_engine::take_async_failure()
{
    wait_async();
    std::optional<async_failure> taken;
    taken.swap(async_refusal);
    return taken;
}

sql_engine::warnings sql_engine::take_async_warnings()
{
    wait_async();
    warnings taken;
    std::swap(taken, async_warnings);
    return taken;
}

sql_engine::warnings sql_engine::read_warnings()
{
    warnings found;
    found.total = mysql_warning_count(&handle);
    if (found.total == 0)
        return found;
    try {
        for (std::unique_ptr<sql_tmp_recordset> rows = select("SHOW WARNINGS"); !rows->is_eof(); rows->next()) {
            const udb_record& row = *rows->get_item();
            found.listed.push_back({static_cast<unsigned>(std::strtoul(row.at(1)->to_string().c_str(), nullptr, 10)),
                                    row.at(2)->to_string()});
        }
    } catch (const tk_exception& e) {
        found.listed.push_back({0, std::string("the server's warnings could not be read: ") + e.what()});
    }
    return found;
}

void sql_engine::execute(const std::string& utf8)
{
    wait_async();
    if (mysql_real_query(&handle, utf8.data(), utf8.size()) != 0)
        sql_raise_last_error();
    if (MYSQL_RES* result = mysql_use_result(&handle))
        mysql_free_result(result);
}

void sql_engine::execute_logged(const char* statement, const char* failure_format)
{
    try {
        execute(statement);
    } catch (const tk_exception& e) {
        tk_logger::log(2, failure_format, e.what());
    }
}

std::unique_ptr<sql_tmp_recordset> sql_engine::select(const std::string& utf8)
{
    wait_async();
    if (mysql_real_query(&handle, utf8.data(), utf8.size()) != 0)
        sql_raise_last_error();
    MYSQL_RES* result = mysql_use_result(&handle);
    if (result == nullptr)
        sql_raise_last_error();
    return std::make_unique<sql_tmp_recordset>(result);
}

std::wstring sql_engine::dialect_name(const std::wstring& name) const
{
    return is_old_version() ? old_dialect_name(name) : udb_backquoted(name);
}

std::wstring sql_engine::old_dialect_name(const std::wstring& name)
{
    return sql_is_bare_identifier(name) ? name : udb_backquoted(name);
}

std::unique_ptr<udb_database> sql_engine::create_db(const std::wstring& name)
{
    tk_logger::wlog(2, L"sql_engine::create_db (%s)", name.c_str());
    refuse_system_schema(name);
    tk_logger::wlog(3, L"Creating MySQL database '%s'", name.c_str());
    const std::wstring statement = L"CREATE DATABASE " + dialect_name(name) + L" character set " + get_char_set();
    tk_logger::wlog(2, L"Run SQL-query: %s", statement.c_str());
    execute(tk_to_utf8(statement));
    return open_db(name, 2, std::wstring());
}

std::unique_ptr<udb_database> sql_engine::open_db(const std::wstring& name, uint32_t mode, const std::wstring&)
{
    tk_logger::wlog(2, L"sql_engine::open_db (%s)", name.c_str());
    tk_logger::wlog(3, L"Opening MySQL database '%s'", name.c_str());
    wait_async();
    if (mysql_select_db(&handle, tk_to_utf8(udb_identifier_text(name)).c_str()) != 0)
        sql_raise_last_error();
    return std::make_unique<sql_database>(name, &handle, mode);
}

bool sql_engine::is_system_schema(const std::wstring& name)
{
    for (const wchar_t* schema : {L"mysql", L"information_schema", L"performance_schema", L"sys"})
        if (platform::equal_no_case(name, schema))
            return true;
    return false;
}

void sql_engine::refuse_system_schema(const std::wstring& name)
{
    if (is_system_schema(name))
        throw tk_exception(L"The database '" + name +
                               L"' belongs to the MySQL server itself and is never written, dropped or created."
                               L"\nChoose another destination database.",
                           1);
}

void sql_engine::db_delete(const std::wstring& name)
{
    tk_logger::wlog(2, L"sql_engine::db_delete(%s)", name.c_str());
    refuse_system_schema(name);
    tk_logger::wlog(3, L"Deleting MySQL database '%s'", name.c_str());
    execute_logged("SET FOREIGN_KEY_CHECKS = 0", "Cannot turn off foreign key check: %s");
    execute(tk_to_utf8(L"DROP DATABASE " + dialect_name(name)));
    execute_logged("SET FOREIGN_KEY_CHECKS = 1", "Cannot turn on foreign key check: %s");
}

bool sql_engine::is_db_exist(const std::wstring& name)
{
    tk_logger::wlog(1, L"sql_engine::is_db_exist(%s)", name.c_str());
    wait_async();
    const int result = mysql_select_db(&handle, tk_to_utf8(udb_identifier_text(name)).c_str());
    tk_logger::log(1, "n_result=%d", result);
    return result == 0;
}

uint32_t sql_engine::get_max_allowed_packet()
{
    tk_logger::log(1, "sql_engine::get_max_allowed_packet");
    if (max_packet_size != 0 || !connected)
        return max_packet_size;
    std::unique_ptr<sql_tmp_recordset> rows = select("SHOW VARIABLES LIKE 'max_allowed_packet'");
    // A reply without a row leaves the size unknown.
    if (!rows->is_eof()) {
        const udb_record& row = *rows->get_item();
        max_packet_size = static_cast<uint32_t>(std::strtol(row.at(1)->to_string().c_str(), nullptr, 10));
        while (!rows->is_eof())
            rows->next();
    }
    tk_logger::log(1, "max_packet_size=%d", max_packet_size);
    return max_packet_size;
}

uint32_t sql_engine::parse_version(const char* given)
{
    const char* text = given != nullptr ? given : "";
    tk_logger::log(2, "Got MySQL server version: %s", text);
    int major = 0;
    int minor = 0;
    int patch = 0;
    if (std::sscanf(text, "%d.%d.%d", &major, &minor, &patch) < 3) {
        tk_logger::log(3, "Invalid MySQL version: %s", text);
        throw tk_mail_assertion("sql_engi", 375);
    }
    const uint32_t version = static_cast<uint32_t>(major) << 16 | static_cast<uint32_t>(minor) << 8 |
                             static_cast<uint32_t>(patch);
    tk_logger::log(1, "Hex version: %08X", version);
    return version;
}

void sql_engine::set_server_version(uint32_t version)
{
    server_version = version;
    utf8mb4_available = version >= sql_version_5_5_3;
}

void sql_engine::set_dump_version(bool new_version)
{
    // A new-version dump is loaded into today's servers, which all have utf8mb4.
    server_version = new_version ? sql_dump_new_version : sql_dump_old_version;
    utf8mb4_available = new_version;
    // The server that loads a dump is not known: InnoDB's default page, and
    // names that one run makes unique without regard to case.
    innodb_page_size = default_innodb_page_size;
    names_folded = true;
}

bool sql_engine::is_old_version() const
{
    tk_logger::log(1, "is_old_version(%08X)", server_version);
    return server_version < sql_version_4_1_0;
}

std::wstring sql_engine::get_char_set() const
{
    if (!char_set.empty())
        return char_set;
    return utf8mb4_available ? L"utf8mb4" : L"utf8";
}

void sql_engine::set_blob_to_text(bool on)
{
    tk_logger::log(2, "sql_engine::set_blob_to_text(%d)", on ? 1 : 0);
    blob_to_text = on;
}

const std::vector<std::wstring>& sql_engine::get_charsets()
{
    tk_logger::log(2, "sql_engine::get_charsets");
    static std::vector<std::wstring> list;
    return fill_once(list, builtin_charsets, "SHOW CHARACTER SET", true);
}

const std::vector<std::wstring>& sql_engine::get_storage_engines()
{
    tk_logger::log(2, "sql_engine::get_storage_engines");
    static std::vector<std::wstring> list;
    return fill_once(list, builtin_engines, "SHOW ENGINES", false);
}

// The server's catalogue when connected (an entry per row: the first column,
// with " - " and the second when two_columns), else the built-in list. A
// server that gives no reply leaves the list empty, so the next call asks
// again.
template <size_t N>
const std::vector<std::wstring>& sql_engine::fill_once(std::vector<std::wstring>& list,
                                                       const wchar_t* const (&builtin)[N], const char* statement,
                                                       bool two_columns)
{
    std::lock_guard<std::mutex> lock(catalogue_mutex);
    if (!list.empty())
        return list;
    if (!connected) {
        tk_logger::log(1, "MySQL is NOT connected");
        list.assign(std::begin(builtin), std::end(builtin));
        return list;
    }
    tk_logger::log(1, "MySQL is connected");
    std::unique_ptr<sql_tmp_recordset> rows;
    try {
        rows = select(statement);
    } catch (const tk_exception& e) {
        tk_logger::log(2, "%s: %s", statement, e.what());
        return list;
    }
    for (; !rows->is_eof(); rows->next()) {
        const udb_record& row = *rows->get_item();
        std::wstring entry = row.at(0)->to_wstring();
        if (two_columns)
            entry += L" - " + row.at(1)->to_wstring();
        // SHOW ENGINES: Support is NO or DISABLED for an engine the server
        // cannot create a table with.
        else if (row.size() > 1 && (platform::equal_no_case(row.at(1)->to_wstring(), L"NO") ||
                                    platform::equal_no_case(row.at(1)->to_wstring(), L"DISABLED")))
            continue;
        tk_logger::wlog(2, L"name=%s", entry.c_str());
        list.push_back(entry);
    }
    return list;
}

std::wstring sql_engine::get_safe_name(const std::wstring& name)
{
    tk_logger::wlog(1, L"sql_engine::get_safe_name(%s)", name.c_str());
    if (name.empty()) {
        tk_logger::log(1, "Preserve the original name");
        return name;
    }
    if (is_quoted(name)) {
        tk_logger::log(1, "Preserve the original name");
        // Quoted again from its inside, so that what it holds is made safe too.
        std::wstring inside = name.substr(1, name.size() - 2);
        tk_wstring::replace_all(inside, L"``", L"`");
        return udb_backquoted(inside);
    }
    const std::wstring result = udb_backquoted(name.size() > 64 ? name.substr(0, 63) : name);
    tk_logger::wlog(1, L"Returns [%s]", result.c_str());
    return result;
}

namespace {

// One family of validators or the other by the version; the seed is passed on.
template <class New, class Old, class... Seed>
std::unique_ptr<udb_validator> make_validator(bool old_version, const Seed&... seed)
{
    if (old_version)
        return std::make_unique<Old>(seed...);
    return std::make_unique<New>(seed...);
}

} // namespace

std::unique_ptr<udb_validator> sql_engine::create_tn_validator(const std::vector<std::wstring>& names1,
                                                               const std::vector<std::wstring>& names2) const
{
    tk_logger::log(1, "sql_engine::create_tn_validator");
    return make_validator<sql_new_tn_validator, sql_old_tn_validator>(is_old_version(), names1, names2);
}

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_record& record) const
{
    tk_logger::log(1, "sql_engine::create_fn_validator( const udb_record& )");
    return make_validator<sql_new_fn_validator, sql_old_fn_validator>(is_old_version(), record);
}

std::unique_ptr<udb_validator> sql_engine::create_fn_validator(const udb_schema& schema) const
{
    tk_logger::log(1, "sql_engine::create_fn_validator( const udb_schema& )");
    return make_validator<sql_new_fn_validator, sql_old_fn_validator>(is_old_version(), schema);
}

std::unique_ptr<udb_validator> sql_engine::create_in_validator(const udb_indexes& indexes) const
{
    tk_logger::log(1, "sql_engine::create_in_validator");
    return make_validator<sql_new_in_validator, sql_old_in_validator>(is_old_version(), indexes);
}

std::wstring sql_engine::get_mysql_type_name(int code)
{
    if (code >= 0 && code < static_cast<int>(std::size(type_names)))
        return type_names[code];
    tk_logger::log(1, "Type %d wasn't found", code);
    return L"<Unknown type>";
}
