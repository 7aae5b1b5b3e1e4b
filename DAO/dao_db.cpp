#include "DAO/dao_db.hpp"

#include "DAO/dao_rec.hpp"
#include "DAO/dao_recs.hpp"
#include "DAO/dao_util.hpp"
#include "TK/tk_call.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_rprt.hpp"
#include "TK/tk_utils.hpp"
#include "platform/ole/pl_varnt.hpp"
#include "platform/text/pl_case.hpp"

#include <unicode/uchar.h>

#include <ctime>

namespace {

constexpr int32_t linked_table = 0x40000000;
constexpr int32_t system_object = static_cast<int32_t>(0x80000002u);
constexpr int16_t dynaset = 2;
constexpr int32_t read_only_records = 4;
constexpr int32_t append_only_records = 8;
constexpr int32_t deny_write = 1;

// The recordset options of a mode: read-only with bit 0x01, else append-only.
ole_variant record_options(uint32_t mode)
{
    return ole_variant(static_cast<short>((mode & udb_database::mode_read_only) ? read_only_records
                                                                                 : append_only_records));
}

ole_com_ptr<DAORecordset> open_records(_DAOQueryDef* query, const ole_variant& options)
{
    ole_com_ptr<DAORecordset> records;
    dao_check(query->OpenRecordset(ole_variant(static_cast<short>(dynaset)).get_variant(), options.get_variant(),
                                  records.address()),
              records);
    return records;
}

// The text of a field of a record, as the foreign-key reader takes it.
std::wstring field_text(const udb_record& record, size_t index) { return record[index]->to_wstring(); }

} // namespace

dao_database::dao_database(const std::wstring& name_, DAODatabase* given, uint32_t mode_)
    : udb_database(name_, mode_, false), database(given)
{
    tk_logger::wlog(2, L"dao_database::dao_database( %s, mode=%d )", name_.c_str(), mode_);
    if (given == nullptr)
        throw tk_mail_assertion("dao_db", 59);
    dao_check(database->get_TableDefs(table_defs.address()), table_defs);
    int16_t count = 0;
    dao_call(table_defs->get_Count(&count));
    for (uint16_t i = 0; static_cast<int32_t>(i) < count; ++i) {
        ole_com_ptr<_DAOTableDef> table;
        dao_check(table_defs->get_Item(dao_index(i).get_variant(), table.address()), table);
        dao_bstr table_name;
        dao_call(table->get_Name(table_name.address()));
        int32_t attributes = 0;
        dao_call(table->get_Attributes(&attributes));
        // Whole, zeros included: a worksheet whose name holds one is no other
        // table for being cut short.
        const BSTR listed = table_name;
        const std::wstring text = listed == nullptr ? std::wstring() : std::wstring(listed, SysStringLen(listed));
        if (attributes & linked_table)
            tk_logger::wlog(2, L"Skip linked table '%s'", text.c_str());
        else if (attributes & system_object)
            tk_logger::wlog(2, L"Skip system table '%s'", text.c_str());
        else {
            tk_logger::wlog(2, L"Got table: '%s'", text.c_str());
            tables.push_back(text);
        }
    }
    tk_logger::log(2, "Right before extracting queries/vews");
    if (!(mode & mode_no_views)) {
        try {
            init_views();
        } catch (const dao_exception& e) {
            tk_logger::log(2, "ERROR1:\n%s", e.what());
        }
    }
    tk_logger::log(2, "Right before extracting FKs");
    if (!(mode & (mode_external | mode_no_fkeys))) {
        try {
            init_fkeys();
        } catch (const dao_exception& e) {
            tk_logger::log(3, "ERROR2:\n%s", e.what());
        }
    }
    tk_logger::log(2, "dao_database::ctor - END");
}

dao_database::~dao_database()
{
    tk_logger::log(1, "dao_database::~dao_database");
    if (!database.empty())
        database->Close();
    tk_logger::log(1, "dao_database::~dao_database - END");
    table_defs.release();
    query_defs.release();
    database.release();
}

ole_com_ptr<_DAOQueryDef> dao_database::temporary_query(const std::wstring& sql)
{
    ole_com_ptr<_DAOQueryDef> query;
    dao_check(database->CreateQueryDef(ole_variant(L"").get_variant(), ole_variant(sql).get_variant(),
                                       query.address()),
              query);
    return query;
}

std::unique_ptr<udb_recordset> dao_database::get_table(const std::wstring& table, uint32_t open_mode)
{
    tk_logger::wlog(2, L"dao_database::get_table(%s, %d)", table.c_str(), open_mode);
    if (!is_table_exist(table)) {
        tk_logger::wlog(2, L"Table '%s' does not exists", table.c_str());
        throw tk_exception(L"The workbook has no worksheet '" + table + L"'.", 0);
    }
    const std::wstring sql = L"SELECT * FROM [" + table + L"]";
    if (table_defs.empty())
        throw tk_mail_assertion("dao_db", 308);
    ole_com_ptr<_DAOTableDef> definition;
    dao_check(table_defs->get_Item(ole_variant(table).get_variant(), definition.address()), definition);
    tk_logger::log(1, "Right after tdfs->getItem");
    int32_t attributes = 0;
    dao_call(definition->get_Attributes(&attributes));
    if (attributes & (linked_table | system_object))
        throw tk_exception(L"The table '" + table + L"' is a linked or system table and cannot be read.", 0);
    ole_com_ptr<_DAOQueryDef> query = temporary_query(sql);
    tk_logger::log(1, "Right after src->CreateQueryDef");
    ole_com_ptr<DAORecordset> records = open_records(query.get(), record_options(open_mode));
    return std::make_unique<dao_recordset>(this, table, records.get(), definition.get());
}

std::unique_ptr<udb_recordset> dao_database::get_query(const std::wstring& query_name, const std::wstring& sql,
                                                       uint32_t open_mode)
{
    tk_logger::wlog(2, L"dao_database::get_query(%s, %s, %d)", query_name.c_str(), sql.c_str(), open_mode);
    ole_com_ptr<_DAOQueryDef> query = temporary_query(sql);
    const int32_t count = count_records(sql);
    ole_com_ptr<DAORecordset> records = open_records(query.get(), record_options(open_mode));
    return std::make_unique<dao_recordset>(this, query_name, sql, records.get(), query.get(), count);
}

int32_t dao_database::count_records(const std::wstring& sql)
{
    ole_com_ptr<_DAOQueryDef> query = temporary_query(L"select count(*) from (" + sql + L")");
    ole_com_ptr<DAORecordset> records = open_records(query.get(), ole_variant(read_only_records));
    records->MoveFirst();
    ole_com_ptr<DAOFields> fields;
    records->get_Fields(fields.address());
    ole_com_ptr<_DAOField> first;
    fields->get_Item(ole_variant(0).get_variant(), first.address());
    VARIANT value{};
    dao_call(first->get_Value(&value));
    VARIANT count{};
    const HRESULT hr = VariantChangeType(&count, &value, 0, VT_UI4);
    VariantClear(&value);
    return SUCCEEDED(hr) ? static_cast<int32_t>(count.ulVal) : 0;
}

bool dao_database::test_query(const std::wstring& sql)
{
    tk_logger::wlog(2, L"dao_database::test_query(%s)", sql.c_str());
    try {
        ole_com_ptr<_DAOQueryDef> query;
        if (database.empty() || FAILED(database->CreateQueryDef(ole_variant(L"").get_variant(),
                                                                ole_variant(sql).get_variant(), query.address())) ||
            query.empty())
            return false;
        ole_com_ptr<DAORecordset> records;
        return SUCCEEDED(query->OpenRecordset(ole_variant(static_cast<short>(dynaset)).get_variant(),
                                              ole_variant(deny_write).get_variant(), records.address())) &&
               !records.empty();
    } catch (...) {
        return false;
    }
}

void dao_database::init_views()
{
    tk_logger::log(2, "dao_database::init_views");
    dao_check(database->get_QueryDefs(query_defs.address()), query_defs);
    int16_t count = 0;
    dao_call(query_defs->get_Count(&count));
    tk_logger::log(2, "Got %d queries", count);
    for (uint16_t i = 0; static_cast<int32_t>(i) < count; ++i) {
        ole_com_ptr<_DAOQueryDef> query;
        dao_check(query_defs->get_Item(dao_index(i).get_variant(), query.address()), query);
        dao_bstr query_name, sql;
        dao_call(query->get_Name(query_name.address()));
        tk_logger::wlog(2, L"Got query name: '%s'", query_name.text().c_str());
        dao_call(query->get_SQL(sql.address()));
        tk_logger::wlog(2, L"Got query SQL: '%s'", sql.text().c_str());
        views.emplace_back(query_name.text(), dao_rewrite_view(sql.text()));
    }
}

void dao_database::init_fkeys()
{
    tk_logger::log(2, "dao_database::init_fkeys");
    ole_com_ptr<_DAOQueryDef> query;
    const dao_bstr sql(std::string("SELECT szRelationship, szColumn, szObject, szReferencedObject, szReferencedColumn, "
                                   "grbit FROM MSysRelationships ORDER BY szRelationship"));
    ole_variant sql_text(static_cast<BSTR>(sql));
    dao_check(database->CreateQueryDef(ole_variant(L"").get_variant(), sql_text.get_variant(), query.address()), query);
    ole_com_ptr<DAORecordset> records = open_records(query.get(), ole_variant(read_only_records));
    VARIANT_BOOL eof = VARIANT_FALSE;
    dao_call(records->get_EOF(&eof));
    if (eof == VARIANT_FALSE)
        dao_call(records->MoveFirst());
    dao_fk_rows gathered(relationships);
    while (eof == VARIANT_FALSE) {
        tk_logger::log(1, "Reading next record from MSysRelationships");
        ole_com_ptr<DAOFields> fields;
        dao_check(records->get_Fields(fields.address()), fields);
        const dao_record row(fields.get());
        if (row.size() != 6)
            throw tk_mail_assertion("dao_db", 557);
        gathered.add(field_text(row, 0), field_text(row, 1), field_text(row, 2), field_text(row, 3),
                     field_text(row, 4), row[5]->to_long());
        dao_call(records->MoveNext());
        dao_call(records->get_EOF(&eof));
    }
    gathered.finish();
}

bool dao_database::is_system_table(const std::wstring& table)
{
    for (const wchar_t* name : {L"MSysNavPaneGroups", L"MSysNavPaneGroupCategories", L"MSysNavPaneGroupToObjects"})
        if (platform::equal_no_case(table, name)) {
            tk_logger::wlog(2, L"%s is a system/internal tables", table.c_str());
            return true;
        }
    return false;
}

std::wstring dao_database::gen_ui_name(const std::wstring& table)
{
    tk_logger::wlog(2, L"dao_database::gen_ui_name(%s)", table.c_str());
    const std::wstring base = L"ui_" + table;
    const std::tm local = tk_local_now();
    wchar_t buf[160];
    const size_t length = std::wcsftime(buf, 160, L"%y%m%d%H%M%S", &local);
    tk_logger::wlog(2, L"buf=%s", buf);
    return base.substr(0, 64 - length) + std::wstring(buf, length);
}

std::unique_ptr<dao_database> open_dao_src(dao_engine& engine, const std::wstring& path, const std::wstring& connect,
                                           uint32_t mode)
{
    tk_logger::wlog(2, L"dao_engine::open_dao_src(%s, %s)", path.c_str(), connect.c_str());
    ole_com_ptr<DAODatabase> database = engine.open_database(path, connect, mode);
    return std::make_unique<dao_database>(path, database.get(), mode | udb_database::mode_external);
}

// --- foreign keys --------------------------------------------------------------

void dao_fk_rows::add(const std::wstring& row_name, const std::wstring& column, const std::wstring& row_child,
                      const std::wstring& row_parent, const std::wstring& parent_column, int32_t row_grbit)
{
    if (pending && platform::equal_no_case(row_name, name)) {
        tk_logger::wlog(2, L"'%s' is a multi-column FK", row_name.c_str());
    } else {
        finish();
        pending = true;
        name = row_name;
        grbit = row_grbit;
        child = row_child;
        parent = row_parent;
    }
    columns.push_back(column);
    parent_columns.push_back(parent_column);
    tk_logger::wlog(2, L"rels_name=%s, src=%s.%s, dest=%s.%s, grbit=%08X", row_name.c_str(), row_child.c_str(),
                    column.c_str(), row_parent.c_str(), parent_column.c_str(), grbit);
}

void dao_fk_rows::finish()
{
    if (!pending)
        return;
    pending = false;
    if (!dao_database::is_system_table(child) && !dao_database::is_system_table(parent)) {
        udb_relationship made(child, parent, columns, parent_columns, L"");
        made.name = out.gen_relship_name(made);
        if (grbit & 0x1000)
            made.properties += L" ON DELETE CASCADE";
        if (grbit & 0x100)
            made.properties += L" ON UPDATE CASCADE";
        out.push_back(made);
    }
    columns.clear();
    parent_columns.clear();
}

// --- view rewriting --------------------------------------------------------------

int64_t dao_find_nocase(const std::wstring& text, const std::wstring& pattern, size_t position)
{
    if (pattern.empty())
        return static_cast<int64_t>(position);
    if (pattern.size() > text.size() || position > text.size() - pattern.size())
        return -1;
    const std::wstring_view view(text);
    for (size_t at = position; at + pattern.size() <= text.size(); ++at)
        if (platform::equal_no_case(view.substr(at, pattern.size()), pattern))
            return static_cast<int64_t>(at);
    return -1;
}

namespace {

bool word_end(wchar_t c) { return c == L' ' || c == L'(' || c == L'\t' || c == L'\r' || c == L'\n'; }

template <class Accept> void replace_matches(std::wstring& text, const std::wstring& from, const std::wstring& to,
                                             Accept accept)
{
    for (int64_t p = dao_find_nocase(text, from, 0); p != -1; p = dao_find_nocase(text, from, size_t(p) + 1))
        if (accept(size_t(p)))
            text.replace(size_t(p), from.size(), to);
}

} // namespace

void dao_replace_all(std::wstring& text, const std::wstring& from, const std::wstring& to)
{
    replace_matches(text, from, to, [](size_t) { return true; });
}

void dao_replace_word(std::wstring& text, const std::wstring& from, const std::wstring& to)
{
    replace_matches(text, from, to, [&](size_t p) {
        const bool starts = p == 0 || !u_isalnum(static_cast<UChar32>(text[p - 1]));
        const size_t after = p + from.size();
        return starts && (after == text.size() || word_end(text[after]));
    });
}

void dao_replace_call(std::wstring& text, const std::wstring& from, const std::wstring& to)
{
    replace_matches(text, from, to, [&](size_t p) { return tk_is_call(text, p, from.size()); });
}

std::wstring dao_rewrite_view(std::wstring sql)
{
    static const wchar_t* const functions[][2] = {
        {L"asc", L"ascii"},    {L"chr", L"char"},     {L"clng", L"round"},
        {L"iif", L"if"},       {L"lcase", L"lower"}, {L"left$", L"left"},   {L"len", L"length"},
        {L"mid$", L"mid"},     {L"nz", L"ifnull"},   {L"right$", L"right"}, {L"sqr", L"sqrt"},
        {L"stdev", L"stddev"}, {L"strcomp", L"strcmp"}, {L"ucase", L"upper"},
    };
    dao_replace_all(sql, L"]![", L"].[");
    // ALike is an operator; the others are functions, renamed only where
    // they are called, so "ORDER BY x ASC" keeps its keyword.
    dao_replace_word(sql, L"alike", L"like");
    for (const auto& f : functions)
        dao_replace_call(sql, f[0], f[1]);
    dao_replace_all(sql, L"<>", L"!=");
    dao_replace_all(sql, L"WITH OWNERACCESS OPTION", L"");
    return sql;
}
