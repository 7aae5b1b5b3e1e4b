#include "UDB/udb_db.hpp"
#include "UDB/udb_engi.hpp"
#include "UDB/udb_rule.hpp"

#include "TK/tk_excep.hpp"
#include "platform/syserr/pl_syserr.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

namespace {

class memory_recordset : public udb_recordset {
public:
    memory_recordset() : udb_recordset(nullptr, L"t", true) {}
    void append_record(const udb_record&) override {}
};

udb_index make_index(const std::wstring& name, bool primary, bool unique, std::vector<std::wstring> fields)
{
    udb_index index;
    index.name = name;
    index.primary = primary;
    index.unique = unique;
    index.fields = std::move(fields);
    return index;
}

std::shared_ptr<t_ftd> make_column(const std::wstring& name, VARTYPE vt)
{
    return std::make_shared<t_ftd>(0, name, vt, false, false, ole_variant(), 0, std::wstring());
}

TEST(udb_recordset, the_base_reads_as_empty)
{
    memory_recordset rs;
    EXPECT_TRUE(rs.is_eof());
    EXPECT_EQ(rs.get_item(), nullptr);
    EXPECT_FALSE(rs.has_name());
    rs.query_text = L"SELECT 1";
    EXPECT_TRUE(rs.has_name());
}

TEST(udb_recordset, the_row_key_is_the_primary_index_or_the_first_unique_one)
{
    memory_recordset rs;
    rs.add_index(make_index(L"plain", false, false, {L"a"}));
    EXPECT_EQ(rs.key_position, -1);
    rs.add_index(make_index(L"u1", false, true, {L"b"}));
    EXPECT_EQ(rs.key_position, 1);
    rs.add_index(make_index(L"u2", false, true, {L"c"}));
    EXPECT_EQ(rs.key_position, 1);
    rs.add_index(make_index(L"pk", true, true, {L"d"}));
    EXPECT_EQ(rs.key_position, 3);
    rs.add_index(make_index(L"PK", false, false, {L"e"}));
    EXPECT_EQ(rs.indexes.size(), 4u);
    EXPECT_EQ(rs.indexes[3].fields[0], L"d");
}

TEST(udb_recordset, get_key_copies_the_key_fields_in_key_order)
{
    memory_recordset rs;
    udb_record record;
    record.push_back(std::make_unique<udb_field>(L"B", 0, ole_variant(2), false, false));
    record.push_back(std::make_unique<udb_field>(L"a", 0, ole_variant(L"x"), false, false));
    try {
        rs.get_key(record);
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_STREQ(e.what(), "There's no primary/unique key");
    }

    rs.add_index(make_index(L"pk", true, true, {L"A", L"b"}));
    auto key = rs.get_key(record);
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->size(), 2u);
    EXPECT_EQ((*key)[0]->to_wstring(), L"x");
    EXPECT_EQ((*key)[1]->to_wstring(), L"2");
    EXPECT_NE((*key)[0].get(), record[1].get());

    record.pop_back();
    EXPECT_EQ(rs.get_key(record), nullptr);
}

struct filter_case {
    const char* what;
    std::wstring key;
    std::wstring expected;
};

void PrintTo(const filter_case& c, std::ostream* os) { *os << c.what; }

class filter_subquery : public testing::TestWithParam<filter_case> {};

TEST_P(filter_subquery, table)
{
    memory_recordset rs;
    rs.schema.push_back(make_column(L"Id", VT_I4));
    rs.schema.push_back(make_column(L"Name", VT_BSTR));
    rs.schema.push_back(make_column(L"Data", ole_vt_bytes));
    rs.schema.push_back(make_column(L"odd`name", VT_BSTR));
    EXPECT_EQ(rs.get_filter_subquery(GetParam().key), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    cases, filter_subquery,
    testing::Values(
        filter_case{"number and text", L"<id>5</id><NAME>a &lt;b&gt; &amp; c</NAME>", L"`Id`=5 and `Name`='a <b> & c' "},
        filter_case{"quotes and backslashes escaped", L"<Name>O'Neil\\x</Name>", L"`Name`='O\\'Neil\\\\x' "},
        filter_case{"a number that is no number", L"<Id>1 or 1=1</Id>", L"`Id`='1 or 1=1' "},
        filter_case{"signed decimal number", L"<Id>-1.5e3</Id>", L"`Id`=-1.5e3"},
        filter_case{"binary as hexadecimal", L"<Data>0x0AFF</Data>", L"`Data`=0x0AFF"},
        filter_case{"binary that is no literal", L"<Data>0x0G</Data>", L"`Data`='0x0G' "},
        filter_case{"backquote in a name doubled", L"<odd`name>v</odd`name>", L"`odd``name`='v' "},
        filter_case{"empty key", L"", L""}));

TEST(udb_recordset, get_filter_subquery_of_an_unknown_column_raises)
{
    memory_recordset rs;
    rs.schema.push_back(make_column(L"Id", VT_I4));
    try {
        rs.get_filter_subquery(L"<other>1</other>");
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_STREQ(e.what(), "The structure of data source does not conform to the destination table.");
    }
}

// A database that records the statements it is asked to run.
class statement_log_db : public udb_database {
public:
    explicit statement_log_db(bool case_sensitive) : udb_database(L"db", 0, case_sensitive) {}
    std::unique_ptr<udb_recordset> create_table(const std::wstring&, const udb_schema&, const udb_indexes&) override
    {
        return nullptr;
    }
    std::unique_ptr<udb_recordset> get_query(const std::wstring&, const std::wstring&, uint32_t) override
    {
        return nullptr;
    }
    std::unique_ptr<udb_recordset> get_table(const std::wstring&, uint32_t) override { return nullptr; }
    bool test_query(const std::wstring&) override { return false; }
    std::unique_ptr<udb_recordset> query(const std::wstring& statement) override
    {
        statements.push_back(statement);
        return nullptr;
    }
    void create_index(const std::wstring& table, const std::wstring& context, const udb_index& index) override
    {
        statements.push_back(table + L"/" + context + L"/" + index.name);
    }
    std::vector<std::wstring> statements;
};

TEST(udb_database, table_names_match_by_the_case_flag)
{
    statement_log_db loose(false);
    loose.tables = {L"Orders", L"Items", L"orders"};
    EXPECT_TRUE(loose.is_table_exist(L"ORDERS"));
    EXPECT_TRUE(loose.delete_tab(L"ORDERS"));
    EXPECT_EQ(loose.get_tables(), (std::vector<std::wstring>{L"Items", L"orders"}));
    EXPECT_FALSE(loose.delete_tab(L"none"));

    statement_log_db strict(true);
    strict.tables = {L"Orders"};
    EXPECT_FALSE(strict.is_table_exist(L"orders"));
    EXPECT_TRUE(strict.is_table_exist(L"Orders"));
    EXPECT_FALSE(statement_log_db(false).is_table_exist(L"x"));
}

TEST(udb_database, empty_table_and_create_indexes_go_through_the_back_end)
{
    statement_log_db db(false);
    db.empty_table(L"`my table`");
    udb_indexes indexes;
    indexes.push_back(make_index(L"i1", false, false, {}));
    indexes.push_back(make_index(L"i2", false, false, {}));
    db.create_indexes(L"t", L"ctx", indexes);
    EXPECT_EQ(db.statements, (std::vector<std::wstring>{L"delete from `my table`", L"t/ctx/i1", L"t/ctx/i2"}));
    std::vector<std::wstring> names{L"a"};
    db.clear_names(names);
    EXPECT_TRUE(names.empty());
}

TEST(udb_database, query_without_a_back_end_is_an_internal_error)
{
    struct no_statements : statement_log_db {
        no_statements() : statement_log_db(false) {}
        std::unique_ptr<udb_recordset> query(const std::wstring& statement) override
        {
            return udb_database::query(statement);
        }
    } db;
    EXPECT_THROW(db.empty_table(L"t"), tk_mail_assertion);
}

class file_engine : public udb_engine {
public:
    std::unique_ptr<udb_database> create_db(const std::wstring&) override { return nullptr; }
    std::unique_ptr<udb_database> open_db(const std::wstring&, uint32_t, const std::wstring&) override
    {
        return nullptr;
    }
};

TEST(udb_engine, files_exist_and_are_deleted)
{
    test_dir dir;
    file_engine engine;
    const std::string file = dir.file("book.xls");
    test_dir::write(file, "x");
    const std::wstring wide_file(file.begin(), file.end());
    const std::string folder = dir.path().string();
    EXPECT_TRUE(engine.is_db_exist(wide_file));
    EXPECT_FALSE(engine.is_db_exist(std::wstring(folder.begin(), folder.end())));
    engine.db_delete(wide_file);
    EXPECT_FALSE(engine.is_db_exist(wide_file));
    try {
        engine.db_delete(wide_file);
        FAIL();
    } catch (const tk_exception_ex& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_EQ(e.get_code(), platform::error_file_not_found);
    }
}

struct claim_all : udb_conversion_rule {
    claim_all(std::wstring type, bool values) : type(std::move(type)), values(values) {}
    bool claims_value(const udb_field&) const override { return values; }
    bool claims_type(const t_ftd&) const override { return true; }
    std::wstring value_text(const udb_field& field) const override { return L"v:" + field.name; }
    std::wstring type_text(const t_ftd&) const override { return type; }
    std::wstring type;
    bool values;
};

TEST(udb_custom_conversion, the_first_claiming_rule_wins_and_no_registry_claims_nothing)
{
    const t_ftd column(10, L"c", VT_BSTR, false, false, ole_variant(), 0, L"");
    const udb_field field(L"f", 0, ole_variant(1), false, false);
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(column));
    EXPECT_EQ(udb_custom_conversion::handle1(column), L"");
    EXPECT_FALSE(udb_custom_conversion::is_acceptable2(field));
    EXPECT_EQ(udb_custom_conversion::handle2(field), L"");
    {
        udb_custom_conversion registry;
        EXPECT_FALSE(udb_custom_conversion::is_acceptable1(column));
        EXPECT_EQ(udb_custom_conversion::handle2(field), L"");
        registry.add_rule(std::make_unique<claim_all>(L"first", false));
        EXPECT_TRUE(udb_custom_conversion::is_acceptable1(column));
        EXPECT_FALSE(udb_custom_conversion::is_acceptable2(field));
        EXPECT_THROW(udb_custom_conversion::handle2(field), tk_mail_assertion);
        registry.add_rule(std::make_unique<claim_all>(L"second", true));
        EXPECT_EQ(udb_custom_conversion::handle1(column), L"first");
        EXPECT_EQ(udb_custom_conversion::handle2(field), L"v:f");
    }
    EXPECT_FALSE(udb_custom_conversion::is_acceptable1(column));
}

} // namespace
