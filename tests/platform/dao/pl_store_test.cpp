// The in-memory Access-like databases of the DAO-like layer, driven through
// its interfaces as the workbook side drives them: every refusal leaves one
// error, whose number and description the caller reads.
#include "platform/dao/pl_daoco.hpp"
#include "platform/dao/pl_daoim.hpp"
#include "platform/dao/pl_store.hpp"
#include "platform/text/pl_utf8.hpp"
#include "dao_com.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

using platform::to_utf8;
using platform::dao::dbAutoIncrField;
using platform::dao::dbReadOnly;

using dao_test::bstr;
using dao_test::com;

namespace {

std::string fixture(const std::string& name) { return std::string(RVL_WORKBOOKS) + "/" + name; }

struct variant {
    VARIANT v{};
    variant() = default;
    variant(const wchar_t* text) : variant(std::wstring(text)) {}
    variant(const std::wstring& text)
    {
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
    }
    variant(int value)
    {
        v.vt = VT_I4;
        v.lVal = value;
    }
    static variant null()
    {
        variant out;
        out.v.vt = VT_NULL;
        return out;
    }
    variant(const variant& that) { VariantCopy(&v, &that.v); }
    ~variant() { VariantClear(&v); }
};

struct column {
    column(std::wstring name, int16_t type = dbText, int32_t size = 50, bool required = false, bool zero_length = true,
           std::wstring default_value = L"", int32_t attributes = 0)
        : name(std::move(name)), type(type), size(size), required(required), zero_length(zero_length),
          default_value(std::move(default_value)), attributes(attributes) {}
    std::wstring name;
    int16_t type;
    int32_t size;
    bool required;
    bool zero_length;
    std::wstring default_value;
    int32_t attributes;
};

struct key {
    key(std::wstring name, std::vector<std::wstring> fields, bool primary = false, bool unique = false)
        : name(std::move(name)), fields(std::move(fields)), primary(primary), unique(unique) {}
    std::wstring name;
    std::vector<std::wstring> fields;
    bool primary;
    bool unique;
};

// A database name no other test uses: the store keeps every database for
// the life of the process.
std::wstring fresh_name()
{
    static std::atomic<int> counter{0};
    return L"/nonexistent-dir/store_test_" + std::to_wstring(++counter) + L".mdb";
}

// An engine and one database; every helper gives the first failing result.
struct store {
    com<DAODBEngine> engine;
    com<DAODatabase> db;
    std::wstring name = fresh_name();

    store()
    {
        EXPECT_EQ(CoCreateInstance(CLSID_DAODBEngine120, nullptr, CLSCTX_ALL, IID_DAODBEngine,
                                   reinterpret_cast<void**>(engine.out())),
                  S_OK);
    }
    HRESULT create(const std::wstring& locale = L";LANGID=0x0409;CP=1252;COUNTRY=0")
    {
        return engine->CreateDatabase(bstr(name).b, bstr(locale).b, variant(0).v, db.out());
    }
    HRESULT open(const std::wstring& connect, const std::wstring& path = L"")
    {
        return engine->OpenDatabase(bstr(path.empty() ? name : path).b, variant(0).v, variant(0).v,
                                    variant(connect).v, db.out());
    }
    std::string error()
    {
        com<DAOErrors> errors;
        com<DAOError> error;
        int32_t number = 0;
        BSTR text = nullptr;
        if (FAILED(engine->get_Errors(errors.out())) || FAILED(errors->get_Item(variant(0).v, error.out())) ||
            FAILED(error->get_Number(&number)) || FAILED(error->get_Description(&text)))
            return "no error";
        const std::string out = std::to_string(number) + ": " + to_utf8(bstr_view(text));
        SysFreeString(text);
        return out;
    }

    HRESULT table(const std::wstring& table_name, const std::vector<column>& columns, const std::vector<key>& indexes = {})
    {
        com<_DAOTableDef> def;
        com<DAOFields> fields;
        com<DAOIndexes> list;
        com<DAOTableDefs> defs;
        HRESULT hr = db->CreateTableDef(variant(table_name).v, variant(0).v, variant(L"").v, variant(L"").v, def.out());
        for (size_t i = 0; SUCCEEDED(hr) && i < columns.size(); ++i)
            hr = add_column(def.get(), columns[i]);
        for (size_t i = 0; SUCCEEDED(hr) && i < indexes.size(); ++i)
            hr = add_index(def.get(), indexes[i]);
        if (SUCCEEDED(hr))
            hr = db->get_TableDefs(defs.out());
        return SUCCEEDED(hr) ? defs->Append(def.get()) : hr;
    }
    static HRESULT add_column(_DAOTableDef* def, const column& c)
    {
        com<_DAOField> field;
        com<DAOFields> fields;
        HRESULT hr = def->CreateField(variant(c.name).v, variant(c.type).v, variant(c.size).v, field.out());
        if (SUCCEEDED(hr))
            hr = field->put_Required(c.required ? VARIANT_TRUE : VARIANT_FALSE);
        if (SUCCEEDED(hr))
            hr = field->put_AllowZeroLength(c.zero_length ? VARIANT_TRUE : VARIANT_FALSE);
        if (SUCCEEDED(hr) && !c.default_value.empty())
            hr = field->put_DefaultValue(variant(c.default_value).v);
        if (SUCCEEDED(hr))
            hr = field->put_Attributes(c.attributes);
        if (SUCCEEDED(hr))
            hr = def->get_Fields(fields.out());
        return SUCCEEDED(hr) ? fields->Append(field.get()) : hr;
    }
    static HRESULT add_index(_DAOTableDef* def, const key& x)
    {
        com<_DAOIndex> made;
        com<DAOIndexes> list;
        VARIANT object{};
        HRESULT hr = def->CreateIndex(variant(x.name).v, made.out());
        if (SUCCEEDED(hr))
            hr = made->get_Fields(&object);
        com<DAOIndexFields> fields;
        if (SUCCEEDED(hr))
            hr = object.punkVal->QueryInterface(IID_DAOIndexFields, reinterpret_cast<void**>(fields.out()));
        VariantClear(&object);
        for (size_t i = 0; SUCCEEDED(hr) && i < x.fields.size(); ++i) {
            com<_DAOField> field;
            hr = made->CreateField(variant(x.fields[i]).v, variant(dbText).v, variant(0).v, field.out());
            if (SUCCEEDED(hr))
                hr = fields->Append(field.get());
        }
        if (SUCCEEDED(hr))
            hr = made->put_Primary(x.primary ? VARIANT_TRUE : VARIANT_FALSE);
        if (SUCCEEDED(hr))
            hr = made->put_Unique(x.unique || x.primary ? VARIANT_TRUE : VARIANT_FALSE);
        if (SUCCEEDED(hr))
            hr = def->get_Indexes(list.out());
        return SUCCEEDED(hr) ? list->Append(made.get()) : hr;
    }
    // A new row: values by column position, a missing one left unset.
    HRESULT add(const std::wstring& table_name, const std::vector<variant>& values)
    {
        com<_DAOQueryDef> query;
        com<DAORecordset> rs;
        HRESULT hr = db->CreateQueryDef(variant(L"").v, variant(L"SELECT * FROM [" + table_name + L"]").v, query.out());
        if (SUCCEEDED(hr))
            hr = query->OpenRecordset(variant(dbOpenDynaset).v, variant(dbAppendOnly).v, rs.out());
        if (SUCCEEDED(hr))
            hr = rs->AddNew();
        for (size_t i = 0; SUCCEEDED(hr) && i < values.size(); ++i)
            hr = rs->put_Collect(variant(static_cast<int>(i)).v, values[i].v);
        return SUCCEEDED(hr) ? rs->Update(1, VARIANT_FALSE) : hr;
    }
    HRESULT relate(const std::wstring& relation, const std::wstring& parent, const std::wstring& child,
                   const std::vector<std::pair<std::wstring, std::wstring>>& pairs, int32_t attributes = 0)
    {
        com<_DAORelation> made;
        com<DAOFields> fields;
        com<DAORelations> list;
        HRESULT hr = db->CreateRelation(variant(relation).v, variant(parent).v, variant(child).v, variant(attributes).v,
                                        made.out());
        if (SUCCEEDED(hr))
            hr = made->get_Fields(fields.out());
        for (size_t i = 0; SUCCEEDED(hr) && i < pairs.size(); ++i) {
            com<_DAOField> field;
            hr = made->CreateField(variant(pairs[i].first).v, variant(dbLong).v, variant(0).v, field.out());
            if (SUCCEEDED(hr))
                hr = field->put_ForeignName(bstr(pairs[i].second).b);
            if (SUCCEEDED(hr))
                hr = fields->Append(field.get());
        }
        if (SUCCEEDED(hr))
            hr = db->get_Relations(list.out());
        return SUCCEEDED(hr) ? list->Append(made.get()) : hr;
    }
    // A parent "p" (id, unique) with the row 1, and a child "c" (id, pid).
    HRESULT parent_and_child()
    {
        HRESULT hr = table(L"p", {{L"id", dbLong, 4}}, {{L"pk", {L"id"}, true, true}});
        if (SUCCEEDED(hr))
            hr = table(L"c", {{L"id", dbLong, 4}, {L"pid", dbLong, 4}});
        if (SUCCEEDED(hr))
            hr = add(L"p", {variant(1)});
        return SUCCEEDED(hr) ? relate(L"FK_p_c", L"p", L"c", {{L"id", L"pid"}}) : hr;
    }
};

std::vector<column> ten_texts()
{
    std::vector<column> out;
    for (int i = 0; i < 10; ++i)
        out.push_back({L"t" + std::to_wstring(i), dbText, 255});
    return out;
}

std::vector<variant> full_texts(size_t count)
{
    return std::vector<variant>(count, variant(std::wstring(255, L'x')));
}

struct store_case {
    const char* what;
    std::function<HRESULT(store&)> call;
    int32_t number;
    const char* description;  // a part of it
};

} // namespace

TEST(DaoStore, RefusalsGiveTheirNumberAndDescription)
{
    const store_case cases[] = {
        {"create twice", [](store& s) { return s.create(); }, 3204,
         "has already been made"},
        {"open an unknown name", [](store& s) { return s.open(L"", L"/nonexistent-dir/nothing.mdb"); }, 3024,
         "There is no database file"},
        {"open a real file", [](store& s) { return s.open(L"", platform::from_utf8(fixture("openpyxl.xlsx"))); },
         3049, "is not a database this engine reads"},
        {"wrong password", [](store& s) { return s.open(L";pwd=wrong"); }, 3031, "password does not open"},
        {"duplicate table",
         [](store& s) { s.table(L"t", {{L"a"}}); return s.table(L"T", {{L"a"}}); }, 3010, "already has a table 'T'"},
        {"duplicate field", [](store& s) { return s.table(L"t", {{L"a"}, {L"A"}}); }, 3191, "already has a column 'A'"},
        {"duplicate index",
         [](store& s) { return s.table(L"t", {{L"a"}}, {{L"ix", {L"a"}}, {L"IX", {L"a"}}}); }, 3284,
         "already has an index 'IX'"},
        {"table without columns", [](store& s) { return s.table(L"t", {}); }, 3264, "has no columns"},
        {"index over a missing field", [](store& s) { return s.table(L"t", {{L"a"}}, {{L"ix", {L"b"}}}); }, 3264,
         "has no column 'b'"},
        {"eleven-field index",
         [](store& s) {
             std::vector<column> columns;
             std::vector<std::wstring> names;
             for (int i = 0; i < 11; ++i) {
                 columns.push_back({L"c" + std::to_wstring(i)});
                 names.push_back(columns.back().name);
             }
             return s.table(L"t", columns, {{L"wide", names}});
         },
         3281, "More than ten fields"},
        {"second primary index",
         [](store& s) {
             return s.table(L"t", {{L"a"}, {L"b"}}, {{L"pk", {L"a"}, true}, {L"pk2", {L"b"}, true}});
         },
         3283, "already has a primary key"},
        {"unique violation",
         [](store& s) {
             s.table(L"t", {{L"a"}}, {{L"ux", {L"a"}, false, true}});
             s.add(L"t", {variant(L"x")});
             return s.add(L"t", {variant(L"X")});
         },
         3022, "unique index 'ux'"},
        {"unique index the rows break",
         [](store& s) {
             s.table(L"t", {{L"a"}});
             s.add(L"t", {variant(L"x")});
             s.add(L"t", {variant(L"x")});
             com<DAOTableDefs> defs;
             com<_DAOTableDef> def;
             s.db->get_TableDefs(defs.out());
             defs->get_Item(variant(L"t").v, def.out());
             return store::add_index(def.get(), key(L"ux", {L"a"}, false, true));
         },
         3022, "unique index 'ux'"},
        {"null in a required field",
         [](store& s) {
             s.table(L"t", {{L"a", dbText, 50, true}, {L"b"}});
             return s.add(L"t", {variant::null(), variant(L"x")});
         },
         3314, "required in column 'a'"},
        {"text too long",
         [](store& s) {
             s.table(L"t", {{L"a", dbText, 3}});
             return s.add(L"t", {variant(L"abcd")});
         },
         3163, "longer than the size of column 'a'"},
        {"zero-length text",
         [](store& s) {
             s.table(L"t", {{L"a", dbText, 50, false, false}});
             return s.add(L"t", {variant(L"")});
         },
         3315, "empty text is not allowed in column 'a'"},
        {"value of the wrong type",
         [](store& s) {
             s.table(L"t", {{L"n", dbLong, 4}});
             return s.add(L"t", {variant(L"twelve")});
         },
         3421, "type of column 'n'"},
        {"child row without its parent",
         [](store& s) {
             s.parent_and_child();
             return s.add(L"c", {variant(1), variant(2)});
         },
         3201, "relation 'FK_p_c'"},
        {"relation without a unique parent index",
         [](store& s) {
             s.table(L"p", {{L"id", dbLong, 4}});
             s.table(L"c", {{L"pid", dbLong, 4}});
             return s.relate(L"r", L"p", L"c", {{L"id", L"pid"}});
         },
         3173, "no unique index"},
        {"table of a relation deleted",
         [](store& s) {
             s.parent_and_child();
             com<DAOTableDefs> defs;
             s.db->get_TableDefs(defs.out());
             return defs->Delete(bstr(L"p").b);
         },
         3303, "part of relation 'FK_p_c'"},
        {"record too large",
         [](store& s) {
             s.table(L"t", ten_texts());
             return s.add(L"t", full_texts(10));
         },
         3047, "Record is too large."},
        {"missing property",
         [](store& s) {
             s.table(L"t", {{L"a"}});
             com<_DAOQueryDef> q;
             com<DAOFields> fields;
             com<_DAOField> field;
             com<DAOProperties> props;
             com<DAOProperty> prop;
             s.db->CreateQueryDef(variant(L"").v, variant(L"SELECT * FROM [t]").v, q.out());
             q->get_Fields(fields.out());
             fields->get_Item(variant(0).v, field.out());
             field->get_Properties(props.out());
             return props->get_Item(variant(L"Description").v, prop.out());
         },
         3270, "no property of that name"},
        {"saved query run",
         [](store& s) {
             com<_DAOQueryDef> q;
             com<DAORecordset> rs;
             s.db->CreateQueryDef(variant(L"q").v, variant(L"SELECT 1").v, q.out());
             return q->OpenRecordset(variant(dbOpenDynaset).v, variant(0).v, rs.out());
         },
         3251, "kept as text"},
        {"relations unreadable",
         [](store& s) {
             platform::dao::dao_set_relations_readable(false);
             com<_DAOQueryDef> q;
             com<DAORecordset> rs;
             s.db->CreateQueryDef(variant(L"").v, variant(platform::dao::dao_relations_statement).v, q.out());
             const HRESULT hr = q->OpenRecordset(variant(dbOpenDynaset).v, variant(dbReadOnly).v, rs.out());
             platform::dao::dao_set_relations_readable(true);
             return hr;
         },
         3112, "permission to read table 'MSysRelationships'"},
        {"write to a workbook",
         [](store& s) {
             s.db.reset();
             EXPECT_EQ(s.open(L"Excel 8.0;", platform::from_utf8(fixture("openpyxl.xlsx"))), S_OK);
             com<_DAOTableDef> def;
             return s.db->CreateTableDef(variant(L"t").v, variant(0).v, variant(L"").v, variant(L"").v, def.out());
         },
         3251, "does not offer that operation"},
    };
    for (const store_case& c : cases) {
        SCOPED_TRACE(c.what);
        store s;
        ASSERT_EQ(s.create(L";LANGID=0x0409;CP=1252;COUNTRY=0;pwd=secret"), S_OK);
        s.db.reset();
        ASSERT_EQ(s.open(L";pwd=secret"), S_OK) << s.error();
        const HRESULT hr = c.call(s);
        EXPECT_EQ(hr, static_cast<HRESULT>(0x800A0000u | static_cast<uint32_t>(c.number)));
        const std::string error = s.error();
        EXPECT_EQ(error.rfind(std::to_string(c.number) + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.description), std::string::npos) << error;
    }
}

// Everything after "pwd=" is the password: a ';' in it adds no option.
TEST(DaoStore, PasswordsAndRegistration)
{
    store s;
    ASSERT_EQ(s.create(L";LANGID=0x0409;pwd=a;b"), S_OK);
    EXPECT_EQ(s.open(L""), static_cast<HRESULT>(0x800A0BD7u));  // 3031
    store plain;
    ASSERT_EQ(plain.create(), S_OK);
    EXPECT_EQ(plain.open(L""), S_OK);
    EXPECT_EQ(plain.open(L";pwd="), S_OK);
    store with_semicolon;
    ASSERT_EQ(with_semicolon.create(L";pwd=x;y"), S_OK);  // the locale's options end at ';'
    EXPECT_EQ(with_semicolon.open(L";pwd=x"), S_OK);
    EXPECT_EQ(with_semicolon.open(L";pwd=x;y"), static_cast<HRESULT>(0x800A0BD7u));
    // The same file reached by another spelling of its path is the same database.
    store relative;
    relative.name = L"store_relative.mdb";
    ASSERT_EQ(relative.create(), S_OK);
    EXPECT_EQ(relative.open(L"", L"./store_relative.mdb"), S_OK);
}

// Unset columns take their defaults; auto-numbers count from 1; texts keep
// every character.
TEST(DaoStore, RowsTakeDefaultsAndKeepTheirValues)
{
    store s;
    ASSERT_EQ(s.create(), S_OK);
    ASSERT_EQ(s.table(L"t", {{L"id", dbLong, 4, false, true, L"", dbAutoIncrField},
                             {L"q", dbText, 50, false, true, L"\"say \"\"hi\"\"\""},
                             {L"n", dbDouble, 8, false, true, L"2.5"},
                             {L"d", dbDate, 8, false, true, L"#2024-02-29#"},
                             {L"w", dbText, 50}}),
              S_OK)
        << s.error();
    ASSERT_EQ(s.add(L"t", {}), S_OK) << s.error();
    ASSERT_EQ(s.add(L"t", {variant(), variant(L"x"), variant(L"7"), variant::null(), variant(L"\u00e9\U0001F600")}), S_OK)
        << s.error();
    com<_DAOQueryDef> q;
    com<DAORecordset> rs;
    ASSERT_EQ(s.db->CreateQueryDef(variant(L"").v, variant(L"SELECT * FROM [t]").v, q.out()), S_OK);
    ASSERT_EQ(q->OpenRecordset(variant(dbOpenDynaset).v, variant(dbReadOnly).v, rs.out()), S_OK);
    std::vector<std::string> rows;
    for (VARIANT_BOOL eof = VARIANT_FALSE; rs->get_EOF(&eof) == S_OK && eof == VARIANT_FALSE; rs->MoveNext()) {
        std::string row;
        for (int i = 0; i < 5; ++i) {
            variant value;
            EXPECT_EQ(rs->get_Collect(variant(i).v, &value.v), S_OK);
            variant text;
            if (value.v.vt == VT_NULL)
                row += "NULL|";
            else if (VariantChangeType(&text.v, &value.v, 0, VT_BSTR) == S_OK)
                row += to_utf8(bstr_view(text.v.bstrVal)) + "|";
        }
        rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "1|say \"hi\"|2.5|2024-02-29|NULL|");
    EXPECT_EQ(rows[1], "2|x|7|NULL|\u00e9\U0001F600|");
}

// A too-large value is refused alone: the row goes on without it.
TEST(DaoStore, ATooLargeValueLeavesTheRowUsable)
{
    store s;
    ASSERT_EQ(s.create(), S_OK);
    ASSERT_EQ(s.table(L"t", ten_texts()), S_OK);
    com<_DAOQueryDef> q;
    com<DAORecordset> rs;
    ASSERT_EQ(s.db->CreateQueryDef(variant(L"").v, variant(L"SELECT * FROM [t]").v, q.out()), S_OK);
    ASSERT_EQ(q->OpenRecordset(variant(dbOpenDynaset).v, variant(dbAppendOnly).v, rs.out()), S_OK);
    ASSERT_EQ(rs->AddNew(), S_OK);
    HRESULT last = S_OK;
    int refused = -1;
    for (int i = 0; i < 10; ++i) {
        last = rs->put_Collect(variant(i).v, variant(std::wstring(255, L'x')).v);
        if (FAILED(last) && refused < 0)
            refused = i;
    }
    EXPECT_EQ(refused, 7);  // 8 texts of 255 characters pass 4,000 bytes
    EXPECT_EQ(rs->put_Collect(variant(refused).v, VARIANT{}), S_OK);
    EXPECT_EQ(rs->Update(1, VARIANT_FALSE), S_OK) << s.error();
}
