// Validators of MySQL identifiers. From server 4.1.0 on (sql_new_*) an
// identifier is quoted and may hold almost any character: only a few that
// would break the statements are refused (eight for fields and indexes,
// fourteen for tables and databases). Older servers (sql_old_*) take letters,
// digits, '_' and '$' only and refuse their reserved words. Each validator is
// seeded with the names already taken, so the names it makes are unique.
#pragma once

#include "UDB/udb_vali.hpp"

#include <string>
#include <vector>

class udb_record;
class udb_schema;
class udb_indexes;

// A name of the server's catalogue as a statement may hold it bare (a storage
// engine, a character set): ASCII letters, digits and '_' only, not empty.
bool sql_is_plain_name(const std::wstring& name);
// A name an old server takes without quotes: letters, digits, '_' and '$',
// not digits alone.
bool sql_is_bare_identifier(const std::wstring& name);

class sql_new_validator : public udb_validator {
public:
    // all_chars: refuse all fourteen characters (tables, databases), else
    // the first eight (fields, indexes).
    explicit sql_new_validator(bool all_chars);
    bool is_acceptable(const std::wstring& name) const override;
    std::wstring get_safe_name(const std::wstring& name) override;
};

class sql_new_fn_validator : public sql_new_validator {
public:
    explicit sql_new_fn_validator(const udb_record& record);
    explicit sql_new_fn_validator(const udb_schema& schema);
};

class sql_new_in_validator : public sql_new_validator {
public:
    explicit sql_new_in_validator(const udb_indexes& indexes);
};

class sql_new_tn_validator : public sql_new_validator {
public:
    sql_new_tn_validator(const std::vector<std::wstring>& names1, const std::vector<std::wstring>& names2);
    // A name whose file name the file system cannot hold is refused too.
    bool is_acceptable(const std::wstring& name) const override;

protected:
    size_t stored_length(const std::wstring& name, size_t suffix) const override;
};

class sql_old_validator : public udb_validator {
public:
    sql_old_validator();
    bool is_acceptable(const std::wstring& name) const override;
    std::wstring get_safe_name(const std::wstring& name) override;
};

class sql_old_dn_validator : public sql_old_validator {
public:
    sql_old_dn_validator();
    // Database names may not begin with a digit either.
    bool is_acceptable(const std::wstring& name) const override;
};

class sql_old_fn_validator : public sql_old_validator {
public:
    explicit sql_old_fn_validator(const udb_record& record);
    explicit sql_old_fn_validator(const udb_schema& schema);
};

class sql_old_in_validator : public sql_old_validator {
public:
    explicit sql_old_in_validator(const udb_indexes& indexes);
};

class sql_old_tn_validator : public sql_old_validator {
public:
    sql_old_tn_validator(const std::vector<std::wstring>& names1, const std::vector<std::wstring>& names2);
    // A name whose file name the file system cannot hold is refused too.
    bool is_acceptable(const std::wstring& name) const override;

protected:
    size_t stored_length(const std::wstring& name, size_t suffix) const override;
};
