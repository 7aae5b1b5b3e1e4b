// Shared by the dump writer's tests: tables and rows in a few lines, the
// engine a dump needs, a dump file in a temporary folder, and the mariadb
// command-line client that loads a dump into the test server.
#pragma once

#include "SQL/dmp_recs.hpp"
#include "SQL/sql_dump.hpp"
#include "SQL/sql_engi.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_rec.hpp"
#include "server_env.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct dmp_col {
    std::wstring name;
    VARTYPE vt;
    uint32_t size;
    uint32_t reserved = 0;  // 1 makes a date column DATETIME
};

inline udb_schema dmp_schema(std::initializer_list<dmp_col> columns)
{
    udb_schema schema;
    for (const dmp_col& c : columns)
        schema.push_back(std::make_shared<t_ftd>(c.size, c.name, c.vt, false, false, ole_variant(), c.reserved, L""));
    return schema;
}

inline udb_index dmp_index(const std::wstring& name, std::vector<std::wstring> fields, bool primary = false,
                           bool unique = false)
{
    udb_index index;
    index.name = name;
    index.fields = std::move(fields);
    index.primary = primary;
    index.unique = unique || primary;
    return index;
}

// One field per given value, named after the schema's columns in order; an
// empty variant is a NULL.
inline udb_record dmp_record(const udb_schema& schema, const std::vector<ole_variant>& values)
{
    udb_record record;
    for (size_t i = 0; i < values.size(); ++i)
        record.push_back(std::make_unique<udb_field>(schema[i]->name, schema[i]->size, values[i], false, false));
    return record;
}

inline ole_variant dmp_bytes(const std::string& bytes)
{
    return ole_variant(std::vector<unsigned char>(bytes.begin(), bytes.end()));
}

inline std::string dmp_hex(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 0x0F];
    }
    return hex;
}

inline size_t dmp_count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

// A dump without its creation date line: two dumps of one run compare equal.
inline std::string dmp_without_date(const std::string& dump)
{
    std::string kept;
    std::istringstream in(dump);
    for (std::string line; std::getline(in, line);)
        if (!line.starts_with("# Creation date"))
            kept += line + "\n";
    return kept;
}

// The current folder for a test's scope, so a dump named by a relative path
// shows the same name in its header on every machine.
class dmp_chdir {
public:
    explicit dmp_chdir(const std::filesystem::path& to) : saved(std::filesystem::current_path())
    {
        std::filesystem::current_path(to);
    }
    ~dmp_chdir()
    {
        std::error_code ec;
        std::filesystem::current_path(saved, ec);
    }

private:
    std::filesystem::path saved;
};

// Two tables as a conversion writes them: three rows of hard text, a NULL
// and a date into the first, one row into the second, then an index.
inline void dmp_write_scenario(const std::string& path, const dump_options& options)
{
    dmp_database db(tk_to_unicode(path), options);
    {
        const udb_schema sales = dmp_schema({{L"id", VT_I4, 4}, {L"name", VT_BSTR, 40}, {L"price", VT_R8, 8},
                                             {L"sold", VT_DATE, 8, 1}});
        udb_indexes indexes;
        indexes.push_back(dmp_index(L"PRIMARY", {L"id"}, true));
        const auto rs = db.create_table(L"sales", sales, indexes);
        const ole_variant date(ole_date(std::string("2024-02-29 13:45:06")));
        rs->append_record(dmp_record(sales, {1, L"O'Neil \\ Co", 2.5, date}));
        rs->append_record(dmp_record(sales, {2, L"\u6f22\u5b57", ole_variant(), ole_variant()}));
        rs->append_record(dmp_record(sales, {3, L"", -0.001, date}));
    }
    {
        const udb_schema notes = dmp_schema({{L"note id", VT_I4, 4}, {L"text", VT_BSTR, 0}});
        const auto rs = db.create_table(L"notes", notes, udb_indexes());
        rs->append_record(dmp_record(notes, {1, L"line1\r\nline2\ttab"}));
    }
    db.create_index(L"notes", L"", dmp_index(L"ix_note", {L"note id"}, false, true));
    db.close();
}

// Loads a dump with the mariadb client as a user would: no --force, so the
// first failing statement ends the load with a non-zero exit code. Returns
// the exit code; output receives what the client printed.
inline int dmp_load(const std::string& dump, const std::string& database, std::string& output)
{
    const auto s = test_server_settings();
    if (!s)
        return -1;
    const std::string log = dump + ".load.txt";
    const std::string command = "mariadb --no-defaults -h" + s->host + " -P" + std::to_string(s->port) + " -u" +
                                s->user + " -p" + s->password + " " + database + " < '" + dump + "' > '" + log +
                                "' 2>&1";
    const int status = std::system(command.c_str());
    output = test_dir::read(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
