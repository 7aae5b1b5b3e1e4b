// The user's table and field changes applied to a schema, an index list and
// records: renames, new types with sizes and defaults, dropped columns.
#include "rvl_conv/rvl_mut.hpp"

#include "SQL/sql_util.hpp"
#include "TK/tk_excep.hpp"

#include <gtest/gtest.h>

namespace {

udb_schema make_schema()
{
    udb_schema schema;
    schema.push_back(std::make_shared<t_ftd>(255, L"id", VT_BSTR, false, false, ole_variant(), 0, L""));
    schema.push_back(std::make_shared<t_ftd>(255, L"name", VT_BSTR, false, false, ole_variant(L"none"), 0, L""));
    schema.push_back(std::make_shared<t_ftd>(255, L"price", VT_BSTR, true, false, ole_variant(), 0, L""));
    schema.push_back(std::make_shared<t_ftd>(255, L"note", VT_BSTR, false, false, ole_variant(), 0, L""));
    return schema;
}

udb_record make_record(const std::vector<std::wstring>& values)
{
    static const wchar_t* const names[] = {L"id", L"name", L"price", L"note"};
    udb_record record;
    for (size_t i = 0; i < values.size(); ++i)
        record.push_back(std::make_unique<udb_field>(names[i], 255, ole_variant(values[i]), false, false));
    return record;
}

sql_field_type make_type(const std::wstring& type, uint32_t length = 0, const std::wstring& def = L"",
                         uint32_t precision = 0, uint32_t scale = 0)
{
    sql_field_type t;
    t.type = type;
    t.length = length;
    t.default_value = def;
    t.precision = precision;
    t.scale = scale;
    return t;
}

udb_index make_index(const std::wstring& name, std::vector<std::wstring> fields)
{
    udb_index index;
    index.name = name;
    index.fields = std::move(fields);
    return index;
}

std::vector<std::wstring> names_of(const udb_schema& schema)
{
    std::vector<std::wstring> names;
    for (const auto& column : schema)
        names.push_back(column->name);
    return names;
}

// The table "items": id becomes an INT "item_id" with default 0, price a
// DECIMAL(10,2), note is dropped, name stays.
struct ItemsChange : ::testing::Test {
    sql_db_mutator db;
    sql_table_mutator* table = db.get_table_mutator2(L"items", L"goods");

    ItemsChange()
    {
        sql_field_type id = make_type(L"INT", 0, L"0");
        table->update_field(L"id", L"item_id", id);
        sql_field_type price = make_type(L"DECIMAL", 0, L"", 10, 2);
        table->update_field(L"price", L"price", price);
        sql_field_type note;
        table->update_field(L"note", L"note", note)->status = udb_mutators::deleted;
    }
};

} // namespace

TEST_F(ItemsChange, SchemaColumnsAreRenamedRetypedAndDropped)
{
    udb_schema source = make_schema();
    udb_schema schema = source;
    udb_indexes indexes;
    EXPECT_EQ(db.modify1(L"items", schema, indexes), L"goods");
    ASSERT_EQ(names_of(schema), (std::vector<std::wstring>{L"item_id", L"name", L"price"}));
    const t_ftd& id = *schema[0];
    EXPECT_EQ(id.vartype, VT_I4);
    EXPECT_EQ(id.native_type, L"INT");
    EXPECT_EQ(id.size, 4u);  // the size of the fixed type
    EXPECT_EQ(id.default_value.to_wstring(), L"0");
    EXPECT_NE(schema[1].get(), source[1].get());  // unchanged columns are plain copies
    EXPECT_EQ(schema[1]->default_value.to_wstring(), L"none");
    EXPECT_EQ(schema[1]->native_type, L"");
    EXPECT_EQ(schema[2]->native_type, L"DECIMAL(10,2)");
    EXPECT_EQ(schema[2]->vartype, VT_DECIMAL);
    EXPECT_EQ(std::make_pair(schema[2]->precision, schema[2]->scale), std::make_pair(10u, 2u));
    EXPECT_TRUE(schema[2]->b_not_null);
    // The source's own descriptors are never touched.
    EXPECT_EQ(names_of(source), (std::vector<std::wstring>{L"id", L"name", L"price", L"note"}));
    EXPECT_EQ(source[0]->vartype, VT_BSTR);
}

TEST_F(ItemsChange, IndexesLoseDroppedColumnsAndTakeNewNames)
{
    udb_schema schema = make_schema();
    udb_indexes indexes;
    indexes.push_back(make_index(L"pk", {L"id", L"note"}));
    indexes.push_back(make_index(L"by_note", {L"note"}));
    indexes.push_back(make_index(L"by_Id", {L"Id"}));  // another spelling: no change applies
    db.modify1(L"items", schema, indexes);
    EXPECT_EQ(indexes[0].fields, std::vector<std::wstring>{L"item_id"});
    EXPECT_TRUE(indexes[1].fields.empty());
    EXPECT_EQ(indexes[2].fields, std::vector<std::wstring>{L"Id"});
}

TEST_F(ItemsChange, RecordsAreRenamedConvertedAndLoseDroppedValues)
{
    const udb_record source = make_record({L"42", L"Nut", L"3.5", L"drop me"});
    const udb_record& out = db.modify2(L"items", source);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0]->name, L"item_id");
    EXPECT_EQ(out[0]->get_type(), VT_I4);
    EXPECT_EQ(out[0]->to_wstring(), L"42");
    EXPECT_EQ(out[1]->name, L"name");
    EXPECT_EQ(out[1]->to_wstring(), L"Nut");
    EXPECT_EQ(out[2]->get_type(), VT_DECIMAL);
    EXPECT_EQ(source.size(), 4u);
    EXPECT_EQ(source[0]->get_type(), VT_BSTR);
}

TEST_F(ItemsChange, AValueTheNewTypeCannotTakeFailsWithItsMessage)
{
    const udb_record source = make_record({L"abc", L"Nut", L"1", L""});
    try {
        db.modify2(L"items", source);
        FAIL() << "no failure";
    } catch (const tk_exception& e) {
        EXPECT_STREQ(e.what(), "Data conversion is not supported for given type mapping");
        EXPECT_EQ(e.get_level(), 0);
    }
}

TEST_F(ItemsChange, AnEmptyCellBecomesNullForANewTypeThatIsNoText)
{
    const udb_record source = make_record({L"", L"", L"", L"x"});
    const udb_record& out = db.modify2(L"items", source);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0]->get_type(), VT_EMPTY);
    EXPECT_EQ(out[1]->get_type(), VT_BSTR);  // no change: the text stays
    EXPECT_EQ(out[2]->get_type(), VT_EMPTY);
}

// A worksheet's number or date made text by a change reads as the sheet
// shows it: a number in General format, a float with the digits that tell it
// apart, a time of day alone as its time, a fraction of a second kept.
TEST(TableChange, ANumberOrDateMadeTextReadsAsTheSheetShowsIt)
{
    sql_db_mutator db;
    sql_field_type text = make_type(L"VARCHAR", 40);
    db.get_table_mutator2(L"t", L"t")->update_field(L"n", L"n", text);
    const std::pair<ole_variant, std::wstring> cases[] = {{ole_variant(9007199254740992.0), L"9007199254740992"},
                                                          {ole_variant(0.1 + 0.2), L"0.3"},
                                                          {ole_variant(1.1 * 1.1), L"1.21"},
                                                          {ole_variant(-1.5e-7), L"-1.5e-07"},
                                                          {ole_variant(1.1f), L"1.1"},
                                                          {ole_variant(ole_date(SYSTEMTIME{1899, 12, 0, 30, 12, 0, 0, 0})), L"12:00:00"},
                                                          {ole_variant(ole_date(SYSTEMTIME{2004, 8, 0, 1, 12, 30, 45, 123})),
                                                           L"2004-08-01 12:30:45.123"}};
    for (const auto& [value, expected] : cases) {
        udb_record record;
        record.push_back(std::make_unique<udb_field>(L"n", 8, value, false, false));
        const udb_record& out = db.modify2(L"t", record);
        EXPECT_EQ(out[0]->get_type(), VT_BSTR);
        EXPECT_EQ(out[0]->to_wstring(), expected);
    }
}

TEST_F(ItemsChange, OtherTablesAndOtherSpellingsPassUnchanged)
{
    for (const wchar_t* table : {L"other", L"Items"}) {
        udb_schema schema = make_schema();
        udb_indexes indexes;
        EXPECT_EQ(db.modify1(table, schema, indexes), table);
        EXPECT_EQ(names_of(schema), (std::vector<std::wstring>{L"id", L"name", L"price", L"note"}));
        const udb_record record = make_record({L"1"});
        EXPECT_EQ(&db.modify2(table, record), &record);
    }
}

TEST(TableChange, WithoutFieldChangesOnlyTheNameChanges)
{
    sql_db_mutator db;
    db.get_table_mutator2(L"t", L"renamed");
    udb_schema schema = make_schema();
    const udb_schema before = schema;
    udb_indexes indexes;
    indexes.push_back(make_index(L"i", {L"id"}));
    EXPECT_EQ(db.modify1(L"t", schema, indexes), L"renamed");
    EXPECT_EQ(schema, before);
    EXPECT_EQ(indexes[0].fields, std::vector<std::wstring>{L"id"});
    const udb_record record = make_record({L"1", L"a"});
    EXPECT_EQ(&db.modify2(L"t", record), &record);
}

TEST(TableChange, WithoutANewNameTheSourceNamesStay)
{
    sql_db_mutator db;
    sql_table_mutator* table = db.get_table_mutator2(L"t", L"");
    sql_field_type type = make_type(L"VARCHAR", 20);
    table->update_field(L"name", L"", type);
    udb_schema schema = make_schema();
    udb_indexes indexes;
    indexes.push_back(make_index(L"i", {L"name"}));
    EXPECT_EQ(db.modify1(L"t", schema, indexes), L"t");
    EXPECT_EQ(schema[1]->name, L"name");
    EXPECT_EQ(schema[1]->native_type, L"VARCHAR(20)");
    EXPECT_EQ(indexes[0].fields, std::vector<std::wstring>{L"name"});
    const udb_record record = make_record({L"1", L"a"});
    EXPECT_EQ(db.modify2(L"t", record)[1]->name, L"name");
}

TEST(TableChange, PrecisionAndScaleOfZeroKeepTheColumnsOwn)
{
    sql_db_mutator db;
    sql_field_type type = make_type(L"DOUBLE");
    db.get_table_mutator2(L"t", L"t")->update_field(L"price", L"price", type);
    udb_schema schema = make_schema();
    schema[2]->precision = 7;
    schema[2]->scale = 3;
    udb_indexes indexes;
    db.modify1(L"t", schema, indexes);
    EXPECT_EQ(std::make_pair(schema[2]->precision, schema[2]->scale), std::make_pair(7u, 3u));
    EXPECT_EQ(schema[2]->vartype, VT_R8);
}

TEST(TableChange, UpdatingAFieldKeepsItsStatusAndBothLookUps)
{
    sql_table_mutator table(L"t");
    sql_field_type first = make_type(L"CHAR", 5);
    table.update_field(L"a", L"b", first)->status = udb_mutators::deleted;
    sql_field_type second = make_type(L"BIGINT", 99);
    sql_field_mutator* change = table.update_field(L"a", L"c", second);
    EXPECT_EQ(change->status, udb_mutators::deleted);
    EXPECT_EQ(change->new_name, L"c");
    EXPECT_EQ(second.length, 8u);  // the caller's description gets the fixed size
    EXPECT_EQ(table.find_mutator(L"a"), change);
    EXPECT_EQ(table.find_mutator(L"A"), nullptr);
    EXPECT_EQ(table.find_mutator2(L"b"), change);
    EXPECT_EQ(table.find_mutator2(L"c"), change);
    const udb_properties::property_map expected = {
        {L"new_name", L"c"}, {L"type", L"BIGINT"},  {L"default_value", L""}, {L"character_set", L""},
        {L"length", L"8"},   {L"scale", L"0"},      {L"precision", L"0"}};
    EXPECT_EQ(change->get_properties(), expected);
}

TEST(DatabaseChange, TablesByOldAndNewNameAndClear)
{
    sql_db_mutator db;
    sql_table_mutator* t = db.get_table_mutator2(L"Sheet1", L"sales");
    EXPECT_EQ(db.get_table_mutator2(L"Sheet1", L"sales2024"), t);
    EXPECT_EQ(t->new_name, L"sales2024");
    EXPECT_EQ(db.find_mutator(L"Sheet1"), t);
    EXPECT_EQ(db.find_mutator(L"sheet1"), nullptr);
    EXPECT_EQ(db.find_mutator2(L"sales"), t);
    db.clear();
    EXPECT_EQ(db.find_mutator(L"Sheet1"), nullptr);
    EXPECT_EQ(db.find_mutator2(L"sales"), nullptr);
}

TEST(DatabaseChange, DescribesColumnsForTheTypeEditor)
{
    sql_db_mutator db;
    t_ftd text(40, L"name", VT_BSTR, false, false, ole_variant(L"n/a"), 0, L"");
    sql_field_type type;
    db.describe_field(text, type);
    EXPECT_EQ(type.type, L"VARCHAR");
    EXPECT_EQ(type.length, 40u);
    EXPECT_EQ(type.default_value, L"'n/a'");
    EXPECT_EQ(text.native_type, L"VARCHAR(40)");

    t_ftd amount(0, L"amount", VT_DECIMAL, false, false, ole_variant(), 2 | (12 << 8), L"");
    sql_field_type decimal;
    db.describe_field(amount, decimal);
    EXPECT_EQ(std::make_pair(decimal.precision, decimal.scale), std::make_pair(12u, 2u));
    EXPECT_EQ(amount.native_type, get_sql_native_type1(decimal));
    EXPECT_TRUE(sql_db_mutator::get_excluded_types().empty());
}

// Two tables of one run never take one name: the user's new name that is
// another table's, or one new name for two, is found, as is a name the
// wizard's editor is about to give; swapped names, and names the source
// gives alike by itself, are no clash.
TEST(TableChange, FindsTheFirstTwoTablesTheNewNamesGiveOneName)
{
    sql_db_mutator changes;
    const std::vector<std::wstring> run = {L"Dups", L"Orders", L"Stock"};
    EXPECT_FALSE(changes.first_name_clash(run));
    EXPECT_FALSE(changes.first_name_clash({L"Data", L"DATA"}));

    changes.get_table_mutator2(L"Dups", L"orders");
    const std::optional<table_name_clash> clash = changes.first_name_clash(run);
    ASSERT_TRUE(clash);
    EXPECT_EQ(clash->first, L"Dups");
    EXPECT_EQ(clash->second, L"Orders");
    EXPECT_EQ(clash->name, L"orders");
    EXPECT_FALSE(changes.first_name_clash({L"Dups", L"Stock"}));  // Orders is not converted

    changes.get_table_mutator2(L"Orders", L"Dups");  // swapped
    EXPECT_FALSE(changes.first_name_clash(run));
    EXPECT_EQ(changes.destination_name(L"Orders"), L"Dups");
    EXPECT_EQ(changes.destination_name(L"Stock"), L"Stock");

    // Asked before the editor takes a name for Stock.
    const std::optional<table_name_clash> asked = changes.first_name_clash(run, L"Stock", L"DUPS");
    ASSERT_TRUE(asked);
    EXPECT_EQ(asked->first, L"Orders");
    EXPECT_EQ(asked->second, L"Stock");
    EXPECT_FALSE(changes.first_name_clash(run, L"Stock", L"Goods"));
    EXPECT_FALSE(changes.first_name_clash(run, L"Stock", L""));
    EXPECT_FALSE(changes.first_name_clash(run));  // nothing was changed by asking
}
