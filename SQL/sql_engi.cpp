#include "SQL/sql_engi.hpp"

#include "SQL/sql_vali.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"

#include <cstdio>
#include <mutex>

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

template <size_t N>
const std::vector<std::wstring>& fill_once(std::vector<std::wstring>& list, const wchar_t* const (&builtin)[N])
{
    std::lock_guard<std::mutex> lock(catalogue_mutex);
    if (list.empty()) {
        tk_logger::log(1, "MySQL is NOT connected");
        list.assign(std::begin(builtin), std::end(builtin));
    }
    return list;
}

} // namespace

sql_engine::sql_engine()
{
    initialize();
}

sql_engine::~sql_engine()
{
    tk_logger::log(2, "sql_engine::dtor");
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
    tk_logger::log(1, "sql_engine::initialize - END");
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
    return fill_once(list, builtin_charsets);
}

const std::vector<std::wstring>& sql_engine::get_storage_engines()
{
    tk_logger::log(2, "sql_engine::get_storage_engines");
    static std::vector<std::wstring> list;
    return fill_once(list, builtin_engines);
}

std::wstring sql_engine::get_safe_name(const std::wstring& name)
{
    tk_logger::wlog(1, L"sql_engine::get_safe_name(%s)", name.c_str());
    if (name.empty() || is_quoted(name)) {
        tk_logger::log(1, "Preserve the original name");
        return name;
    }
    const std::wstring kept = name.size() > 64 ? name.substr(0, 63) : name;
    // A backquote inside an identifier is written twice, or it would end it.
    std::wstring result = L"`";
    for (wchar_t c : kept) {
        result += c;
        if (c == L'`')
            result += c;
    }
    result += L'`';
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
