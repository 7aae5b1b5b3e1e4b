// The store's databases as DAO-like objects: the database, its table and
// query definitions, detached definitions (tables, fields, indexes,
// relations) that are checked when appended, and the registry of the
// databases made in this process.
#include "platform/dao/pl_store.hpp"

#include "platform/dao/pl_daosq.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_utf8.hpp"

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>

namespace platform::dao {

const wchar_t dao_relations_statement[] = L"SELECT szRelationship, szColumn, szObject, szReferencedObject, "
                                          L"szReferencedColumn, grbit FROM MSysRelationships ORDER BY szRelationship";

namespace {

std::atomic<bool> relations_readable{true};

// The text of a VARIANT name argument; false when it is none.
bool name_of(const VARIANT& v, std::wstring& out)
{
    if (v.vt == VT_EMPTY) {
        out.clear();
        return true;
    }
    if (v.vt != VT_BSTR)
        return false;
    out = std::wstring(bstr_view(v.bstrVal));
    return true;
}

// What the objects over one database share: reaching it, closed or not.
template <class Itf> class store_object : public dao_object<Itf> {
public:
    store_object(dao_session_ptr session, store_database_ptr db, const IID* iid = nullptr)
        : dao_object<Itf>(std::move(session), iid), db(std::move(db)) {}

protected:
    store_database_ptr db;
};

// --- fields ----------------------------------------------------------------

// A field made by CreateField: a column of a table, a field of an index, or
// a column pair of a relation, until it is appended.
class field_def : public dao_object<_DAOField> {
public:
    field_def(dao_session_ptr session, store_column column)
        : dao_object(std::move(session), &IID_DAOField), column(std::move(column))
    {
        this->column.attributes = this->column.type == dbText || this->column.type == dbMemo ? dbVariableField : dbFixedField;
    }

    HRESULT get_Name(BSTR* out) override { return put_text(column.name, out); }
    HRESULT get_Type(int16_t* out) override { return put(column.type, out); }
    HRESULT get_Size(int32_t* out) override { return put(column.size, out); }
    HRESULT get_Value(VARIANT*) override { return fail(err_invalid_operation, L"A field definition holds no value."); }
    HRESULT get_Attributes(int32_t* out) override { return put(column.attributes, out); }
    HRESULT put_Attributes(int32_t value) override { return set(column.attributes, value); }
    HRESULT get_Required(VARIANT_BOOL* out) override { return put(flag(column.required), out); }
    HRESULT put_Required(VARIANT_BOOL value) override { return set(column.required, value != VARIANT_FALSE); }
    HRESULT get_DefaultValue(VARIANT* out) override;
    HRESULT put_DefaultValue(VARIANT value) override;
    HRESULT get_AllowZeroLength(VARIANT_BOOL* out) override { return put(flag(column.allow_zero_length), out); }
    HRESULT put_AllowZeroLength(VARIANT_BOOL value) override { return set(column.allow_zero_length, value != VARIANT_FALSE); }
    HRESULT get_ForeignName(BSTR* out) override { return put_text(foreign_name, out); }
    HRESULT put_ForeignName(BSTR value) override { return set(foreign_name, std::wstring(bstr_view(value))); }
    HRESULT get_Properties(DAOProperties**) override { return not_supported(); }

    store_column column;
    std::wstring foreign_name;

private:
    static VARIANT_BOOL flag(bool on) { return on ? VARIANT_TRUE : VARIANT_FALSE; }
    template <class T, class V> HRESULT set(T& member, V value)
    {
        member = std::move(value);
        return S_OK;
    }
};

HRESULT field_def::get_DefaultValue(VARIANT* out)
{
    if (out == nullptr)
        return bad_argument();
    VariantInit(out);
    out->vt = VT_BSTR;
    out->bstrVal = SysAllocStringLen(column.default_value.data(), static_cast<uint32_t>(column.default_value.size()));
    return S_OK;
}

// Kept as text, as written.
HRESULT field_def::put_DefaultValue(VARIANT value)
{
    held_variant text;
    if (value.vt != VT_EMPTY && value.vt != VT_NULL && FAILED(VariantChangeType(&text.v, &value, 0, VT_BSTR)))
        return fail(err_conversion, L"The default value cannot be written as text.");
    column.default_value = text.v.vt == VT_BSTR ? std::wstring(bstr_view(text.v.bstrVal)) : std::wstring();
    return S_OK;
}

bool known_type(int32_t type) { return (type >= 1 && type <= 12) || type == 15; }

// The size a field of that type has: a fixed type's own, a text's as asked
// (255 when none), none for a memo or long binary.
int32_t field_size(int16_t type, int32_t asked)
{
    switch (type) {
    case 1: case 2: return 1;
    case 3: return 2;
    case 4: case 6: return 4;
    case 5: case 7: case 8: return 8;
    case 15: return 16;
    case dbText: return asked == 0 ? 255 : asked;
    case 9: return asked;
    default: return 0;
    }
}

// The objects that make fields: CreateField's arguments are a name, and for
// a column its type and size.
template <class Itf> class field_maker : public dao_object<Itf> {
public:
    using dao_object<Itf>::dao_object;

protected:
    HRESULT create_field(VARIANT name, VARIANT type, VARIANT size, _DAOField** out) const
    {
        store_column column;
        int32_t kind = 0, bytes = 0;
        if (out == nullptr || !name_of(name, column.name) || !dao_integer(type, dbText, kind) ||
            !dao_integer(size, 0, bytes))
            return this->bad_argument();
        if (!known_type(kind))
            return this->fail(err_bad_field_type, L"The field type is not one the database knows.");
        column.type = static_cast<int16_t>(kind);
        column.size = field_size(column.type, bytes);
        return dao_make<field_def>(this->session, std::move(column)).hand_out(out);
    }
};

// Fields of a table: its columns; fields appended while the table is only a
// definition become its columns.
class table_fields : public dao_object<DAOFields> {
public:
    table_fields(dao_session_ptr session, store_table_ptr table) : dao_object(std::move(session)), table(std::move(table)) {}
    HRESULT get_Count(int16_t* out) override { return put(static_cast<int16_t>(table->columns.size()), out); }
    HRESULT get_Item(VARIANT key, _DAOField** out) override
    {
        return guarded([&] { return dao_make_fields(session, table, nullptr)->get_Item(key, out); });
    }
    HRESULT Append(IUnknown* object) override;

private:
    store_table_ptr table;
};

HRESULT table_fields::Append(IUnknown* object)
{
    const auto* field = dynamic_cast<field_def*>(object);
    if (field == nullptr)
        return bad_argument();
    if (table->owner != nullptr)
        return fail(err_invalid_operation, L"Columns are added to a table only before it is appended.");
    return guarded([&] {
        table->add_column(field->column);
        return S_OK;
    });
}

// --- indexes -----------------------------------------------------------------

using index_ptr = std::shared_ptr<store_index>;

class index_fields : public dao_object<DAOIndexFields> {
public:
    index_fields(dao_session_ptr session, index_ptr index, bool appendable)
        : dao_object(std::move(session), &IID_DAOIndexFields), index(std::move(index)), appendable(appendable) {}
    HRESULT get_Count(int16_t* out) override { return put(static_cast<int16_t>(index->fields.size()), out); }
    HRESULT get_Item(VARIANT key, VARIANT* out) override;
    HRESULT Append(IUnknown* object) override
    {
        const auto* field = dynamic_cast<field_def*>(object);
        if (field == nullptr)
            return bad_argument();
        if (!appendable)
            return fail(err_invalid_operation, L"The fields of an appended index cannot change.");
        index->fields.push_back(field->column.name);
        return S_OK;
    }

private:
    index_ptr index;
    bool appendable;
};

HRESULT index_fields::get_Item(VARIANT key, VARIANT* out)
{
    size_t at = 0;
    if (out == nullptr)
        return bad_argument();
    if (!dao_find_item(key, index->fields.size(), index->fields, at))
        return not_found();
    store_column column;
    column.name = index->fields[at];
    _DAOField* field = nullptr;
    dao_make<field_def>(session, std::move(column)).hand_out(&field);
    VariantInit(out);
    out->vt = VT_DISPATCH;
    out->punkVal = field;
    return S_OK;
}

class index_object : public field_maker<_DAOIndex> {
public:
    index_object(dao_session_ptr session, index_ptr index, bool appendable)
        : field_maker(std::move(session)), index(std::move(index)), appendable(appendable) {}
    HRESULT get_Name(BSTR* out) override { return put_text(index->name, out); }
    HRESULT get_Primary(VARIANT_BOOL* out) override { return put(index->primary ? VARIANT_TRUE : VARIANT_FALSE, out); }
    HRESULT put_Primary(VARIANT_BOOL value) override { return set(index->primary, value); }
    HRESULT get_Unique(VARIANT_BOOL* out) override { return put(index->unique ? VARIANT_TRUE : VARIANT_FALSE, out); }
    HRESULT put_Unique(VARIANT_BOOL value) override { return set(index->unique, value); }
    HRESULT get_Foreign(VARIANT_BOOL* out) override { return put(index->foreign ? VARIANT_TRUE : VARIANT_FALSE, out); }
    HRESULT get_Fields(VARIANT* out) override
    {
        if (out == nullptr)
            return bad_argument();
        DAOIndexFields* fields = nullptr;
        dao_make<index_fields>(session, index, appendable).hand_out(&fields);
        VariantInit(out);
        out->vt = VT_DISPATCH;
        out->punkVal = fields;
        return S_OK;
    }
    HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** out) override
    {
        return create_field(name, type, size, out);
    }

    index_ptr index;

private:
    HRESULT set(bool& member, VARIANT_BOOL value)
    {
        if (!appendable)
            return fail(err_invalid_operation, L"An appended index cannot change.");
        member = value != VARIANT_FALSE;
        return S_OK;
    }

    bool appendable;
};

class table_indexes : public dao_object<DAOIndexes> {
public:
    table_indexes(dao_session_ptr session, store_table_ptr table) : dao_object(std::move(session)), table(std::move(table)) {}
    HRESULT get_Count(int16_t* out) override { return put(static_cast<int16_t>(table->indexes.size()), out); }
    HRESULT get_Item(VARIANT key, _DAOIndex** out) override
    {
        std::vector<std::wstring> names;
        for (const store_index& index : table->indexes)
            names.push_back(index.name);
        size_t at = 0;
        if (out == nullptr)
            return bad_argument();
        if (!dao_find_item(key, names.size(), names, at))
            return not_found();
        return dao_make<index_object>(session, std::make_shared<store_index>(table->indexes[at]), false).hand_out(out);
    }
    HRESULT Append(IUnknown* object) override
    {
        const auto* index = dynamic_cast<index_object*>(object);
        if (index == nullptr)
            return bad_argument();
        return guarded([&] {
            table->add_index(*index->index);
            return S_OK;
        });
    }

private:
    store_table_ptr table;
};

// --- tables --------------------------------------------------------------------

class tabledef : public field_maker<_DAOTableDef> {
public:
    tabledef(dao_session_ptr session, store_table_ptr table) : field_maker(std::move(session)), table(std::move(table)) {}
    HRESULT get_Name(BSTR* out) override { return put_text(table->name, out); }
    HRESULT get_Attributes(int32_t* out) override { return put(table->attributes, out); }
    HRESULT get_RecordCount(int32_t* out) override { return put(static_cast<int32_t>(table->rows()), out); }
    HRESULT get_Fields(DAOFields** out) override
    {
        return out == nullptr ? bad_argument() : dao_make<table_fields>(session, table).hand_out(out);
    }
    HRESULT get_Indexes(DAOIndexes** out) override
    {
        return out == nullptr ? bad_argument() : dao_make<table_indexes>(session, table).hand_out(out);
    }
    HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** out) override
    {
        return create_field(name, type, size, out);
    }
    HRESULT CreateIndex(VARIANT name, _DAOIndex** out) override
    {
        auto index = std::make_shared<store_index>();
        if (out == nullptr || !name_of(name, index->name))
            return bad_argument();
        return dao_make<index_object>(session, std::move(index), true).hand_out(out);
    }

    store_table_ptr table;
};

class tabledefs : public store_object<DAOTableDefs> {
public:
    using store_object::store_object;
    HRESULT get_Count(int16_t* out) override { return put(static_cast<int16_t>(db->tables.size()), out); }
    HRESULT get_Item(VARIANT key, _DAOTableDef** out) override
    {
        std::vector<std::wstring> names;
        for (const auto& t : db->tables)
            names.push_back(t->name);
        size_t at = 0;
        if (out == nullptr)
            return bad_argument();
        if (!dao_find_item(key, names.size(), names, at))
            return not_found();
        return dao_make<tabledef>(session, db->tables[at]).hand_out(out);
    }
    HRESULT Append(IUnknown* object) override
    {
        const auto* table = dynamic_cast<tabledef*>(object);
        if (table == nullptr)
            return bad_argument();
        if (table->table->owner != nullptr)
            return fail(err_table_exists, L"The table is already in a database.");
        return guarded([&] {
            db->append_table(table->table);
            return S_OK;
        });
    }
    HRESULT Delete(BSTR name) override
    {
        return guarded([&] {
            db->delete_table(bstr_view(name));
            return S_OK;
        });
    }
};

// --- queries -------------------------------------------------------------------

// A saved query: its SQL is kept as text and never run here.
class saved_query : public dao_object<_DAOQueryDef> {
public:
    saved_query(dao_session_ptr session, std::wstring name, std::wstring sql)
        : dao_object(std::move(session)), name(std::move(name)), sql(std::move(sql)) {}
    HRESULT get_Name(BSTR* out) override { return put_text(name, out); }
    HRESULT get_SQL(BSTR* out) override { return put_text(sql, out); }
    HRESULT get_Fields(DAOFields**) override { return not_run(); }
    HRESULT OpenRecordset(VARIANT, VARIANT, DAORecordset**) override { return not_run(); }

private:
    HRESULT not_run() const { return fail(err_not_supported, L"Saved queries are kept as text and not run here."); }

    std::wstring name, sql;
};

class querydefs : public store_object<DAOQueryDefs> {
public:
    using store_object::store_object;
    HRESULT get_Count(int16_t* out) override { return put(static_cast<int16_t>(db->queries.size()), out); }
    HRESULT get_Item(VARIANT key, _DAOQueryDef** out) override
    {
        std::vector<std::wstring> names;
        for (const auto& q : db->queries)
            names.push_back(q.first);
        size_t at = 0;
        if (out == nullptr)
            return bad_argument();
        if (!dao_find_item(key, names.size(), names, at))
            return not_found();
        return dao_make<saved_query>(session, db->queries[at].first, db->queries[at].second).hand_out(out);
    }
};

// A temporary query over one table: its rows, or their count.
class table_query : public dao_object<_DAOQueryDef> {
public:
    table_query(dao_session_ptr session, store_table_ptr table, std::wstring sql, bool count)
        : dao_object(std::move(session)), table(std::move(table)), sql(std::move(sql)), count(count) {}
    HRESULT get_Name(BSTR* out) override { return put_text(L"", out); }
    HRESULT get_SQL(BSTR* out) override { return put_text(sql, out); }
    HRESULT get_Fields(DAOFields** out) override
    {
        return out == nullptr ? bad_argument() : dao_make_fields(session, rows(), nullptr).hand_out(out);
    }
    HRESULT OpenRecordset(VARIANT type, VARIANT options, DAORecordset** out) override;

private:
    dao_rows_ptr rows() const { return count ? dao_count_rows(table->rows()) : dao_rows_ptr(table); }

    store_table_ptr table;
    std::wstring sql;
    bool count;
};

// A system table, a count and a read-only recordset are only read.
HRESULT table_query::OpenRecordset(VARIANT type, VARIANT options, DAORecordset** out)
{
    int32_t kind = 0, flags = 0;
    if (out == nullptr || !dao_integer(type, dbOpenDynaset, kind) || !dao_integer(options, 0, flags) ||
        (kind != dbOpenDynaset && kind != dbOpenSnapshot && kind != dbOpenForwardOnly))
        return bad_argument();
    if ((table->attributes & dbSystemObject) && !relations_readable.load())
        return fail(err_not_readable, L"There is no permission to read table '" + table->name + L"'.");
    const bool writable = !count && (flags & dbReadOnly) == 0 && (table->attributes & dbSystemObject) == 0;
    return guarded([&] {
        return dao_make_recordset(session, rows(), (flags & dbAppendOnly) != 0,
                                  writable ? std::shared_ptr<dao_writer>(table) : nullptr)
            .hand_out(out);
    });
}

// --- relations -----------------------------------------------------------------

using relation_ptr = std::shared_ptr<store_relation>;

class relation_fields : public dao_object<DAOFields> {
public:
    relation_fields(dao_session_ptr session, relation_ptr relation)
        : dao_object(std::move(session)), relation(std::move(relation)) {}
    HRESULT get_Count(int16_t* out) override { return put(static_cast<int16_t>(relation->fields.size()), out); }
    HRESULT get_Item(VARIANT, _DAOField**) override { return not_supported(); }
    HRESULT Append(IUnknown* object) override
    {
        const auto* field = dynamic_cast<field_def*>(object);
        if (field == nullptr)
            return bad_argument();
        relation->fields.push_back(field->column.name);
        relation->foreign_fields.push_back(field->foreign_name);
        return S_OK;
    }

private:
    relation_ptr relation;
};

class relation_def : public field_maker<_DAORelation> {
public:
    relation_def(dao_session_ptr session, relation_ptr relation)
        : field_maker(std::move(session)), relation(std::move(relation)) {}
    HRESULT get_Fields(DAOFields** out) override
    {
        return out == nullptr ? bad_argument() : dao_make<relation_fields>(session, relation).hand_out(out);
    }
    HRESULT CreateField(VARIANT name, VARIANT type, VARIANT size, _DAOField** out) override
    {
        return create_field(name, type, size, out);
    }

    relation_ptr relation;
};

class relations : public store_object<DAORelations> {
public:
    using store_object::store_object;
    HRESULT Append(IUnknown* object) override
    {
        const auto* relation = dynamic_cast<relation_def*>(object);
        if (relation == nullptr)
            return bad_argument();
        return guarded([&] {
            db->append_relation(*relation->relation);
            return S_OK;
        });
    }
};

// --- the database ----------------------------------------------------------------

class database : public store_object<DAODatabase> {
public:
    using store_object::store_object;

    HRESULT get_TableDefs(DAOTableDefs** out) override { return open(out, [&] { return make<tabledefs>(out); }); }
    HRESULT get_QueryDefs(DAOQueryDefs** out) override { return open(out, [&] { return make<querydefs>(out); }); }
    HRESULT get_Relations(DAORelations** out) override { return open(out, [&] { return make<relations>(out); }); }
    HRESULT CreateQueryDef(VARIANT name, VARIANT sql, _DAOQueryDef** out) override;
    HRESULT CreateTableDef(VARIANT name, VARIANT attributes, VARIANT, VARIANT, _DAOTableDef** out) override;
    HRESULT CreateRelation(VARIANT name, VARIANT table, VARIANT foreign_table, VARIANT attributes,
                           _DAORelation** out) override;
    HRESULT Close() override
    {
        if (closed)
            return object_closed();
        closed = true;
        return S_OK;
    }

    store_database* store() const { return db.get(); }

private:
    template <class T, class F> HRESULT open(T* out, F&& body)
    {
        if (closed)
            return object_closed();
        return out == nullptr ? bad_argument() : body();
    }
    template <class Made, class T> HRESULT make(T** out) { return dao_make<Made>(session, db).hand_out(out); }
    HRESULT temporary_query(const std::wstring& sql, _DAOQueryDef** out);

    bool closed = false;
};

HRESULT database::CreateQueryDef(VARIANT name, VARIANT sql, _DAOQueryDef** out)
{
    return open(out, [&]() -> HRESULT {
        std::wstring query_name;
        if (!name_of(name, query_name) || sql.vt != VT_BSTR)
            return bad_argument();
        std::wstring text(bstr_view(sql.bstrVal));
        if (query_name.empty())
            return temporary_query(text, out);
        return guarded([&] {
            db->save_query(query_name, text);
            return dao_make<saved_query>(session, query_name, text).hand_out(out);
        });
    });
}

HRESULT database::temporary_query(const std::wstring& sql, _DAOQueryDef** out)
{
    dao_select select;
    if (sql == dao_relations_statement)
        select.table = L"MSysRelationships";
    else if (const int32_t error = dao_parse_select(sql, select))
        return fail(error, dao_select_error(error));
    const store_table_ptr table = db->find_table(select.table);
    if (!table)
        return fail(err_input_table, L"The database has no table or query '" + select.table + L"' to read.");
    return dao_make<table_query>(session, table, sql, select.count).hand_out(out);
}

HRESULT database::CreateTableDef(VARIANT name, VARIANT attributes, VARIANT, VARIANT, _DAOTableDef** out)
{
    return open(out, [&]() -> HRESULT {
        std::wstring table_name;
        int32_t bits = 0;
        if (!name_of(name, table_name) || !dao_integer(attributes, 0, bits))
            return bad_argument();
        return dao_make<tabledef>(session, std::make_shared<store_table>(table_name, bits)).hand_out(out);
    });
}

HRESULT database::CreateRelation(VARIANT name, VARIANT table, VARIANT foreign_table, VARIANT attributes,
                                 _DAORelation** out)
{
    return open(out, [&]() -> HRESULT {
        auto relation = std::make_shared<store_relation>();
        if (!name_of(name, relation->name) || !name_of(table, relation->table) ||
            !name_of(foreign_table, relation->foreign_table) || !dao_integer(attributes, 0, relation->attributes))
            return bad_argument();
        return dao_make<relation_def>(session, std::move(relation)).hand_out(out);
    });
}

// --- the registry ----------------------------------------------------------------

std::mutex registry_lock;
std::map<std::wstring, store_database_ptr>& registry()
{
    static std::map<std::wstring, store_database_ptr> databases;
    return databases;
}

std::wstring absolute_name(const std::wstring& name)
{
    return from_utf8(std::filesystem::absolute(std::filesystem::path(to_utf8(name))).lexically_normal().string());
}

// The value of option key in a text of ";key=value" parts.
std::wstring option(std::wstring_view text, std::wstring_view key)
{
    for (size_t at = 0; at <= text.size();) {
        size_t end = text.find(L';', at);
        if (end == std::wstring_view::npos)
            end = text.size();
        const std::wstring_view part = text.substr(at, end - at);
        const size_t eq = part.find(L'=');
        if (eq != std::wstring_view::npos && equal_no_case(part.substr(0, eq), key))
            return std::wstring(part.substr(eq + 1));
        at = end + 1;
    }
    return {};
}

constexpr std::wstring_view password_prefix = L";pwd=";

} // namespace

bool dao_is_store_connect(std::wstring_view connect)
{
    return connect.empty() ||
           (connect.size() >= password_prefix.size() && equal_no_case(connect.substr(0, password_prefix.size()), password_prefix));
}

dao_ref<DAODatabase> dao_create_store(dao_session_ptr session, const std::wstring& name, std::wstring_view locale)
{
    if (name.empty())
        store_fail(err_invalid_name, L"A database needs a file name.");
    const std::wstring path = absolute_name(name);
    const std::lock_guard<std::mutex> hold(registry_lock);
    auto& databases = registry();
    if (databases.count(path) != 0)
        store_fail(err_database_exists, L"A database '" + path + L"' has already been made.");
    auto made = std::make_shared<store_database>(path, option(locale, L"pwd"));
    databases.emplace(path, made);
    return dao_ref<DAODatabase>(new database(std::move(session), std::move(made)));
}

// Everything after "pwd=" is the password, so a ';' in it adds no option.
dao_ref<DAODatabase> dao_open_store(dao_session_ptr session, const std::wstring& name, std::wstring_view connect)
{
    const std::wstring password(connect.empty() ? std::wstring_view() : connect.substr(password_prefix.size()));
    store_database_ptr found;
    {
        const std::lock_guard<std::mutex> hold(registry_lock);
        const auto it = registry().find(absolute_name(name));
        if (it == registry().end())
            return {};
        found = it->second;
    }
    if (password != found->password)
        store_fail(err_bad_password, L"The password does not open database '" + found->path + L"'.");
    return dao_ref<DAODatabase>(new database(std::move(session), std::move(found)));
}

bool dao_set_column_property(DAODatabase* given, const std::wstring& table, const std::wstring& column,
                             const std::wstring& property, const std::wstring& value)
{
    const auto* opened = dynamic_cast<database*>(given);
    if (opened == nullptr || !(equal_no_case(property, L"Description") || equal_no_case(property, L"Format")))
        return false;
    const store_table_ptr found = opened->store()->find_table(table);
    const size_t at = found ? found->find_column(column) : std::wstring::npos;
    if (at == std::wstring::npos)
        return false;
    auto& properties = found->columns[at].properties;
    for (auto& p : properties)
        if (equal_no_case(p.first, property)) {
            p.second = value;
            return true;
        }
    properties.emplace_back(property, value);
    return true;
}

void dao_set_relations_readable(bool readable) { relations_readable.store(readable); }

} // namespace platform::dao
