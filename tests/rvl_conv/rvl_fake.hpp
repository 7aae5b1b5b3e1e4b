// Stand-ins for a conversion's source and destination, so the record loop,
// the widening and refinement can be watched statement by statement.
#pragma once

#include "UDB/udb_db.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_errt.hpp"
#include "rvl_conv/rvl_hook.hpp"

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Rows of text, one field per column.
class fake_source : public udb_recordset {
public:
    fake_source(const std::vector<std::wstring>& columns, std::vector<std::vector<std::wstring>> rows_)
        : udb_recordset(L"src"), rows(std::move(rows_))
    {
        for (const std::wstring& c : columns)
            schema.push_back(std::make_shared<t_ftd>(255, c, VT_BSTR, false, false, ole_variant(), 0, L""));
    }
    void append_record(const udb_record&) override {}
    bool is_eof() override { return at >= rows.size(); }
    void next() override { ++at; }
    udb_record* get_item() override
    {
        current.reset();
        for (size_t i = 0; i < rows[at].size(); ++i)
            current.push_back(std::make_unique<udb_field>(schema[i]->name, 255, ole_variant(rows[at][i]), false, false));
        return &current;
    }

private:
    std::vector<std::vector<std::wstring>> rows;
    size_t at = 0;
    udb_record current;
};

// Keeps the first field of each appended record; `fail` may throw instead.
class fake_table : public udb_recordset {
public:
    fake_table(const std::wstring& name, const udb_schema& columns) : udb_recordset(name) { schema = columns; }
    void append_record(const udb_record& record) override
    {
        if (fail)
            fail(record);
        appended.push_back(record[0]->to_wstring());
    }
    std::vector<std::wstring> appended;
    std::function<void(const udb_record&)> fail;
};

// Records every statement; knows the tables it is told of.
class fake_database : public udb_database {
public:
    fake_database() : udb_database(L"db", 0, false) {}
    std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                const udb_indexes&) override
    {
        tables.push_back(name);
        return std::make_unique<fake_table>(name, schema);
    }
    std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&, uint32_t) override
    {
        return nullptr;
    }
    std::unique_ptr<udb_recordset> get_table(const std::wstring&, uint32_t) override { return nullptr; }
    std::unique_ptr<udb_recordset> query(const std::wstring& statement) override
    {
        if (statement.find(L"refuse") != std::wstring::npos)
            throw tk_exception("refused", 0);
        statements.push_back(statement);
        return nullptr;
    }
    bool test_query(const std::wstring&) override { return false; }
    std::vector<std::wstring> statements;
};

class recording_hooks : public converter_hooks {
public:
    void progress_line(const std::wstring& line) override { lines.push_back(line); }
    void sheet_not_found(const std::wstring& name) override { lines.push_back(L"missing " + name); }
    void notice(const std::wstring& line) override { lines.push_back(L"notice " + line); }
    void start_timer() override { ++timers; }
    void report_std_exception(const std::exception& e) override
    {
        lines.push_back(L"std " + std::wstring(e.what(), e.what() + std::strlen(e.what())));
    }
    std::vector<std::wstring> lines;
    int timers = 0;
};

// Remembers each report with the context it had.
class recording_handler : public error_handler {
public:
    recording_handler() : error_handler(mysql_err_map_size, mysql_err_map) {}
    void handle(const tk_exception& e, bool no_abort) override
    {
        reports.push_back(make_message(e) + (no_abort ? " [no abort]" : ""));
    }
    std::vector<std::string> reports;
};
