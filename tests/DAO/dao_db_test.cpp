// The workbook database over the committed fixtures: which tables it lists,
// how a worksheet opens as a recordset (schema, rows, values as the rest of
// the system reads them), and what it does with names it does not list.
#include "DAO/dao_db.hpp"
#include "DAO/dao_rec.hpp"
#include "DAO/dao_recs.hpp"
#include "platform/text/pl_utf8.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring fixture(const std::string& name)
{
    return platform::from_utf8(std::string(RVL_WORKBOOKS) + "/" + name);
}

// An engine and one workbook opened as the converter opens it.
struct opened {
    dao_engine engine{false};
    std::unique_ptr<dao_database> book;
    opened(const std::string& file, bool header)
    {
        EXPECT_TRUE(engine.set_version_if(3));
        book = open_dao_src(engine, fixture(file), header ? L"Excel 5.0; IMEX=1;" : L"Excel 5.0; HDR=No; IMEX=1;",
                            udb_database::mode_read_only);
    }
};

// Every row of a recordset as the texts of its fields, "|" between them.
std::vector<std::string> rows_of(udb_recordset& rs)
{
    std::vector<std::string> rows;
    for (; !rs.is_eof(); rs.next()) {
        std::string row;
        for (const auto& f : *rs.get_item())
            row.append(row.empty() ? "" : "|").append(f->to_string());
        rows.push_back(row);
    }
    return rows;
}

std::string columns_of(const udb_recordset& rs)
{
    std::string out;
    for (const auto& c : rs.schema)
        out += (out.empty() ? "" : ",") + platform::to_utf8(c->name) + ":" + std::to_string(c->vartype) + "/" +
               std::to_string(c->size) + "/" + std::to_string(c->reserved);
    return out;
}

TEST(DaoDatabase, ListsWorksheetsAsDaoNamesThem)
{
    struct row {
        std::string file;
        std::vector<std::wstring> tables;
    };
    const row rows[] = {
        {"openpyxl.xlsx", {L"Types$", L"Hidden$", L"Empty$", L"Offset$"}},
        {"sheetjs_biff8.xls", {L"Data$", L"'Other sheet$'"}},
        {"sheetjs_biff5.xls", {L"Data$", L"'Other sheet$'"}},
    };
    for (const row& r : rows) {
        opened o(r.file, true);
        EXPECT_EQ(o.book->get_tables(), r.tables) << r.file;
        EXPECT_EQ(o.book->mode, 0x21u);
        EXPECT_TRUE(o.book->views.empty());
        EXPECT_TRUE(o.book->relationships.empty());
    }
}

TEST(DaoDatabase, WorksheetSchemaAndValues)
{
    opened o("openpyxl.xlsx", true);
    auto rs = o.book->get_table(L"types$", 1);  // any letter case finds the table
    EXPECT_EQ(rs->name, L"types$");
    EXPECT_EQ(columns_of(*rs), "Flag:11/1/0,When:7/8/1,Amount:5/8/0,Price:6/8/0,Name:8/255/0,Mixed:8/255/0,"
                               "Notes:8/0/0,Blank:8/255/0,Name1:8/255/0,F10:5/8/0,Time:7/8/3,DateNum:8/255/0");
    EXPECT_TRUE(rs->indexes.empty());
    const std::string x300(300, 'x');
    EXPECT_EQ(rows_of(*rs),
              (std::vector<std::string>{
                  "1|2024-03-01 10:30:00|1.0000000000000000e+00|9.99|alpha|1|" + x300 +
                      "||a|1.0000000000000000e+00|0000-00-00 12:00:00|2024-01-01",
                  "0|1900-01-15|2.5000000000000000e+00|1000|b\xC3\xA9ta|two|short||b|2.0000000000000000e+00|"
                  "0000-00-00 06:30:15|5",
                  "1||-3.0000000000000000e+00||\xE6\x97\xA5\xE6\x9C\xAC|TRUE|||c|3.0000000000000000e+00||"}));
}

TEST(DaoDatabase, ANameOfTheRightCaseFindsItsOwnWorksheet)
{
    opened o("handmade_cases.xlsx", true);
    EXPECT_EQ(o.book->get_tables(), (std::vector<std::wstring>{L"DATA$", L"Data$", L"'A;b$'"}));
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"Data$", "1.0000000000000000e+00"}, {L"DATA$", "2.0000000000000000e+00"}, {L"data$", "2.0000000000000000e+00"}};
    for (const auto& [name, value] : cases) {
        auto rs = o.book->get_table(name, 1);
        EXPECT_EQ(rows_of(*rs), std::vector<std::string>{value}) << name;
    }
}

TEST(DaoDatabase, EmptyAndErrorCellsAreNullButKeepTheColumnsType)
{
    opened o("sheetjs.xlsx", true);
    auto rs = o.book->get_table(L"Data$", 1);
    rs->next();
    const udb_record& second = *rs->get_item();
    const udb_field& check = *second.back();  // =1/0: an error cell
    EXPECT_EQ(check.name, L"Check");
    EXPECT_EQ(check.get_type(), VT_NULL);
    EXPECT_EQ(check.to_string(), "");

    // Fields of a definition have no value: their type is the column's.
    ole_com_ptr<DAOTableDefs> defs;
    ole_com_ptr<DAODatabase> db = o.engine.open_database(fixture("sheetjs.xlsx"), L"Excel 5.0;", 1);
    ASSERT_TRUE(SUCCEEDED(db->get_TableDefs(defs.address())));
    ole_com_ptr<_DAOTableDef> def;
    ASSERT_TRUE(SUCCEEDED(defs->get_Item(ole_variant(L"Data$").get_variant(), def.address())));
    ole_com_ptr<DAOFields> fields;
    ASSERT_TRUE(SUCCEEDED(def->get_Fields(fields.address())));
    const dao_record columns(fields.get());
    std::vector<VARTYPE> types;
    for (const auto& f : columns)
        types.push_back(f->get_type());
    EXPECT_EQ(types, (std::vector<VARTYPE>{VT_R8, VT_BSTR, VT_BOOL, VT_DATE, VT_BSTR, VT_BOOL}));
}

TEST(DaoDatabase, DatesOfBothCalendarsAndPureTimes)
{
    struct row {
        std::string file;
        std::wstring table;
        std::vector<std::string> rows;
    };
    const row rows[] = {
        {"openpyxl_1904.xlsx", L"Mac$", {"2024-03-01|0000-00-00 18:00:00", "1904-01-02|0000-00-00 00:00:01"}},
        {"xlwt_1904.xls", L"Mac$", {"2024-03-01"}},
        {"handmade_biff5.xls", L"\u041b\u0438\u0441\u0442$", {"abc|1904-01-02", "\xD1\x8F\xD0\xB7|1905-01-01 12:00:00"}},
        {"handmade_strict.xlsx", L"Strict$", {"1904-01-01|1.0000000000000000e+03", "2024-03-01|-5.0000000000000000e-01"}},
    };
    for (const row& r : rows) {
        opened o(r.file, true);
        auto rs = o.book->get_table(r.table, 1);
        EXPECT_EQ(rows_of(*rs), r.rows) << r.file;
    }
}

// A recordset reads its record again on each row instead of making a new
// one: on every row of every committed workbook, the record read again must
// hold what a record made on that row holds.
TEST(DaoDatabase, ARecordReadAgainHoldsWhatANewOneHolds)
{
    const auto same = [](const udb_field& again, const udb_field& made) {
        return again.name == made.name && again.size == made.size && again.not_null == made.not_null &&
               again.auto_increment == made.auto_increment && again.get_type() == made.get_type() &&
               again.to_string() == made.to_string() && again.to_wstring() == made.to_wstring();
    };
    size_t rows = 0;
    for (const std::string file : {"openpyxl.xlsx", "openpyxl_1904.xlsx", "sheetjs.xlsx", "sheetjs_biff8.xls",
                                   "sheetjs_biff5.xls", "xlwt.xls", "xlwt_1904.xls", "handmade_biff5.xls",
                                   "handmade_biff8.xls", "handmade_cases.xlsx", "handmade_strict.xlsx",
                                   "handmade_values.xlsx", "handmade_wide.xlsx", "handmade_prefixed.xlsx"}) {
        opened o(file, true);
        ole_com_ptr<DAODatabase> db = o.engine.open_database(fixture(file), L"Excel 5.0; IMEX=1;", 1);
        for (const std::wstring& table : o.book->get_tables()) {
            ole_com_ptr<_DAOQueryDef> query;
            ASSERT_TRUE(SUCCEEDED(db->CreateQueryDef(ole_variant(L"").get_variant(),
                                                     ole_variant(L"SELECT * FROM [" + table + L"]").get_variant(),
                                                     query.address())));
            ole_com_ptr<DAORecordset> records;
            ASSERT_TRUE(SUCCEEDED(query->OpenRecordset(ole_variant(short(2)).get_variant(), ole_variant().get_variant(),
                                                       records.address())));
            ole_com_ptr<DAOFields> fields;
            ASSERT_TRUE(SUCCEEDED(records->get_Fields(fields.address())));
            dao_record again(fields.get());
            for (VARIANT_BOOL eof = VARIANT_FALSE; SUCCEEDED(records->get_EOF(&eof)) && eof == VARIANT_FALSE;
                 records->MoveNext(), ++rows) {
                again.read_values();
                const dao_record made(fields.get());
                ASSERT_EQ(again.size(), made.size());
                for (size_t i = 0; i < made.size(); ++i)
                    EXPECT_TRUE(same(*again[i], *made[i])) << file << " " << platform::to_utf8(table) << " row " << rows
                                                           << " column " << i << ": " << again[i]->to_string()
                                                           << " against " << made[i]->to_string();
            }
        }
    }
    EXPECT_GT(rows, 1500u);
}

TEST(DaoDatabase, WithoutHeaderEveryRowIsData)
{
    opened o("openpyxl.xlsx", false);
    auto rs = o.book->get_table(L"Hidden$", 1);
    EXPECT_EQ(columns_of(*rs), "F1:8/255/0");
    EXPECT_EQ(rows_of(*rs), (std::vector<std::string>{"only", "42"}));
}

TEST(DaoDatabase, NamesItDoesNotListFailOnlyThatTable)
{
    opened o("openpyxl.xlsx", true);
    for (const std::wstring name : {L"Missing$", L"Types", L""}) {
        try {
            o.book->get_table(name, 1);
            ADD_FAILURE() << "opened";
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 0);
            EXPECT_NE(e.get_message().find(platform::to_utf8(name) + "'"), std::string::npos) << e.get_message();
        }
    }
}

TEST(DaoDatabase, RecordsetCursor)
{
    opened o("xlwt.xls", true);
    auto rs = o.book->get_table(L"Hidden$", 1);
    ASSERT_FALSE(rs->is_eof());
    rs->get_item();
    udb_record* again = rs->get_item();  // the first one is gone by now
    ASSERT_NE(again, nullptr);
    EXPECT_EQ((*again)[0]->to_string(), "4.2000000000000000e+01");
    rs->next();
    EXPECT_TRUE(rs->is_eof());
    rs->reset();  // back to the first row; the end flag keeps its value until next
    EXPECT_TRUE(rs->is_eof());
    EXPECT_THROW(rs->append_record(udb_record()), tk_exception);
}

TEST(DaoDatabase, QueriesOverWorksheets)
{
    opened o("xlwt.xls", true);
    EXPECT_EQ(o.book->count_records(L"SELECT * FROM [Many$]"), 1500);
    EXPECT_TRUE(o.book->test_query(L"SELECT * FROM [Many$]"));
    EXPECT_FALSE(o.book->test_query(L"SELECT * FROM [Nowhere$]"));
    EXPECT_FALSE(o.book->test_query(L"DELETE FROM [Many$]"));
    auto rs = o.book->get_query(L"words", L"SELECT * FROM [Many$]", 1);
    EXPECT_TRUE(rs->has_name());
    EXPECT_EQ(rs->query_text, L"SELECT * FROM [Many$]");
    EXPECT_EQ(columns_of(*rs), "Word:8/255/0");
    EXPECT_EQ(rows_of(*rs).size(), 1500u);
}

TEST(DaoDatabase, AnAccessDatabaseIsAnUnrecognizedFormat)
{
    dao_engine engine(false);
    ASSERT_TRUE(engine.set_version_if(3));
    try {
        open_dao_src(engine, fixture("xlwt.xls"), L"", 0);
        ADD_FAILURE() << "opened";
    } catch (const dao_exception& e) {
        EXPECT_EQ(e.get_code(), 0x10BE9u);
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_NE(e.get_message().find("is not a database this engine reads"), std::string::npos) << e.get_message();
    }
}

TEST(DaoDatabase, ANullDatabaseIsAnInternalError)
{
    dao_engine engine(false);
    EXPECT_THROW(dao_database(L"x", nullptr, 0x21), tk_mail_assertion);
    EXPECT_THROW(dao_recordset(nullptr, L"x", nullptr, static_cast<_DAOTableDef*>(nullptr)), tk_mail_assertion);
    EXPECT_THROW(dao_field(nullptr), tk_mail_assertion);
    EXPECT_THROW(dao_record(nullptr), tk_mail_assertion);
}

} // namespace
