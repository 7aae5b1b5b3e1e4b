// The DAO-like object model over the workbook readers, driven as the
// workbook side drives it: through interfaces, HRESULTs and the engine's
// Errors collection.
#include "platform/dao/pl_daoco.hpp"
#include "platform/dao/pl_daoim.hpp"
#include "platform/dao/pl_daosq.hpp"
#include "platform/text/pl_utf8.hpp"
#include "dao_com.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using platform::from_utf8;
using platform::to_utf8;

using dao_test::bstr;
using dao_test::com;

namespace {

std::string fixture(const std::string& name) { return std::string(RVL_WORKBOOKS) + "/" + name; }

// Texts joined by appending (a literal added to a temporary string trips a
// false warning of the compiler in optimised builds).
std::string cat(std::initializer_list<std::string_view> parts)
{
    std::string out;
    for (std::string_view p : parts)
        out += p;
    return out;
}

struct variant {
    VARIANT v{};
    variant() = default;
    explicit variant(int index) { v.vt = VT_UI2; v.uiVal = static_cast<uint16_t>(index); }
    explicit variant(const std::wstring& text)
    {
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
    }
    static variant boolean(bool b)
    {
        variant out;
        out.v.vt = VT_BOOL;
        out.v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        return out;
    }
    variant(variant&& that) : v(that.v) { that.v = VARIANT{}; }
    ~variant() { VariantClear(&v); }
};

// A value as a short text: NULL, T/F, numbers, D<date>, $<currency>, 'text'.
std::string show(const VARIANT& v)
{
    char n[40];
    switch (v.vt) {
    case VT_NULL: return "NULL";
    case VT_EMPTY: return "EMPTY";
    case VT_BOOL: return v.boolVal == VARIANT_TRUE ? "T" : "F";
    case VT_BSTR: return cat({"'", to_utf8(bstr_view(v.bstrVal)), "'"});
    case VT_DATE: return cat({"D", platform::dao::format_ole_date(v.date)});
    case VT_CY: std::snprintf(n, sizeof n, "$%.15g", double(v.cyVal.int64) / 10000); return n;
    case VT_R8: std::snprintf(n, sizeof n, "%.15g", v.dblVal); return n;
    case VT_I4: return std::to_string(v.lVal);
    default: return "vt" + std::to_string(v.vt);
    }
}

// The engine's one error after a failure, as "number: description".
std::string last_error(DAODBEngine* engine)
{
    com<DAOErrors> errors;
    com<DAOError> error;
    int16_t count = 0;
    int32_t number = 0;
    bstr text;
    if (FAILED(engine->get_Errors(errors.out())) || FAILED(errors->get_Count(&count)) || count != 1 ||
        FAILED(errors->get_Item(variant(0).v, error.out())) || FAILED(error->get_Number(&number)) ||
        FAILED(error->get_Description(&text.b)))
        return "no single error";
    return std::to_string(number) + ": " + text.text();
}

struct session {
    com<DAODBEngine> engine;
    com<DAODatabase> db;

    session() { EXPECT_EQ(CoCreateInstance(CLSID_DAODBEngine120, nullptr, CLSCTX_ALL, IID_DAODBEngine,
                                           reinterpret_cast<void**>(engine.out())), S_OK); }
    HRESULT open(const std::string& path, const std::wstring& connect = L"Excel 8.0;")
    {
        variant c(connect);
        return engine->OpenDatabase(bstr_from(path).b, variant::boolean(false).v, variant::boolean(true).v, c.v, db.out());
    }
    static bstr bstr_from(const std::string& s)
    {
        const std::wstring w = from_utf8(s);
        return bstr{SysAllocStringLen(w.data(), static_cast<uint32_t>(w.size()))};
    }
    std::string error() { return last_error(engine.get()); }

    std::vector<std::string> tables()
    {
        com<DAOTableDefs> defs;
        int16_t count = -1;
        std::vector<std::string> names;
        EXPECT_EQ(db->get_TableDefs(defs.out()), S_OK);
        EXPECT_EQ(defs->get_Count(&count), S_OK);
        for (int i = 0; i < count; ++i) {
            com<_DAOTableDef> def;
            bstr name;
            EXPECT_EQ(defs->get_Item(variant(i).v, def.out()), S_OK);
            EXPECT_EQ(def->get_Name(&name.b), S_OK);
            names.push_back(name.text());
        }
        return names;
    }
    HRESULT query(const std::wstring& sql, com<DAORecordset>& rs, int32_t options = 4)
    {
        com<_DAOQueryDef> q;
        const HRESULT hr = db->CreateQueryDef(variant(L"").v, variant(sql).v, q.out());
        if (FAILED(hr))
            return hr;
        variant type, opts;
        type.v.vt = VT_I2;
        type.v.iVal = dbOpenDynaset;
        opts.v.vt = VT_I4;
        opts.v.lVal = options;
        return q->OpenRecordset(type.v, opts.v, rs.out());
    }
};

// "Name:type" of each field.
std::string show_fields(DAOFields* fields)
{
    int16_t count = 0;
    std::string out;
    EXPECT_EQ(fields->get_Count(&count), S_OK);
    for (int i = 0; i < count; ++i) {
        com<_DAOField> f;
        bstr name;
        int16_t type = 0;
        EXPECT_EQ(fields->get_Item(variant(i).v, f.out()), S_OK);
        EXPECT_EQ(f->get_Name(&name.b), S_OK);
        EXPECT_EQ(f->get_Type(&type), S_OK);
        out += cat({i ? "," : "", name.text(), ":", std::to_string(type)});
    }
    return out;
}

// The rows of a recordset, read forward as the workbook side reads them.
std::vector<std::string> read_rows(DAORecordset* rs, size_t most = SIZE_MAX)
{
    std::vector<std::string> rows;
    VARIANT_BOOL eof = VARIANT_FALSE;
    while (rows.size() < most && SUCCEEDED(rs->get_EOF(&eof)) && eof != VARIANT_TRUE) {
        com<DAOFields> fields;
        int16_t count = 0;
        EXPECT_EQ(rs->get_Fields(fields.out()), S_OK);
        EXPECT_EQ(fields->get_Count(&count), S_OK);
        std::string row;
        for (int i = 0; i < count; ++i) {
            com<_DAOField> f;
            variant value;
            EXPECT_EQ(fields->get_Item(variant(i).v, f.out()), S_OK);
            EXPECT_EQ(f->get_Value(&value.v), S_OK);
            row += cat({i ? "|" : "", show(value.v)});
        }
        rows.push_back(row);
        EXPECT_EQ(rs->MoveNext(), S_OK);
    }
    return rows;
}

struct table_case {
    std::string file;
    std::wstring connect;
    std::wstring table;
    std::string fields;
    int32_t record_count;
    std::vector<std::string> first_rows;
};

const std::string long_x = cat({"'", std::string(300, 'x'), "'"});

const table_case tables[] = {
    {"openpyxl.xlsx", L"Excel 12.0 Xml;", L"Types$",
     "Flag:1,When:8,Amount:7,Price:5,Name:10,Mixed:10,Notes:12,Blank:10,Name1:10,F10:7,Time:22,DateNum:10", 3,
     {"T|D2024-03-01 10:30:00|1|$9.99|'alpha'|'1'|" + long_x + "|NULL|'a'|1|D12:00:00|'2024-01-01'",
      "F|D1900-01-15|2.5|$1000|'b\xC3\xA9ta'|'two'|'short'|NULL|'b'|2|D06:30:15|'5'",
      "T|NULL|-3|NULL|'\xE6\x97\xA5\xE6\x9C\xAC'|'TRUE'|NULL|NULL|'c'|3|NULL|NULL"}},
    {"openpyxl.xlsx", L"Excel 12.0 Xml; HDR=No; IMEX=1;", L"Hidden$", "F1:10", 2, {"'only'", "'42'"}},
    {"openpyxl.xlsx", L"Excel 12.0;", L"Empty$", "F1:10", 0, {}},
    {"openpyxl.xlsx", L"Excel 12.0;", L"Offset$", "Key:7,Val:7", 197, {"1|10", "2|NULL", "NULL|NULL"}},
    {"openpyxl_1904.xlsx", L"Excel 12.0;", L"Mac$", "Day:8,At:22", 2,
     {"D2024-03-01|D18:00:00", "D1904-01-02|D00:00:01"}},
    {"sheetjs.xlsx", L"Excel 8.0;", L"'Other sheet$'", "Second:10", 1, {"'s'"}},
    {"sheetjs_biff5.xls", L"Excel 5.0;", L"Data$", "Num:7,Text:10,Flag:1,When:8,Calc:10,Check:1", 2,
     {"1|'caf_'|T|D2024-03-01|'3'|T", "2.5|'x'|F|D1999-12-31|'xx'|NULL"}},
    {"sheetjs_biff8.xls", L"Excel 8.0;", L"Data$", "Num:7,Text:10,Flag:1,When:8,Calc:10,Check:1", 2,
     {"1|'caf\xC3\xA9'|T|D2024-03-01|'3'|T", "2.5|'x'|F|D1999-12-31|'xx'|NULL"}},
    {"xlwt.xls", L"Excel 8.0;", L"Types$", "Flag:1,When:8,Amount:7,Price:5,Name:10,Mixed:10,Notes:12,Int:7", 3,
     {"T|D2024-03-01|1.5|$9.99|'alpha'|'1'|" + long_x + "|7", "F|D1999-12-31|-2.25|$1000|'b\xC3\xA9ta'|'two'|NULL|123456",
      "T|NULL|1e+100|NULL|'\xE6\x97\xA5\xE6\x9C\xAC'|NULL|NULL|-8"}},
    {"xlwt.xls", L"Excel 8.0;", L"Many$", "Word:10", 1500, {"'word 0001 \xC3\xA9\xC3\xA8 z'"}},
    {"xlwt_1904.xls", L"excel 8.0;hdr=yes", L"Mac$", "Day:8", 1, {"D2024-03-01"}},
    {"handmade_prefixed.xlsx", L"Excel 12.0 Xml;", L"Cells$", "Plain:10,Rich :10,Inline:10,1:8,2:7,3:22,4:5", 3,
     {"'a\rb_x0041_c'|'\xF0\x9F\x98\x80'|'inAline'|D2024-03-01 18:00:00|2.5|'36:00:00'|$12.5",
      "NULL|NULL|NULL|NULL|NULL|NULL|NULL", "NULL|NULL|'2024-03-01 06:00:00'|NULL|2|NULL|NULL"}},
    {"handmade_strict.xlsx", L"Excel 12.0 Xml;", L"Strict$", "Day:8,N:7", 2, {"D1904-01-01|1000", "D2024-03-01|-0.5"}},
    {"handmade_biff8.xls", L"Excel 8.0;", L"'Hidden one$'", "1.25:10", 0, {}},
    {"handmade_biff8_big.xls", L"Excel 8.0;", L"Cells$", "Plain:10,Label:10,Rich:10,Num:7,When:8,Money:5,Flag:1,Calc:7,Text:10", 2,
     {"'R\xC3\xA9sum\xC3\xA9'|'Split\xC3\xBC" "ber\xE4\xB8\xAD'|'\xD0\x96\xD1\x83\xD0\xBA'|12.34|D2024-03-01|$1000|T|2.5|'formul'",
      "NULL|NULL|NULL|-7.5|NULL|$3.5|F|NULL|NULL"}},
    {"handmade_biff5.xls", L"Excel 5.0;", L"\x41B\x438\x441\x442$", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82:10,Date:8", 2,
     {"'abc'|D1904-01-02", "'\xD1\x8F\xD0\xB7'|D1905-01-01 12:00:00"}},
};

} // namespace

TEST(DaoLayer, WorksheetsAreTablesInTabOrderQuotedWhenNeeded)
{
    struct book { std::string file; std::vector<std::string> names; };
    const book books[] = {
        {"openpyxl.xlsx", {"Types$", "Hidden$", "Empty$", "Offset$"}},
        {"sheetjs.xlsx", {"Data$", "'Other sheet$'"}},
        {"handmade_biff8.xls", {"Cells$", "'Hidden one$'"}},
        {"handmade_biff5.xls", {"\xD0\x9B\xD0\xB8\xD1\x81\xD1\x82$"}},
        {"xlwt.xls", {"Types$", "Hidden$", "Many$"}},
    };
    for (const book& b : books) {
        SCOPED_TRACE(b.file);
        session s;
        ASSERT_EQ(s.open(fixture(b.file)), S_OK) << s.error();
        EXPECT_EQ(s.tables(), b.names);
    }
    const std::pair<std::wstring, std::wstring> names[] = {
        {L"Sheet1", L"Sheet1$"}, {L"_x_1", L"_x_1$"}, {L"\x41B\x438\x441\x442", L"\x41B\x438\x441\x442$"},
        {L"My Sheet", L"'My Sheet$'"}, {L"2024", L"'2024$'"}, {L"a-b", L"'a-b$'"}, {L"Q1.x", L"'Q1.x$'"},
    };
    for (const auto& [sheet, table] : names)
        EXPECT_EQ(platform::dao::dao_table_name(sheet), table);
}

TEST(DaoLayer, TablesReadThroughQueriesWithTypesValuesAndNulls)
{
    for (const table_case& t : tables) {
        SCOPED_TRACE(t.file + " " + to_utf8(t.table));
        session s;
        ASSERT_EQ(s.open(fixture(t.file), t.connect), S_OK) << s.error();
        com<DAOTableDefs> defs;
        com<_DAOTableDef> def;
        com<DAOFields> def_fields;
        int32_t count = -1;
        ASSERT_EQ(s.db->get_TableDefs(defs.out()), S_OK);
        ASSERT_EQ(defs->get_Item(variant(t.table).v, def.out()), S_OK) << s.error();
        ASSERT_EQ(def->get_RecordCount(&count), S_OK);
        EXPECT_EQ(count, t.record_count);
        ASSERT_EQ(def->get_Fields(def_fields.out()), S_OK);
        EXPECT_EQ(show_fields(def_fields.get()), t.fields);

        com<DAORecordset> rs;
        ASSERT_EQ(s.query(L"SELECT * FROM [" + t.table + L"]", rs), S_OK) << s.error();
        com<DAOFields> fields;
        ASSERT_EQ(rs->get_Fields(fields.out()), S_OK);
        EXPECT_EQ(show_fields(fields.get()), t.fields);
        const std::vector<std::string> rows = read_rows(rs.get());
        EXPECT_EQ(rows.size(), size_t(t.record_count));
        for (size_t r = 0; r < t.first_rows.size() && r < rows.size(); ++r)
            EXPECT_EQ(rows[r], t.first_rows[r]) << "row " << r;
    }
}

// Every table of every fixture, both header settings: each value has the
// type its field names, or is NULL, and the rows are as many as counted.
TEST(DaoLayer, EveryFixtureReadsWhole)
{
    size_t books = 0;
    for (const auto& e : std::filesystem::directory_iterator(RVL_WORKBOOKS)) {
        const std::string name = e.path().filename().string();
        if (!e.is_regular_file() || name.starts_with("encrypted") ||
            (e.path().extension() != ".xls" && e.path().extension() != ".xlsx"))
            continue;
        ++books;
        for (const wchar_t* connect : {L"Excel 8.0;", L"Excel 8.0; HDR=No;"}) {
            SCOPED_TRACE(name + " " + to_utf8(connect));
            session s;
            ASSERT_EQ(s.open(e.path().string(), connect), S_OK) << s.error();
            for (const std::string& table : s.tables()) {
                com<DAORecordset> rs;
                com<DAOFields> fields;
                ASSERT_EQ(s.query(L"select * from [" + from_utf8(table) + L"];", rs), S_OK) << s.error();
                ASSERT_EQ(rs->get_Fields(fields.out()), S_OK);
                int16_t n = 0;
                fields->get_Count(&n);
                std::vector<VARTYPE> types;
                std::vector<bool> times;  // a time column's durations past a day come as texts
                for (int i = 0; i < n; ++i) {
                    com<_DAOField> f;
                    int16_t type = 0;
                    fields->get_Item(variant(i).v, f.out());
                    f->get_Type(&type);
                    const VARTYPE vt = type == dbBoolean ? VT_BOOL : type == dbDate || type == dbTime ? VT_DATE : type == dbDouble ? VT_R8
                                     : type == dbCurrency ? VT_CY : VT_BSTR;
                    EXPECT_TRUE(vt != VT_BSTR || type == dbText || type == dbMemo) << type;
                    types.push_back(vt);
                    times.push_back(type == dbTime);
                }
                size_t rows = 0;
                VARIANT_BOOL eof = VARIANT_FALSE;
                for (; SUCCEEDED(rs->get_EOF(&eof)) && eof != VARIANT_TRUE; ++rows, rs->MoveNext())
                    for (int i = 0; i < n; ++i) {
                        variant value;
                        ASSERT_EQ(rs->get_Collect(variant(i).v, &value.v), S_OK);
                        ASSERT_TRUE(value.v.vt == VT_NULL || value.v.vt == types[size_t(i)] ||
                                    (times[size_t(i)] && value.v.vt == VT_BSTR)) << table << " " << i;
                    }
                com<_DAOQueryDef> count_query;
                com<DAORecordset> counted;
                variant total;
                ASSERT_EQ(s.query(L"select count(*) from (SELECT * FROM [" + from_utf8(table) + L"])", counted), S_OK);
                ASSERT_EQ(counted->get_Collect(variant(L"Expr1000").v, &total.v), S_OK);
                EXPECT_EQ(show(total.v), std::to_string(rows)) << table;
            }
        }
    }
    EXPECT_EQ(books, 36u);
}

TEST(DaoLayer, FailuresGiveOneErrorAndTheNumberInTheResult)
{
    struct fail_case { std::string path; std::wstring connect; int32_t number; std::string text; };
    const fail_case cases[] = {
        {fixture("no_such.xlsx"), L"Excel 12.0;", 3024, "no_such.xlsx"},
        {fixture("bad"), L"Excel 8.0;", 3051, "bad"},
        {fixture("encrypted.xlsx"), L"Excel 12.0;", 3161, "encrypted.xlsx"},
        {fixture("encrypted_biff8.xls"), L"Excel 8.0;", 3161, "encrypted_biff8.xls"},
        {fixture("bad/truncated.xlsx"), L"Excel 12.0;", 3274, "External table is not in the expected format."},
        {fixture("bad/not_a_workbook.xls"), L"Excel 8.0;", 3274, "not_a_workbook.xls"},
        {fixture("openpyxl.xlsx"), L"", 3049, "is not a database this engine reads"},
        {fixture("openpyxl.xlsx"), L";pwd=secret", 3049, "openpyxl.xlsx"},
        {fixture("openpyxl.xlsx"), L"Paradox 3.x;", 3170, "No driver here reads sources of that type."},
        {fixture("openpyxl.xlsx"), L"Excel 9.0;", 3170, "No driver here reads"},
        {fixture("openpyxl.xlsx"), L"Excel 8.0; HDR=Maybe;", 3001, "An argument is missing or of the wrong kind."},
    };
    for (const fail_case& c : cases) {
        SCOPED_TRACE(c.path + " " + to_utf8(c.connect));
        session s;
        EXPECT_EQ(s.open(c.path, c.connect), static_cast<HRESULT>(0x800A0000u | uint32_t(c.number)));
        EXPECT_EQ(s.db.get(), nullptr);
        const std::string error = s.error();
        EXPECT_EQ(error.rfind(std::to_string(c.number) + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.text), std::string::npos) << error;
    }
}

TEST(DaoLayer, DamagedSheetFailsWhenItIsRead)
{
    // Every damaged file fails with 3274 at the latest when its sheets are read.
    for (const auto& e : std::filesystem::directory_iterator(fixture("bad"))) {
        SCOPED_TRACE(e.path().string());
        session s;
        HRESULT hr = s.open(e.path().string());
        for (const std::string& table : hr == S_OK ? s.tables() : std::vector<std::string>()) {
            com<DAORecordset> rs;
            if (FAILED(hr = s.query(L"SELECT * FROM [" + from_utf8(table) + L"]", rs)))
                break;
        }
        EXPECT_EQ(hr, static_cast<HRESULT>(0x800A0CCAu));
        EXPECT_EQ(s.error().rfind("3274: External table is not in the expected format.", 0), 0u) << s.error();
    }
}

TEST(DaoLayer, OnlyTheTwoSelectFormsAreStatements)
{
    struct sql_case { std::wstring sql; int32_t error; std::wstring table; bool count; };
    const sql_case cases[] = {
        {L"SELECT * FROM [Types$]", 0, L"Types$", false},
        {L"  select\t*\nfrom [ 'My Sheet$' ] ; ", 0, L" 'My Sheet$' ", false},
        {L"select count(*) from (SELECT * FROM [Types$])", 0, L"Types$", true},
        {L"SELECT COUNT ( * ) FROM(SELECT*FROM[a])", 0, L"a", true},
        {L"SELECT a FROM [Types$]", 3141, L"", false},
        {L"SELECT * FROM Types$", 3141, L"", false},
        {L"SELECT * FROM []", 3141, L"", false},
        {L"SELECT * FROM [Types$] WHERE 1", 3141, L"", false},
        {L"SELECT * FROMX [Types$]", 3141, L"", false},
        {L"select count(*) from [Types$]", 3141, L"", false},
        {L"SELECTED * FROM [Types$]", 3129, L"", false},
        {L"DELETE FROM [Types$]", 3129, L"", false},
        {L"", 3129, L"", false},
    };
    for (const sql_case& c : cases) {
        SCOPED_TRACE(to_utf8(c.sql));
        platform::dao::dao_select select;
        EXPECT_EQ(platform::dao::dao_parse_select(c.sql, select), c.error);
        if (c.error == 0) {
            EXPECT_EQ(select.table, c.table);
            EXPECT_EQ(select.count, c.count);
        }
    }
    session s;
    ASSERT_EQ(s.open(fixture("sheetjs.xlsx")), S_OK);
    com<DAORecordset> rs;
    EXPECT_EQ(s.query(L"UPDATE [Data$] SET a=1", rs), static_cast<HRESULT>(0x800A0C39u));
    EXPECT_EQ(s.error().substr(0, 6), "3129: ");
    EXPECT_EQ(s.query(L"SELECT Num FROM [Data$]", rs), static_cast<HRESULT>(0x800A0C45u));
    EXPECT_EQ(s.query(L"SELECT * FROM [Nothing$]", rs), static_cast<HRESULT>(0x800A0C06u));
    EXPECT_NE(s.error().find("3078: The workbook has no table or query 'Nothing$'"), std::string::npos);
    // Table names match without regard to case, quoted names with or without their quotes.
    for (const wchar_t* name : {L"data$", L"'Other sheet$'", L"other SHEET$"}) {
        EXPECT_EQ(s.query(L"SELECT * FROM [" + std::wstring(name) + L"]", rs), S_OK) << to_utf8(name);
        EXPECT_EQ(read_rows(rs.get()).size(), name[0] == L'd' ? 2u : 1u);
    }
    // Saved queries cannot be made in a workbook.
    com<_DAOQueryDef> q;
    EXPECT_EQ(s.db->CreateQueryDef(variant(L"saved").v, variant(L"SELECT * FROM [Data$]").v, q.out()),
              static_cast<HRESULT>(0x800A0CB3u));
    EXPECT_EQ(q.get(), nullptr);
    ASSERT_EQ(s.db->CreateQueryDef(variant(L"").v, variant(L"SELECT * FROM [Data$]").v, q.out()), S_OK);
    bstr sql, name;
    EXPECT_EQ(q->get_SQL(&sql.b), S_OK);
    EXPECT_EQ(q->get_Name(&name.b), S_OK);
    EXPECT_EQ(sql.text(), "SELECT * FROM [Data$]");
    EXPECT_EQ(name.text(), "");
    com<DAOFields> fields;
    ASSERT_EQ(q->get_Fields(fields.out()), S_OK);
    EXPECT_EQ(show_fields(fields.get()), "Num:7,Text:10,Flag:1,When:8,Calc:10,Check:1");
}

TEST(DaoLayer, RecordsetNavigationAndCurrentRecord)
{
    session s;
    ASSERT_EQ(s.open(fixture("sheetjs.xlsx")), S_OK);
    com<DAORecordset> rs;
    ASSERT_EQ(s.query(L"SELECT * FROM [Data$]", rs), S_OK);
    VARIANT_BOOL eof = 0, bof = 0;
    variant value;
    const HRESULT no_current = static_cast<HRESULT>(0x800A0BCDu);
    EXPECT_EQ(rs->get_BOF(&bof), S_OK);
    EXPECT_EQ(bof, VARIANT_FALSE);
    EXPECT_EQ(rs->get_Collect(variant(L"text").v, &value.v), S_OK);
    EXPECT_EQ(show(value.v), "'caf\xC3\xA9'");
    com<DAOFields> fields;
    com<_DAOField> num;
    ASSERT_EQ(rs->get_Fields(fields.out()), S_OK);
    ASSERT_EQ(fields->get_Item(variant(L"NUM").v, num.out()), S_OK);
    // A field reads the recordset's current row.
    EXPECT_EQ(rs->MoveNext(), S_OK);
    EXPECT_EQ(num->get_Value(&value.v), S_OK);
    EXPECT_EQ(show(value.v), "2.5");
    EXPECT_EQ(rs->MoveNext(), S_OK);
    EXPECT_EQ(rs->get_EOF(&eof), S_OK);
    EXPECT_EQ(eof, VARIANT_TRUE);
    EXPECT_EQ(num->get_Value(&value.v), no_current);
    EXPECT_EQ(value.v.vt, VT_EMPTY);
    EXPECT_EQ(rs->MoveNext(), no_current);
    EXPECT_EQ(s.error(), "3021: The recordset stands on no row.");
    EXPECT_EQ(rs->MovePrevious(), S_OK);
    EXPECT_EQ(rs->MovePrevious(), S_OK);
    EXPECT_EQ(rs->MovePrevious(), S_OK);
    EXPECT_EQ(rs->get_BOF(&bof), S_OK);
    EXPECT_EQ(bof, VARIANT_TRUE);
    EXPECT_EQ(rs->MovePrevious(), no_current);
    EXPECT_EQ(rs->MoveFirst(), S_OK);
    EXPECT_EQ(num->get_Value(&value.v), S_OK);
    EXPECT_EQ(show(value.v), "1");
    // Items: a zero-based index of any integer type, or a name.
    com<_DAOField> f;
    EXPECT_EQ(fields->get_Item(variant(6).v, f.out()), static_cast<HRESULT>(0x800A0CC1u));
    EXPECT_EQ(f.get(), nullptr);
    EXPECT_EQ(s.error(), "3265: The collection has no such item.");
    variant as_long;
    as_long.v.vt = VT_I4;
    as_long.v.lVal = 5;
    EXPECT_EQ(fields->get_Item(as_long.v, f.out()), S_OK);
    bstr name;
    f->get_Name(&name.b);
    EXPECT_EQ(name.text(), "Check");
    EXPECT_EQ(rs->Close(), S_OK);
    const HRESULT closed = static_cast<HRESULT>(0x800A0D5Cu);
    EXPECT_EQ(rs->get_EOF(&eof), closed);
    EXPECT_EQ(num->get_Value(&value.v), closed);
    EXPECT_EQ(rs->Close(), closed);
}

TEST(DaoLayer, EmptyAndAppendOnlyRecordsetsShowNoRow)
{
    session s;
    ASSERT_EQ(s.open(fixture("openpyxl.xlsx")), S_OK);
    for (const auto& [sql, options] : {std::pair{L"SELECT * FROM [Empty$]", 4}, std::pair{L"SELECT * FROM [Types$]", 8}}) {
        com<DAORecordset> rs;
        ASSERT_EQ(s.query(sql, rs, options), S_OK);
        VARIANT_BOOL eof = 0, bof = 0;
        EXPECT_EQ(rs->get_EOF(&eof), S_OK);
        EXPECT_EQ(rs->get_BOF(&bof), S_OK);
        EXPECT_EQ(eof, VARIANT_TRUE);
        EXPECT_EQ(bof, VARIANT_TRUE);
        EXPECT_EQ(rs->MoveFirst(), static_cast<HRESULT>(0x800A0BCDu));
        EXPECT_EQ(rs->AddNew(), static_cast<HRESULT>(0x800A0CB3u));
    }
}

TEST(DaoLayer, TableDefinitionFieldsHaveNoValue)
{
    session s;
    ASSERT_EQ(s.open(fixture("xlwt.xls")), S_OK);
    com<DAOTableDefs> defs;
    com<_DAOTableDef> def;
    com<DAOFields> fields;
    ASSERT_EQ(s.db->get_TableDefs(defs.out()), S_OK);
    ASSERT_EQ(defs->get_Item(variant(L"TYPES$").v, def.out()), S_OK);
    int32_t attributes = -1;
    EXPECT_EQ(def->get_Attributes(&attributes), S_OK);
    EXPECT_EQ(attributes, 0);
    ASSERT_EQ(def->get_Fields(fields.out()), S_OK);
    struct field_case { int index; int16_t type; int32_t size, attributes; };
    const field_case cases[] = {{0, dbBoolean, 1, dbFixedField}, {1, dbDate, 8, dbFixedField}, {2, dbDouble, 8, dbFixedField},
                                {3, dbCurrency, 8, dbFixedField}, {4, dbText, 255, dbVariableField}, {6, dbMemo, 0, dbVariableField}};
    for (const field_case& c : cases) {
        SCOPED_TRACE(c.index);
        com<_DAOField> f;
        ASSERT_EQ(fields->get_Item(variant(c.index).v, f.out()), S_OK);
        int16_t type = 0;
        int32_t size = -1, attr = -1;
        VARIANT_BOOL required = 1;
        variant value, def_value;
        EXPECT_EQ(f->get_Type(&type), S_OK);
        EXPECT_EQ(f->get_Size(&size), S_OK);
        EXPECT_EQ(f->get_Attributes(&attr), S_OK);
        EXPECT_EQ(f->get_Required(&required), S_OK);
        EXPECT_EQ(f->get_DefaultValue(&def_value.v), S_OK);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(attr, c.attributes);
        EXPECT_EQ(required, VARIANT_FALSE);
        EXPECT_EQ(show(def_value.v), "''");
        EXPECT_EQ(f->get_Value(&value.v), static_cast<HRESULT>(0x800A0C93u));
        EXPECT_EQ(value.v.vt, VT_EMPTY);
        // Properties by name: what a column has, and "not found" for the rest.
        com<DAOProperties> props;
        com<DAOProperty> prop;
        ASSERT_EQ(f->get_Properties(props.out()), S_OK);
        ASSERT_EQ(props->get_Item(variant(L"size").v, prop.out()), S_OK);
        EXPECT_EQ(prop->get_Value(&value.v), S_OK);
        EXPECT_EQ(show(value.v), std::to_string(c.size));
        for (const wchar_t* missing : {L"Description", L"Format"}) {
            EXPECT_EQ(props->get_Item(variant(missing).v, prop.out()), static_cast<HRESULT>(0x800A0CC6u));
            EXPECT_EQ(s.error(), "3270: The object has no property of that name.");
        }
        EXPECT_EQ(f->put_Required(VARIANT_TRUE), static_cast<HRESULT>(0x800A0CB3u));
    }
    com<DAOIndexes> indexes;
    int16_t count = -1;
    ASSERT_EQ(def->get_Indexes(indexes.out()), S_OK);
    EXPECT_EQ(indexes->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);
}

TEST(DaoLayer, WritingAndSavedObjectsAreRefused)
{
    session s;
    ASSERT_EQ(s.open(fixture("sheetjs.xlsx")), S_OK);
    const HRESULT refused = static_cast<HRESULT>(0x800A0CB3u);
    com<_DAOTableDef> new_def;
    com<_DAORelation> relation;
    com<DAOTableDefs> defs;
    com<DAOQueryDefs> queries;
    com<DAORelations> relations;
    variant none;
    EXPECT_EQ(s.db->CreateTableDef(none.v, none.v, none.v, none.v, new_def.out()), refused);
    EXPECT_EQ(s.db->CreateRelation(none.v, none.v, none.v, none.v, relation.out()), refused);
    ASSERT_EQ(s.db->get_TableDefs(defs.out()), S_OK);
    EXPECT_EQ(defs->Delete(nullptr), refused);
    ASSERT_EQ(s.db->get_Relations(relations.out()), S_OK);
    EXPECT_EQ(relations->Append(nullptr), refused);
    ASSERT_EQ(s.db->get_QueryDefs(queries.out()), S_OK);
    int16_t count = -1;
    EXPECT_EQ(queries->get_Count(&count), S_OK);
    EXPECT_EQ(count, 0);
    com<DAODatabase> other;
    EXPECT_EQ(s.engine->CreateDatabase(nullptr, nullptr, none.v, other.out()), static_cast<HRESULT>(0x800A0BEFu));
    EXPECT_EQ(other.get(), nullptr);
    EXPECT_EQ(s.db->Close(), S_OK);
    EXPECT_EQ(s.db->get_TableDefs(defs.out()), static_cast<HRESULT>(0x800A0D5Cu));
    EXPECT_EQ(defs.get(), nullptr);
}

TEST(DaoLayer, NullOutPointersAreInvalidArguments)
{
    session s;
    ASSERT_EQ(s.open(fixture("sheetjs.xlsx")), S_OK);
    const HRESULT invalid = static_cast<HRESULT>(0x800A0BB9u);
    EXPECT_EQ(s.db->get_TableDefs(nullptr), invalid);
    EXPECT_EQ(s.engine->get_Errors(nullptr), invalid);
    EXPECT_EQ(s.error(), "3001: An argument is missing or of the wrong kind.");
    variant c(L"Excel 8.0;");
    EXPECT_EQ(s.engine->OpenDatabase(session::bstr_from(fixture("sheetjs.xlsx")).b, c.v, c.v, c.v, nullptr), invalid);
}

TEST(DaoLayer, ErrorsBelongToTheirEngineAndKeepTheirText)
{
    session a, b;
    ASSERT_EQ(a.open(fixture("no_such.xlsx")), static_cast<HRESULT>(0x800A0BD0u));
    com<DAOErrors> errors;
    com<DAOError> kept;
    ASSERT_EQ(a.engine->get_Errors(errors.out()), S_OK);
    ASSERT_EQ(errors->get_Item(variant(0).v, kept.out()), S_OK);
    EXPECT_EQ(b.error(), "no single error");  // the other engine saw nothing
    // A success leaves the list; the next failure replaces it.
    ASSERT_EQ(a.open(fixture("sheetjs.xlsx")), S_OK);
    EXPECT_EQ(a.error().substr(0, 6), "3024: ");
    com<DAORecordset> rs;
    EXPECT_FALSE(SUCCEEDED(a.query(L"SELECT * FROM [x$]", rs)));
    EXPECT_EQ(a.error().substr(0, 6), "3078: ");
    int32_t number = 0;
    EXPECT_EQ(kept->get_Number(&number), S_OK);
    EXPECT_EQ(number, 3024);
}

TEST(DaoLayer, EngineClassesAndInterfaces)
{
    for (const GUID* clsid : {&CLSID_DAODBEngine120, &CLSID_DAODBEngine36}) {
        IUnknown* engine = nullptr;
        ASSERT_EQ(CoCreateInstance(*clsid, nullptr, CLSCTX_ALL, IID_DAODBEngine, reinterpret_cast<void**>(&engine)), S_OK);
        ASSERT_NE(engine, nullptr);
        IUnknown* same = nullptr;
        EXPECT_EQ(engine->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&same)), S_OK);
        EXPECT_EQ(same->Release(), 1u);
        EXPECT_EQ(engine->Release(), 0u);
    }
    void* out = reinterpret_cast<void*>(1);
    const GUID other = {0x00000100, 0x0000, 0x0010, {0x80, 0, 0, 0xAA, 0, 0x6D, 0x2E, 0xA4}};
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_ALL, IID_DAODBEngine, &out), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_DAODBEngine36, nullptr, CLSCTX_ALL, IID_DAOField, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    com<DAODBEngine> outer;
    CoCreateInstance(CLSID_DAODBEngine36, nullptr, CLSCTX_ALL, IID_DAODBEngine, reinterpret_cast<void**>(outer.out()));
    EXPECT_EQ(CoCreateInstance(CLSID_DAODBEngine36, outer.get(), CLSCTX_ALL, IID_DAODBEngine, &out), CLASS_E_NOAGGREGATION);
    platform::dao::set_engine_class_available(CLSID_DAODBEngine120, false);
    EXPECT_EQ(CoCreateInstance(CLSID_DAODBEngine120, nullptr, CLSCTX_ALL, IID_DAODBEngine, &out), REGDB_E_CLASSNOTREG);
    platform::dao::set_engine_class_available(CLSID_DAODBEngine120, true);
    EXPECT_EQ(CoCreateInstance(CLSID_DAODBEngine120, nullptr, CLSCTX_ALL, IID_DAODBEngine, &out), S_OK);
    static_cast<IUnknown*>(out)->Release();
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

// A recordset, its fields and the table definition outlive the database
// and the engine: each holds what it reads.
TEST(DaoLayer, ObjectsOutliveTheirParents)
{
    com<DAORecordset> rs;
    com<DAOFields> fields;
    {
        session s;
        ASSERT_EQ(s.open(fixture("xlwt.xls")), S_OK);
        ASSERT_EQ(s.query(L"SELECT * FROM [Many$]", rs), S_OK);
        ASSERT_EQ(rs->get_Fields(fields.out()), S_OK);
    }
    EXPECT_EQ(read_rows(rs.get()).size(), 1500u);
}
