// The rules of the store's tables: what a column, an index, a row and a
// relation must satisfy before they are kept. Texts compare without regard
// to case, as the Access engine compares them, in names and in key values.
#include "platform/dao/pl_store.hpp"

#include "platform/ole/pl_vdate.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <ctime>

namespace platform::dao {

namespace {

constexpr size_t max_index_fields = 10;
constexpr size_t max_row_bytes = 4000;

void fail_column(int32_t number, const wchar_t* what, const std::wstring& column)
{
    store_fail(number, what + (L" '" + column + L"'."));
}

VARTYPE vartype_of(int16_t type)
{
    switch (type) {
    case 1: return VT_BOOL;
    case 2: return VT_UI1;
    case 3: return VT_I2;
    case 4: return VT_I4;
    case 5: return VT_CY;
    case 6: return VT_R4;
    case 7: return VT_R8;
    case 8: return VT_DATE;
    default: return VT_BSTR;  // text, memo, GUID
    }
}

bool binary_type(int16_t type) { return type == 9 || type == 11; }
// Memos and long binaries are kept apart from the row: they do not count
// towards its size.
bool outside_row(int16_t type) { return type == dbMemo || type == 11; }
bool is_null(const VARIANT& v) { return v.vt == VT_EMPTY || v.vt == VT_NULL; }

size_t byte_size(int16_t type, const VARIANT& v)
{
    if (is_null(v) || outside_row(type))
        return 0;
    if (v.vt == VT_BSTR)
        return SysStringLen(v.bstrVal) * 2;
    if ((v.vt & VT_ARRAY) != 0)
        return v.parray->rgsabound.empty() ? 0 : v.parray->rgsabound[0].cElements;
    switch (v.vt) {
    case VT_BOOL: case VT_UI1: return 1;
    case VT_I2: return 2;
    case VT_I4: case VT_R4: return 4;
    default: return 8;
    }
}

std::wstring text_of(const VARIANT& v)
{
    held_variant text;
    if (FAILED(VariantChangeType(&text.v, &v, 0, VT_BSTR)))
        return {};
    return std::wstring(bstr_view(text.v.bstrVal));
}

// Equal key values: Nulls are never equal, texts ignore case.
bool same_value(const VARIANT& a, const VARIANT& b)
{
    if (is_null(a) || is_null(b))
        return false;
    if (a.vt == VT_BSTR || b.vt == VT_BSTR)
        return equal_no_case(text_of(a), text_of(b));
    held_variant x, y;
    if (FAILED(VariantChangeType(&x.v, &a, 0, VT_R8)) || FAILED(VariantChangeType(&y.v, &b, 0, VT_R8)))
        return false;
    return x.v.dblVal == y.v.dblVal;
}

// The current moment, or its date or time part alone.
DATE current_time(bool date_part, bool time_part)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    SYSTEMTIME st{};
    st.wYear = static_cast<uint16_t>(date_part ? local.tm_year + 1900 : 1899);
    st.wMonth = static_cast<uint16_t>(date_part ? local.tm_mon + 1 : 12);
    st.wDay = static_cast<uint16_t>(date_part ? local.tm_mday : 30);
    if (time_part) {
        st.wHour = static_cast<uint16_t>(local.tm_hour);
        st.wMinute = static_cast<uint16_t>(local.tm_min);
        st.wSecond = static_cast<uint16_t>(local.tm_sec);
    }
    DATE out = 0;
    SystemTimeToVariantTime(&st, &out);
    return out;
}

// A default written in the engine's syntax: "text" (an inner quote
// doubled), 'text', #date#, Now(), Date(), Time(), or a plain number; an
// optional "=" in front.
std::wstring unquoted(std::wstring text)
{
    if (!text.empty() && text.front() == L'=')
        text.erase(0, 1);
    if (text.size() < 2)
        return text;
    const wchar_t first = text.front();
    if ((first != L'"' && first != L'\'' && first != L'#') || text.back() != first)
        return text;
    std::wstring inner = text.substr(1, text.size() - 2);
    const std::wstring doubled(2, first);
    for (size_t at = inner.find(doubled); first != L'#' && at != std::wstring::npos; at = inner.find(doubled, at + 1))
        inner.erase(at, 1);
    return inner;
}

void evaluate_default(const store_column& column, VARIANT& out)
{
    const std::wstring& text = column.default_value;
    const bool now = equal_no_case(text, L"Now()"), today = equal_no_case(text, L"Date()"),
               time = equal_no_case(text, L"Time()");
    held_variant source;
    if (now || today || time) {
        source.v.vt = VT_DATE;
        source.v.date = current_time(!time, !today);
    } else {
        const std::wstring inner = unquoted(text);
        source.v.vt = VT_BSTR;
        source.v.bstrVal = SysAllocStringLen(inner.data(), static_cast<uint32_t>(inner.size()));
    }
    if (FAILED(VariantChangeType(&out, &source.v, 0, vartype_of(column.type))))
        fail_column(err_conversion, L"The default value does not suit the type of column", column.name);
}

} // namespace

void store_fail(int32_t number, const std::wstring& description) { throw read_error(number, to_utf8(description)); }

dao_column store_table::describe(size_t column) const
{
    const store_column& c = columns[column];
    return {c.size, c.attributes, c.required, c.allow_zero_length, c.default_value, c.properties};
}

void store_table::value(size_t column, size_t row, VARIANT& out) const
{
    VariantInit(&out);
    if (FAILED(VariantCopy(&out, &data[row][column].v)))
        throw std::bad_alloc();
}

size_t store_table::find_column(std::wstring_view column) const
{
    for (size_t i = 0; i < columns.size(); ++i)
        if (equal_no_case(columns[i].name, column))
            return i;
    return std::wstring::npos;
}

void store_table::add_column(store_column column)
{
    if (column.name.empty())
        store_fail(err_invalid_name, L"A column needs a name.");
    if (find_column(column.name) != std::wstring::npos)
        fail_column(err_field_exists, L"The table already has a column", column.name);
    column_names.push_back(column.name);
    columns.push_back(std::move(column));
}

void store_table::add_index(store_index index)
{
    for (const store_index& listed : indexes)
        if (equal_no_case(listed.name, index.name))
            fail_column(err_index_exists, L"The table already has an index", index.name);
    if (index.fields.empty())
        fail_column(err_no_field, L"There are no fields in index", index.name);
    if (index.fields.size() > max_index_fields)
        fail_column(err_index_too_wide, L"More than ten fields make up index", index.name);
    for (const std::wstring& field : index.fields)
        if (find_column(field) == std::wstring::npos)
            fail_column(err_no_field, L"The table has no column", field);
    if (index.primary && std::any_of(indexes.begin(), indexes.end(), [](const store_index& i) { return i.primary; }))
        fail_column(err_primary_exists, L"The table already has a primary key; refused", index.name);
    if (index.primary || index.unique)
        for (const auto& row : data)
            check_unique(index, row);
    indexes.push_back(std::move(index));
}

void store_table::put(std::vector<held_variant>& row, size_t column, const VARIANT& value)
{
    const store_column& c = columns[column];
    held_variant converted;
    // An auto-number has no Null: it stays unset, to be numbered.
    if (is_null(value))
        converted.v.vt = (c.attributes & dbAutoIncrField) ? VT_EMPTY : VT_NULL;
    else if (binary_type(c.type) ? value.vt != (VT_ARRAY | VT_UI1) || FAILED(VariantCopy(&converted.v, &value))
                                 : FAILED(VariantChangeType(&converted.v, &value, 0, vartype_of(c.type))))
        fail_column(err_conversion, L"The value cannot be changed to the type of column", c.name);
    size_t total = byte_size(c.type, converted.v);
    for (size_t i = 0; i < row.size(); ++i)
        total += i == column ? 0 : byte_size(columns[i].type, row[i].v);
    if (total > max_row_bytes)
        store_fail(err_record_too_large, L"Record is too large.");
    row[column] = converted;
}

void store_table::fill_defaults(std::vector<held_variant>& row)
{
    for (size_t i = 0; i < columns.size(); ++i) {
        VARIANT& v = row[i].v;
        if (v.vt != VT_EMPTY)
            continue;
        if (columns[i].attributes & dbAutoIncrField) {
            v.vt = VT_I4;
            v.lVal = next_number;
        } else if (!columns[i].default_value.empty()) {
            evaluate_default(columns[i], v);
        } else {
            v.vt = VT_NULL;
        }
    }
}

void store_table::check_unique(const store_index& index, const std::vector<held_variant>& row) const
{
    for (const auto& other : data) {
        if (&other == &row)
            continue;
        bool same = true;
        for (const std::wstring& field : index.fields) {
            const size_t c = find_column(field);
            same = same && same_value(row[c].v, other[c].v);
        }
        if (same)
            store_fail(err_duplicate_key, L"The row repeats the values of unique index '" + index.name + L"' of table '" +
                                              name + L"'.");
    }
}

void store_table::check_row(const std::vector<held_variant>& row) const
{
    for (size_t i = 0; i < columns.size(); ++i) {
        const store_column& c = columns[i];
        const VARIANT& v = row[i].v;
        if (c.required && is_null(v))
            fail_column(err_required, L"A value is required in column", c.name);
        if (v.vt != VT_BSTR)
            continue;
        const size_t length = SysStringLen(v.bstrVal);
        if (c.type == dbText && c.size > 0 && length > size_t(c.size))
            fail_column(err_text_too_long, L"The text is longer than the size of column", c.name);
        if (length == 0 && !c.allow_zero_length)
            fail_column(err_zero_length, L"An empty text is not allowed in column", c.name);
    }
    for (const store_index& index : indexes)
        if (index.primary || index.unique)
            check_unique(index, row);
}

void store_table::add(std::vector<held_variant>& row)
{
    std::vector<held_variant> complete = row;
    fill_defaults(complete);
    check_row(complete);
    if (owner != nullptr)
        owner->check_parents(*this, complete);
    for (size_t i = 0; i < columns.size(); ++i)
        if ((columns[i].attributes & dbAutoIncrField) && complete[i].v.vt == VT_I4)
            next_number = std::max(next_number, complete[i].v.lVal + 1);
    data.push_back(std::move(complete));
}

// --- the database ------------------------------------------------------------

namespace {

store_column text_column(const wchar_t* name)
{
    store_column c;
    c.name = name;
    c.size = 255;
    return c;
}

held_variant text_value(const std::wstring& text)
{
    held_variant v;
    v.v.vt = VT_BSTR;
    v.v.bstrVal = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
    return v;
}

} // namespace

store_database::store_database(std::wstring path, std::wstring password)
    : path(std::move(path)), password(std::move(password)),
      system_table(std::make_shared<store_table>(L"MSysRelationships", dbSystemObject))
{
    for (const wchar_t* name : {L"szRelationship", L"szColumn", L"szObject", L"szReferencedObject", L"szReferencedColumn"})
        system_table->add_column(text_column(name));
    store_column grbit;
    grbit.name = L"grbit";
    grbit.type = dbLong;
    grbit.size = 4;
    system_table->add_column(grbit);
    system_table->owner = this;
    tables.push_back(system_table);
}

store_table_ptr store_database::find_table(std::wstring_view table) const
{
    for (const auto& t : tables)
        if (equal_no_case(t->name, table))
            return t;
    return nullptr;
}

void store_database::append_table(store_table_ptr table)
{
    if (table->name.empty())
        store_fail(err_invalid_name, L"A table needs a name.");
    if (find_table(table->name))
        store_fail(err_table_exists, L"The database already has a table '" + table->name + L"'.");
    if (table->columns.empty())
        store_fail(err_no_field, L"Table '" + table->name + L"' has no columns.");
    table->owner = this;
    tables.push_back(std::move(table));
}

void store_database::delete_table(std::wstring_view table)
{
    const store_table_ptr found = find_table(table);
    if (!found)
        store_fail(err_item_not_found, L"The database has no table '" + std::wstring(table) + L"'.");
    if (found == system_table)
        store_fail(err_invalid_operation, L"A system table cannot be deleted.");
    for (const store_relation& r : relations)
        if (equal_no_case(r.table, table) || equal_no_case(r.foreign_table, table))
            store_fail(err_in_relation, L"Table '" + found->name + L"' is part of relation '" + r.name + L"'.");
    found->owner = nullptr;
    tables.erase(std::find(tables.begin(), tables.end(), found));
}

void store_database::save_query(std::wstring name, std::wstring sql)
{
    for (const auto& q : queries)
        if (equal_no_case(q.first, name))
            store_fail(err_object_exists, L"The database already has a query '" + name + L"'.");
    queries.emplace_back(std::move(name), std::move(sql));
}

namespace {

// The columns of fields in table, as indexes of the table's columns.
std::vector<size_t> key_columns(const store_table& table, const std::vector<std::wstring>& fields)
{
    std::vector<size_t> out;
    for (const std::wstring& field : fields) {
        const size_t c = table.find_column(field);
        if (c == std::wstring::npos)
            store_fail(err_no_field, L"Table '" + table.name + L"' has no column '" + field + L"'.");
        out.push_back(c);
    }
    return out;
}

bool has_unique_index(const store_table& table, const std::vector<std::wstring>& fields)
{
    return std::any_of(table.indexes.begin(), table.indexes.end(), [&](const store_index& index) {
        return (index.primary || index.unique) && index.fields.size() == fields.size() &&
               std::equal(fields.begin(), fields.end(), index.fields.begin(),
                          [](const std::wstring& a, const std::wstring& b) { return equal_no_case(a, b); });
    });
}

// A child's key without a Null must match a parent row's key.
bool has_parent(const store_table& parent, const std::vector<size_t>& parent_key, const std::vector<size_t>& child_key,
                const std::vector<held_variant>& row)
{
    for (size_t c : child_key)
        if (is_null(row[c].v))
            return true;
    for (size_t r = 0; r < parent.rows(); ++r) {
        bool same = true;
        for (size_t i = 0; i < parent_key.size() && same; ++i) {
            held_variant value;
            parent.value(parent_key[i], r, value.v);
            same = same_value(value.v, row[child_key[i]].v);
        }
        if (same)
            return true;
    }
    return false;
}

} // namespace

void store_database::check_parents(const store_table& child, const std::vector<held_variant>& row) const
{
    for (const store_relation& r : relations) {
        if (!equal_no_case(r.foreign_table, child.name))
            continue;
        const store_table_ptr parent = find_table(r.table);
        if (!has_parent(*parent, key_columns(*parent, r.fields), key_columns(child, r.foreign_fields), row))
            store_fail(err_no_parent, L"Table '" + parent->name + L"' has no row that the row's key refers to (relation '" +
                                          r.name + L"').");
    }
}

void store_database::append_relation(store_relation relation)
{
    for (const store_relation& r : relations)
        if (equal_no_case(r.name, relation.name))
            store_fail(err_object_exists, L"The database already has a relation '" + relation.name + L"'.");
    const store_table_ptr parent = find_table(relation.table), child = find_table(relation.foreign_table);
    if (!parent || !child)
        store_fail(err_item_not_found, L"Relation '" + relation.name + L"' names a table the database has not.");
    if (relation.fields.empty())
        store_fail(err_no_field, L"Relation '" + relation.name + L"' has no fields.");
    key_columns(*parent, relation.fields);
    const std::vector<size_t> child_key = key_columns(*child, relation.foreign_fields);
    if (!has_unique_index(*parent, relation.fields))
        store_fail(err_no_unique_index, L"Table '" + parent->name + L"' has no unique index on the fields of relation '" +
                                            relation.name + L"'.");
    const std::vector<size_t> parent_key = key_columns(*parent, relation.fields);
    for (size_t r = 0; r < child->rows(); ++r) {
        std::vector<held_variant> row(child->columns.size());
        for (size_t c = 0; c < row.size(); ++c)
            child->value(c, r, row[c].v);
        if (!has_parent(*parent, parent_key, child_key, row))
            store_fail(err_no_parent, L"Rows of table '" + child->name + L"' have no parent row for relation '" +
                                          relation.name + L"'.");
    }
    store_index foreign;
    foreign.name = relation.name;
    foreign.foreign = true;
    foreign.fields = relation.foreign_fields;
    child->add_index(std::move(foreign));
    relations.push_back(std::move(relation));
    list_relations();
}

// MSysRelationships: one row per column pair, ordered by relation name.
void store_database::list_relations()
{
    std::vector<const store_relation*> sorted;
    for (const store_relation& r : relations)
        sorted.push_back(&r);
    std::stable_sort(sorted.begin(), sorted.end(), [](const store_relation* a, const store_relation* b) {
        return compare_no_case(a->name, b->name) < 0;
    });
    std::vector<std::vector<held_variant>> rows;
    for (const store_relation* r : sorted)
        for (size_t i = 0; i < r->fields.size(); ++i) {
            held_variant grbit;
            grbit.v.vt = VT_I4;
            grbit.v.lVal = r->attributes;
            rows.push_back({text_value(r->name), text_value(r->foreign_fields[i]), text_value(r->foreign_table),
                            text_value(r->table), text_value(r->fields[i]), grbit});
        }
    system_table->replace_rows(std::move(rows));
}

} // namespace platform::dao
