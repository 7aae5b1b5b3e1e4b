// The workbook side as a destination: an Access-like database created, filled
// and opened again through dao_engine and dao_database, and read back as the
// rest of the system reads a source.
#include "DAO/dao_db.hpp"
#include "DAO/dao_recs.hpp"
#include "DAO/dao_tdef.hpp"
#include "TK/tk_rprt.hpp"
#include "platform/dao/pl_store.hpp"
#include "platform/text/pl_utf8.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

std::wstring fresh_name()
{
    static std::atomic<int> counter{0};
    return L"/nonexistent-dir/dao_write_" + std::to_wstring(++counter) + L".mdb";
}

// Every report, as "context: message" (level).
class recording_reporter : public tk_reporter {
public:
    void set_context(const std::wstring& name) override { context = platform::to_utf8(name); }
    void handle(const tk_exception& e, bool) override
    {
        reports.push_back(context + ": " + e.what() + " (" + std::to_string(e.get_level()) + ")");
        if (abort)
            throw tk_final_exception();
    }
    std::string context;
    std::vector<std::string> reports;
    bool abort = false;
};

struct engine_fixture {
    dao_engine engine{false};
    std::wstring name = fresh_name();
    engine_fixture() { EXPECT_TRUE(engine.set_version_if(3)); }
};

std::shared_ptr<t_ftd> column(const std::wstring& name, VARTYPE vt, uint32_t size = 0, bool not_null = false,
                              bool auto_increment = false, const ole_variant& default_value = ole_variant(),
                              uint32_t reserved = 0)
{
    return std::make_shared<t_ftd>(size, name, vt, not_null, auto_increment, default_value, reserved, L"");
}

udb_index make_index(const std::wstring& name, std::vector<std::wstring> fields, bool primary, bool unique)
{
    udb_index index;
    index.name = name;
    index.fields = std::move(fields);
    index.primary = primary;
    index.unique = unique;
    return index;
}

udb_record record_of(const std::vector<ole_variant>& values)
{
    udb_record record;
    for (const ole_variant& v : values)
        record.push_back(std::make_unique<udb_field>(L"", 0, v, false, false));
    return record;
}

// A column as read back: name:vartype/size/flags/default/reserved.
std::string described(const t_ftd& c)
{
    return platform::to_utf8(c.name) + ":" + std::to_string(c.vartype) + "/" + std::to_string(c.size) + "/" +
           (c.b_not_null ? "N" : "") + (c.b_auto_increment ? "A" : "") + "/" + c.default_value.to_string() + "/" +
           std::to_string(c.reserved);
}

std::string indexes_of(const udb_recordset& rs)
{
    std::string out;
    for (const udb_index& i : rs.indexes) {
        out += (out.empty() ? "" : " ") + platform::to_utf8(i.name) + (i.primary ? "!" : "") + (i.unique ? "+" : "") + "(";
        for (size_t f = 0; f < i.fields.size(); ++f)
            out += (f ? "," : "") + platform::to_utf8(i.fields[f]);
        out += ")";
    }
    return out;
}

std::vector<std::string> rows_of(udb_recordset& rs)
{
    std::vector<std::string> rows;
    for (; !rs.is_eof(); rs.next()) {
        std::string row;
        for (const auto& f : *rs.get_item())
            row.append(row.empty() ? "" : "|").append(f->get_type() == VT_NULL ? "NULL" : f->to_string());
        rows.push_back(row);
    }
    return rows;
}

} // namespace

TEST(DaoWrite, ColumnsAndIndexesComeBackAsCreated)
{
    struct column_case {
        std::shared_ptr<t_ftd> in;
        std::string out;
    };
    const column_case cases[] = {
        {column(L"b", VT_BOOL), "b:11/1///0"},
        {column(L"u1", VT_UI1), "u1:17/1///0"},
        {column(L"i2", VT_I2, 0, true), "i2:2/2/N//0"},
        {column(L"id", VT_I4, 0, true, true), "id:3/4/NA//0"},
        {column(L"r4", VT_R4), "r4:4/4///0"},
        {column(L"r8", VT_R8, 0, false, false, ole_variant(2.5)), "r8:5/8//2.5000000000000000e+00/0"},
        {column(L"cy", VT_CY), "cy:6/8///0"},
        {column(L"t255", VT_BSTR, 255, false, false, ole_variant(L"abc")), "t255:8/255//abc/0"},
        {column(L"t256", VT_BSTR, 256), "t256:8/0///0"},
        {column(L"q1", VT_BSTR, 20, false, false, ole_variant(L"it's")), "q1:8/20//it's/0"},
        {column(L"q2", VT_BSTR, 20, false, false, ole_variant(L"say \"hi\"")), "q2:8/20//say \"hi\"/0"},
        {column(L"q3", VT_BSTR, 20, false, false, ole_variant(L"'a' \"b\"")), "q3:8/20//'a' \"b\"/0"},
        {column(L"d", VT_DATE, 0, false, false, ole_variant(L"2024-02-29")), "d:7/8//2024-02-29/1"},
        {column(L"dnow", VT_DATE, 0, false, false, ole_variant(), 9), "dnow:7/8///9"},
        {column(L"dday", VT_DATE, 0, false, false, ole_variant(), 10), "dday:7/8///10"},
        // No display format is written, so the time-only mark is not kept.
        {column(L"tm", VT_DATE, 0, false, false, ole_variant(L"10:30:00"), 11), "tm:7/8//0000-00-00 10:30:00/1"},
        {column(L"big", VT_I8, 0, false, false, ole_variant(42LL)), "big:5/8//4.2000000000000000e+01/0"},
        {column(L"Amount", VT_I4), "Amount:3/4///0"},
        {column(L"amount", VT_I4), "amount00000:3/4///0"},
        {column(L"a.b!c", VT_I4), "a_b_c:3/4///0"},
    };
    udb_schema schema;
    for (const auto& c : cases)
        schema.push_back(c.in);
    std::vector<std::wstring> ten;
    for (int i = 0; i < 10; ++i)
        ten.push_back(L"c" + std::to_wstring(i));
    udb_schema wide;
    for (const std::wstring& n : ten)
        wide.push_back(column(n, VT_I4));
    wide.push_back(column(L"c10", VT_I4));
    std::vector<std::wstring> eleven = ten;
    eleven.push_back(L"c10");
    udb_indexes indexes;
    indexes.push_back(make_index(L"pk", {L"id"}, true, true));
    indexes.push_back(make_index(L"by_amount", {L"Amount"}, false, true));
    indexes.push_back(make_index(L"by_lower", {L"amount"}, false, false));
    indexes.push_back(make_index(L"odd", {L"a.b!c"}, false, false));
    indexes.push_back(make_index(L"on_memo", {L"t256"}, false, false));
    indexes.push_back(make_index(L"ix:1", {L"t255"}, false, false));
    udb_indexes wide_indexes;
    wide_indexes.push_back(make_index(L"ten", ten, false, false));
    wide_indexes.push_back(make_index(L"eleven", eleven, false, false));

    engine_fixture f;
    {
        const std::unique_ptr<udb_database> db = f.engine.create_db(f.name);
        EXPECT_EQ(db->mode, 0x72u);
        db->create_table(L"cols", schema, indexes);
        db->create_table(L"wide", wide, wide_indexes);
        EXPECT_EQ(db->names_map.get_fn_mapped_name(L"cols", L"amount", true), L"amount00000");
    }
    const std::unique_ptr<udb_database> again = f.engine.open_db(f.name, 0x21, L"");
    EXPECT_EQ(again->get_tables(), (std::vector<std::wstring>{L"cols", L"wide"}));
    const std::unique_ptr<udb_recordset> cols = again->get_table(L"cols", 1);
    ASSERT_EQ(cols->schema.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(described(*cols->schema[i]), cases[i].out);
    EXPECT_EQ(indexes_of(*cols), "pk!+(id) by_amount+(Amount) by_lower(amount00000) odd(a_b_c) ix_1(t255)");
    EXPECT_EQ(indexes_of(*again->get_table(L"wide", 1)), "ten(c0,c1,c2,c3,c4,c5,c6,c7,c8,c9)");
}

// The display format and comment DAO keeps as column properties, set through
// the store, refine the date columns and describe the columns read back.
TEST(DaoWrite, FormatAndDescriptionPropertiesAreRead)
{
    engine_fixture f;
    const std::unique_ptr<udb_database> db = f.engine.create_db(f.name);
    udb_schema schema;
    for (const wchar_t* name : {L"day", L"clock", L"stamp"})
        schema.push_back(column(name, VT_DATE));
    schema.push_back(column(L"note", VT_BSTR, 50));
    db->create_table(L"t", schema, udb_indexes());
    const ole_com_ptr<DAODatabase> opened = f.engine.open_database(f.name, L"", 0);
    const auto set = [&](const wchar_t* column_name, const wchar_t* property, const wchar_t* value) {
        return platform::dao::dao_set_column_property(opened.get(), L"t", column_name, property, value);
    };
    EXPECT_TRUE(set(L"day", L"Format", L"Short Date"));
    EXPECT_TRUE(set(L"clock", L"Format", L"Long Time"));
    EXPECT_TRUE(set(L"NOTE", L"Description", L"first"));
    EXPECT_TRUE(set(L"note", L"description", L"what was ordered"));
    EXPECT_FALSE(set(L"none", L"Format", L"Short Date"));
    EXPECT_FALSE(set(L"note", L"Caption", L"Note"));

    const std::unique_ptr<udb_recordset> back = db->get_table(L"t", 1);
    ASSERT_EQ(back->schema.size(), 4u);
    EXPECT_EQ(back->schema[0]->reserved, dao_recordset::date_only);
    EXPECT_EQ(back->schema[1]->reserved, dao_recordset::time_only);
    EXPECT_EQ(back->schema[2]->reserved, dao_recordset::date_time);
    EXPECT_EQ(back->schema[3]->description, L"what was ordered");
    EXPECT_EQ(back->schema[0]->description, L"");
}

// A value is stored as the table's column holds it; what cannot be stored
// exactly, or whole, is a level-0 failure naming the column.
TEST(DaoWrite, ValuesComeBackOrFailByName)
{
    struct value_case {
        const char* what;
        std::shared_ptr<t_ftd> column;
        ole_variant value;
        std::string stored;   // the row read back; empty when none is stored
        std::string failure;  // a part of the level-0 failure; empty for none
    };
    ole_variant day_zero;
    day_zero = ole_variant::from_string("1899-12-30 10:30:00", VT_DATE);
    const value_case cases[] = {
        {"null text, not null", column(L"c", VT_BSTR, 10, true), ole_variant::from_string("", VT_NULL), "", ""},
        {"null number, not null", column(L"c", VT_I4, 0, true), ole_variant::from_string("", VT_NULL), "",
         "A value is required in column 'c'."},
        {"I1", column(L"c", VT_I1), ole_variant(static_cast<signed char>(-5)), "-5", ""},
        {"UI2", column(L"c", VT_UI2), ole_variant(static_cast<unsigned short>(65535)), "65535", ""},
        {"UI4", column(L"c", VT_UI4), ole_variant(4294967295u), "4.2949672950000000e+09", ""},
        {"I8", column(L"c", VT_I8), ole_variant(-1LL), "-1.0000000000000000e+00", ""},
        {"UI8 at 2^53", column(L"c", VT_UI8), ole_variant(9007199254740992ULL), "9.0071992547409920e+15", ""},
        {"I8 beyond 2^53", column(L"c", VT_I8), ole_variant(9007199254740993LL), "",
         "The value 9007199254740993 of column 'c' cannot be stored exactly"},
        {"day zero", column(L"c", VT_DATE), day_zero, "0000-00-00 10:30:00", ""},
    };
    for (const value_case& c : cases) {
        SCOPED_TRACE(c.what);
        engine_fixture f;
        const std::unique_ptr<udb_database> db = f.engine.create_db(f.name);
        udb_schema schema;
        schema.push_back(c.column);
        const std::unique_ptr<udb_recordset> rs = db->create_table(L"t", schema, udb_indexes());
        std::string failure;
        try {
            rs->append_record(record_of({c.value}));
        } catch (const tk_exception& e) {
            failure = e.what();
            EXPECT_EQ(e.get_level(), 0);
        }
        EXPECT_NE(failure.find(c.failure), std::string::npos) << failure;
        EXPECT_EQ(failure.empty(), c.failure.empty()) << failure;
        const std::unique_ptr<udb_recordset> back = db->get_table(L"t", 1);
        EXPECT_EQ(rows_of(*back), c.stored.empty() && !c.failure.empty() ? std::vector<std::string>{}
                                                                          : std::vector<std::string>{c.stored});
    }
}

TEST(DaoWrite, ARecordTooLargeIsStoredWithoutTheColumnsThatDidNotFit)
{
    engine_fixture f;
    const std::unique_ptr<udb_database> db = f.engine.create_db(f.name);
    udb_schema schema;
    std::vector<ole_variant> values;
    for (int i = 0; i < 10; ++i) {
        schema.push_back(column(L"t" + std::to_wstring(i), VT_BSTR, 255));
        values.emplace_back(std::wstring(255, L'x'));
    }
    const std::unique_ptr<udb_recordset> rs = db->create_table(L"t", schema, udb_indexes());
    try {
        rs->append_record(record_of(values));
        ADD_FAILURE() << "no failure";
    } catch (const tk_exception& e) {
        EXPECT_EQ(std::string(e.what()), "Record is too large: the row was stored without the value of column 't7', 't8', 't9'.");
        EXPECT_EQ(e.get_level(), 0);
    }
    const std::unique_ptr<udb_recordset> back = db->get_table(L"t", 1);
    const std::vector<std::string> rows = rows_of(*back);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].substr(rows[0].size() - 15), "|NULL|NULL|NULL");
    // A record of another shape is refused before a row is begun.
    EXPECT_THROW(rs->append_record(record_of({ole_variant(1)})), tk_exception);
    EXPECT_EQ(rows_of(*db->get_table(L"t", 1)).size(), 1u);
}

TEST(DaoWrite, ABigintDefaultBeyondDoublesFailsTheTable)
{
    engine_fixture f;
    const std::unique_ptr<udb_database> db = f.engine.create_db(f.name);
    udb_schema schema;
    schema.push_back(column(L"c", VT_I8, 0, false, false, ole_variant(9007199254740993LL)));
    try {
        db->create_table(L"t", schema, udb_indexes());
        ADD_FAILURE() << "no failure";
    } catch (const tk_exception& e) {
        EXPECT_NE(std::string(e.what()).find("default value 9007199254740993 of column 'c'"), std::string::npos);
        EXPECT_EQ(e.get_level(), 0);
    }
    EXPECT_FALSE(db->is_table_exist(L"t"));
}

TEST(DaoWrite, DeleteTabAndTheEngineEntryPoints)
{
    engine_fixture f;
    {
        const std::unique_ptr<udb_database> db = f.engine.create_db(f.name);
        udb_schema schema;
        schema.push_back(column(L"c", VT_I4));
        db->create_table(L"gone", schema, udb_indexes());
        db->create_table(L"kept", schema, udb_indexes());
        EXPECT_TRUE(db->delete_tab(L"GONE"));
        EXPECT_FALSE(db->delete_tab(L"gone"));
        EXPECT_EQ(db->get_tables(), std::vector<std::wstring>{L"kept"});
    }
    EXPECT_EQ(f.engine.open_db(f.name, 0x21, L"")->get_tables(), std::vector<std::wstring>{L"kept"});
    // Nothing is written to disk: the file tests do not see the database.
    EXPECT_FALSE(f.engine.is_db_exist(f.name));
    try {
        f.engine.create_db(f.name);
        ADD_FAILURE() << "created twice";
    } catch (const dao_exception& e) {
        EXPECT_EQ(e.get_code(), 0x10000u + 3204);
    }
    try {
        f.engine.open_db(L"/nonexistent-dir/never-made.mdb", 0x21, L"");
        ADD_FAILURE() << "opened";
    } catch (const dao_exception& e) {
        EXPECT_EQ(e.get_code(), 0x10000u + 3024);
    }
}

namespace {

// A parent "Orders" (id, key "pk" or none) and a child "Lines" (id, order),
// with one order 1.
struct related : engine_fixture {
    std::unique_ptr<udb_database> db;
    explicit related(const udb_indexes& parent_keys = one_key(L"pk", true))
    {
        db = f_create();
        udb_schema parent, child;
        parent.push_back(column(L"id", VT_I4, 0, true));
        parent.push_back(column(L"code", VT_BSTR, 10));
        child.push_back(column(L"id", VT_I4, 0, true));
        child.push_back(column(L"order", VT_I4));
        db->create_table(L"Orders", parent, parent_keys)->append_record(record_of({ole_variant(1), ole_variant(L"a")}));
        db->create_table(L"Lines", child, one_key(L"lpk", true));
    }
    std::unique_ptr<udb_database> f_create() { return engine.create_db(name); }
    static udb_indexes one_key(const std::wstring& key, bool primary)
    {
        udb_indexes out;
        out.push_back(make_index(key, {L"id"}, primary, primary));
        return out;
    }
    static udb_relationship fk(const std::wstring& rule = L"")
    {
        return udb_relationship(L"Lines", L"Orders", {L"order"}, {L"id"}, rule);
    }
};

std::string relationships_of(const udb_relationships& list)
{
    std::string out;
    for (const udb_relationship& r : list) {
        out += (out.empty() ? "" : "; ") + platform::to_utf8(r.name) + " " + platform::to_utf8(r.child_table) + "(";
        for (size_t i = 0; i < r.fk_flds.size(); ++i)
            out += (i ? "," : "") + platform::to_utf8(r.fk_flds[i]);
        out += ")->" + platform::to_utf8(r.parent_table) + "(";
        for (size_t i = 0; i < r.pk_flds.size(); ++i)
            out += (i ? "," : "") + platform::to_utf8(r.pk_flds[i]);
        out += ")" + platform::to_utf8(r.properties);
    }
    return out;
}

} // namespace

// What create_relationships makes, MSysRelationships gives back when the
// database is opened again: names, columns in order and cascade rules.
TEST(DaoRelations, CreatedRelationshipsReadBackThroughMSysRelationships)
{
    recording_reporter reporter;
    related r;
    udb_schema two;
    two.push_back(column(L"a", VT_I4, 0, true));
    two.push_back(column(L"b", VT_BSTR, 10, true));
    udb_indexes two_key;
    two_key.push_back(make_index(L"pk", {L"a", L"b"}, true, true));
    r.db->create_table(L"Pairs", two, two_key);
    udb_schema refs;
    refs.push_back(column(L"x", VT_I4));
    refs.push_back(column(L"y", VT_BSTR, 10));
    r.db->create_table(L"Refs", refs, udb_indexes());
    udb_relationships list;
    list.push_back(related::fk(L" ON DELETE CASCADE ON UPDATE CASCADE"));
    list.push_back(udb_relationship(L"Refs", L"Pairs", {L"x", L"y"}, {L"a", L"b"}, L""));
    r.db->create_relationships(list);
    EXPECT_EQ(reporter.reports, std::vector<std::string>{});
    const std::unique_ptr<udb_database> again = r.engine.open_db(r.name, 0, L"");
    EXPECT_EQ(relationships_of(again->relationships),
              "FK_Orders_Lines Lines(order)->Orders(id) ON DELETE CASCADE ON UPDATE CASCADE; "
              "FK_Pairs_Refs Refs(x,y)->Pairs(a,b)");
    // The foreign index on the child is not one of its indexes.
    EXPECT_EQ(indexes_of(*again->get_table(L"Lines", 1)), "lpk!+(id)");
    // The relation holds: a line of an order that does not exist is refused.
    EXPECT_THROW(again->get_table(L"Lines", 0)->append_record(record_of({ole_variant(1), ole_variant(2)})),
                 dao_exception);
}

// The parent's key needs a unique index: one found is used, a non-unique one
// found first gets a unique "ui_" index added, and so does no index at all;
// two keys on one parent get two names.
TEST(DaoRelations, UniqueIndexesOnTheParent)
{
    struct index_case {
        const char* what;
        udb_indexes keys;
        int relationships;
        std::string indexes;  // of the parent afterwards, names cut after "ui_"
    };
    udb_indexes non_unique_first = related::one_key(L"ix", false);
    non_unique_first.push_back(make_index(L"uk", {L"id"}, false, true));
    const index_case cases[] = {
        {"unique found", related::one_key(L"pk", true), 1, "pk!+(id)"},
        {"non-unique found first", non_unique_first, 1, "ix(id) uk+(id) ui_+(id)"},
        {"none", udb_indexes(), 1, "ui_+(id)"},
        {"two keys on one parent", udb_indexes(), 2, "ui_+(id) ui_+(code)"},
    };
    for (const index_case& c : cases) {
        SCOPED_TRACE(c.what);
        recording_reporter reporter;
        related r(c.keys);
        udb_relationships list;
        list.push_back(related::fk());
        if (c.relationships == 2) {
            udb_schema more;
            more.push_back(column(L"code", VT_BSTR, 10));
            r.db->create_table(L"Codes", more, udb_indexes());
            list.push_back(udb_relationship(L"Codes", L"Orders", {L"code"}, {L"code"}, L""));
        }
        r.db->create_relationships(list);
        EXPECT_EQ(reporter.reports, std::vector<std::string>{});
        std::string shown;
        const std::unique_ptr<udb_recordset> parent = r.db->get_table(L"Orders", 1);
        for (const udb_index& i : parent->indexes) {
            std::string name = platform::to_utf8(i.name);
            if (name.rfind("ui_", 0) == 0)
                name = "ui_";
            shown += (shown.empty() ? "" : " ") + name + (i.primary ? "!" : "") + (i.unique ? "+" : "") + "(" +
                     platform::to_utf8(i.fields[0]) + ")";
        }
        EXPECT_EQ(shown, c.indexes);
        EXPECT_EQ(r.engine.open_db(r.name, 0, L"")->relationships.size(), size_t(c.relationships));
    }
}

// A relationship that fails is reported with its name as context, and the
// next one is made; one whose key lists differ is such a failure.
TEST(DaoRelations, FailuresAreReportedAndTheNextIsMade)
{
    recording_reporter reporter;
    related r;
    udb_relationships list;
    list.push_back(udb_relationship(L"FK_missing", L"", L"Lines", L"Missing", {L"order"}, {L"id"}, L""));
    list.push_back(udb_relationship(L"FK_uneven", L"", L"Lines", L"Orders", {L"order", L"id"}, {L"id"}, L""));
    list.push_back(related::fk(L" ON DELETE SET NULL"));
    r.db->create_relationships(list);
    EXPECT_EQ(reporter.reports,
              (std::vector<std::string>{
                  "FK_missing: Table 'Missing' not exists (0)",
                  "FK_uneven: Foreign key 'FK_uneven' has 2 columns but its key has 1. (0)",
                  "FK_Orders_Lines: The rule ' ON DELETE SET NULL' of foreign key 'FK_Orders_Lines' cannot be kept: "
                  "the relationship was created without it. (0)"}));
    EXPECT_EQ(relationships_of(r.engine.open_db(r.name, 0, L"")->relationships), "FK_Orders_Lines Lines(order)->Orders(id)");
}

TEST(DaoRelations, AbortAndAppendMode)
{
    {
        recording_reporter reporter;
        reporter.abort = true;
        related r;
        udb_relationships list;
        list.push_back(udb_relationship(L"FK_missing", L"", L"Lines", L"Missing", {L"order"}, {L"id"}, L""));
        list.push_back(related::fk());
        EXPECT_THROW(r.db->create_relationships(list), tk_final_exception);
        EXPECT_TRUE(r.engine.open_db(r.name, 0, L"")->relationships.empty());
    }
    for (const uint32_t mode : {0x08u, 0x28u}) {
        recording_reporter reporter;
        related r;
        r.db->mode = mode;
        udb_relationships list;
        list.push_back(related::fk());
        r.db->create_relationships(list);
        EXPECT_EQ(r.engine.open_db(r.name, 0, L"")->relationships.size(), mode == 0x08u ? 0u : 1u) << mode;
    }
}

// Reading MSysRelationships refused: the database opens without foreign keys.
TEST(DaoRelations, UnreadableRelationshipsAreLeftOut)
{
    recording_reporter reporter;
    related r;
    udb_relationships list;
    list.push_back(related::fk());
    r.db->create_relationships(list);
    platform::dao::dao_set_relations_readable(false);
    const std::unique_ptr<udb_database> again = r.engine.open_db(r.name, 0, L"");
    platform::dao::dao_set_relations_readable(true);
    EXPECT_TRUE(again->relationships.empty());
    EXPECT_EQ(again->get_tables().size(), 2u);
}

// A key over a column that create_table renamed goes through the names map:
// "Ref" became "ref00000" beside "ref".
TEST(DaoRelations, KeysFollowRenamedColumns)
{
    recording_reporter reporter;
    related r;
    udb_schema refs;
    refs.push_back(column(L"ref", VT_I4));
    refs.push_back(column(L"Ref", VT_I4));
    r.db->create_table(L"Refs", refs, udb_indexes());
    udb_relationships list;
    list.push_back(udb_relationship(L"Refs", L"Orders", {L"Ref"}, {L"id"}, L""));
    r.db->create_relationships(list);
    EXPECT_EQ(reporter.reports, std::vector<std::string>{});
    EXPECT_EQ(relationships_of(r.engine.open_db(r.name, 0, L"")->relationships),
              "FK_Orders_Refs Refs(ref00000)->Orders(id)");
}

// Saved queries are the database's views, their SQL rewritten towards
// MySQL; a database opened with mode 0x80 has none.
TEST(DaoViews, SavedQueriesReadBack)
{
    engine_fixture f;
    f.engine.create_db(f.name);
    const ole_com_ptr<DAODatabase> raw = f.engine.open_database(f.name, L"", 0);
    for (const auto& [name, sql] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"q1", L"SELECT IIf(a<>b, Len(c), Nz(d,0)) FROM [t]![x] ORDER BY a ASC WITH OWNERACCESS OPTION"},
             {L"q2", L"SELECT Asc (c) FROM t WHERE c ALike 'x%'"}}) {
        ole_com_ptr<_DAOQueryDef> query;
        ASSERT_EQ(raw->CreateQueryDef(ole_variant(name).get_variant(), ole_variant(sql).get_variant(), query.address()),
                  S_OK);
    }
    EXPECT_EQ(f.engine.open_db(f.name, 0, L"")->views,
              (udb_views{{L"q1", L"SELECT if(a!=b, length(c), ifnull(d,0)) FROM [t].[x] ORDER BY a ASC "},
                         {L"q2", L"SELECT ascii (c) FROM t WHERE c like 'x%'"}}));
    EXPECT_TRUE(f.engine.open_db(f.name, 0x80, L"")->views.empty());
}
