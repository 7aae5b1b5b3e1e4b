// Rows, fields and recordsets of the DAO-like layer. A worksheet's cells stay
// in the workbook's column store: fields and recordsets read them from there
// row by row and copy nothing but the value asked for.
#include "platform/dao/pl_daoim.hpp"
#include "platform/dao/pl_rsheet.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <cmath>

namespace platform::dao {

std::wstring dao_wide(std::string_view utf8) { return from_utf8(utf8); }

bool dao_integer(const VARIANT& value, int32_t fallback, int32_t& out)
{
    if (value.vt == VT_EMPTY) {
        out = fallback;
        return true;
    }
    if (value.vt == VT_BSTR || value.vt == VT_NULL)
        return false;
    VARIANT as_long{};
    if (FAILED(VariantChangeType(&as_long, &value, 0, VT_I4)))
        return false;
    out = as_long.lVal;
    return true;
}

bool dao_find_item(const VARIANT& key, size_t count, const std::vector<std::wstring>& names, size_t& index)
{
    if (key.vt == VT_BSTR) {
        // Names that differ only by letter case are different items: the
        // exact one first.
        const std::wstring_view wanted = bstr_view(key.bstrVal);
        const auto found = std::find(names.begin(), names.end(), wanted);
        if (found != names.end()) {
            index = static_cast<size_t>(found - names.begin());
            return true;
        }
        for (index = 0; index < names.size(); ++index)
            if (equal_no_case(names[index], wanted))
                return true;
        return false;
    }
    int32_t number = 0;
    if (key.vt == VT_EMPTY || !dao_integer(key, 0, number) || number < 0 || size_t(number) >= count)
        return false;
    index = size_t(number);
    return true;
}

namespace {

int16_t type_of(field_type type) { return static_cast<int16_t>(type); }

VARIANT_BOOL flag(bool on) { return on ? VARIANT_TRUE : VARIANT_FALSE; }

class sheet_rows : public dao_rows {
public:
    sheet_rows(std::shared_ptr<workbook> book, const sheet_table& table) : book(std::move(book)), table(table)
    {
        column_names.reserve(table.column_count());
        for (size_t c = 0; c < table.column_count(); ++c)
            column_names.push_back(from_utf8(table.column_name(c)));
    }
    int16_t type(size_t column) const override { return type_of(table.column_type(column)); }
    size_t rows() const override { return table.row_count(); }
    void value(size_t column, size_t row, VARIANT& out) const override;
    const sheet_table& sheet() const { return table; }

private:
    std::shared_ptr<workbook> book;  // owns the table and its texts
    const sheet_table& table;
};

// A cell's text as a value. Most texts are ASCII, whose bytes are their
// characters: they are widened straight into the BSTR, in one pass that
// also tells whether they were ASCII; other texts are decoded.
BSTR text_value(std::string_view utf8)
{
    BSTR text = SysAllocStringLen(nullptr, static_cast<uint32_t>(utf8.size()));
    if (text == nullptr)
        throw std::bad_alloc();
    unsigned char bits = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        bits |= b;
        text[i] = b;
    }
    if (bits < 0x80)
        return text;
    SysFreeString(text);
    const std::wstring wide = from_utf8(utf8);
    text = SysAllocStringLen(wide.data(), static_cast<uint32_t>(wide.size()));
    if (text == nullptr)
        throw std::bad_alloc();
    return text;
}

// The column's type decides the value's: a number column holds its date and
// currency cells as plain numbers.
void sheet_rows::value(size_t column, size_t row, VARIANT& out) const
{
    const cell c = table.get(column, row);
    VariantInit(&out);
    if (c.kind == cell_kind::null) {
        out.vt = VT_NULL;
        return;
    }
    switch (table.column_type(column)) {
    case field_type::boolean:
        out.vt = VT_BOOL;
        out.boolVal = c.boolean ? VARIANT_TRUE : VARIANT_FALSE;
        break;
    case field_type::date:
    case field_type::time:
        // A duration may pass a day, which no date holds: it goes as the
        // text a TIME column takes.
        if (c.kind == cell_kind::duration) {
            out.bstrVal = text_value(format_duration(c.number));
            out.vt = VT_BSTR;
            break;
        }
        out.vt = VT_DATE;
        out.date = c.number;
        break;
    case field_type::currency:
        out.vt = VT_CY;
        out.cyVal.int64 = std::llround(c.number * 10000.0);
        break;
    case field_type::number:
        out.vt = VT_R8;
        out.dblVal = c.number;
        break;
    case field_type::text:
    case field_type::memo:
        out.bstrVal = text_value(c.text);
        out.vt = VT_BSTR;
        break;
    }
}

class count_rows : public dao_rows {
public:
    explicit count_rows(size_t count) : count(count) { column_names.push_back(L"Expr1000"); }
    int16_t type(size_t) const override { return dbLong; }
    size_t rows() const override { return 1; }
    void value(size_t, size_t, VARIANT& out) const override
    {
        VariantInit(&out);
        out.vt = VT_I4;
        out.lVal = static_cast<int32_t>(count);
    }

private:
    size_t count;
};

// Field sizes as the engine reports them: a memo has no fixed size.
int32_t size_of(int16_t type)
{
    switch (type) {
    case dbBoolean: return 1;
    case dbLong: return 4;
    case dbText: return 255;
    case dbMemo: return 0;
    default: return 8;
    }
}

class property_object : public dao_object<DAOProperty> {
public:
    property_object(dao_session_ptr session, const VARIANT& v) : dao_object(std::move(session)) { VariantCopy(&value, &v); }
    ~property_object() override { VariantClear(&value); }
    HRESULT get_Value(VARIANT* out) override
    {
        if (out == nullptr)
            return bad_argument();
        VariantInit(out);
        return VariantCopy(out, &value);
    }

private:
    VARIANT value{};
};

// A field's properties: its name, type and size, and those its column has
// (a stored table's description and display format; a worksheet column has
// none of them).
class properties_object : public dao_object<DAOProperties> {
public:
    properties_object(dao_session_ptr session, std::wstring name, int16_t type, dao_column column)
        : dao_object(std::move(session)), name(std::move(name)), type(type), column(std::move(column)) {}
    HRESULT get_Item(VARIANT key, DAOProperty** out) override;

private:
    HRESULT hand_out(VARIANT& v, DAOProperty** out)
    {
        auto made = dao_make<property_object>(session, v);
        VariantClear(&v);
        return made.hand_out(out);
    }

    std::wstring name;
    int16_t type;
    dao_column column;
};

HRESULT properties_object::get_Item(VARIANT key, DAOProperty** out)
{
    std::vector<std::wstring> names = {L"Name", L"Type", L"Size"};
    for (const auto& property : column.properties)
        names.push_back(property.first);
    if (out == nullptr)
        return bad_argument();
    size_t index = 0;
    if (!dao_find_item(key, names.size(), names, index))
        return fail(err_property_not_found, L"The object has no property of that name.");
    return guarded([&] {
        VARIANT v{};
        if (index == 0 || index >= 3) {
            const std::wstring& text = index == 0 ? name : column.properties[index - 3].second;
            v.vt = VT_BSTR;
            v.bstrVal = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
        } else if (index == 1) {
            v.vt = VT_I2;
            v.iVal = type;
        } else {
            v.vt = VT_I4;
            v.lVal = column.size;
        }
        return hand_out(v, out);
    });
}

class field_object : public dao_object<_DAOField> {
public:
    field_object(dao_session_ptr session, dao_rows_ptr rows, size_t column, std::shared_ptr<dao_cursor> cursor)
        : dao_object(std::move(session), &IID_DAOField), rows(std::move(rows)), column(column), cursor(std::move(cursor)) {}

    HRESULT get_Name(BSTR* out) override { return put_text(rows->names()[column], out); }
    HRESULT get_Type(int16_t* out) override { return put(rows->type(column), out); }
    HRESULT get_Size(int32_t* out) override { return put(rows->describe(column).size, out); }
    HRESULT get_Value(VARIANT* out) override;
    HRESULT get_Attributes(int32_t* out) override { return put(rows->describe(column).attributes, out); }
    HRESULT put_Attributes(int32_t) override { return not_supported(); }
    HRESULT get_Required(VARIANT_BOOL* out) override { return put(flag(rows->describe(column).required), out); }
    HRESULT put_Required(VARIANT_BOOL) override { return not_supported(); }
    HRESULT get_DefaultValue(VARIANT* out) override
    {
        if (out == nullptr)
            return bad_argument();
        const std::wstring text = rows->describe(column).default_value;
        VariantInit(out);
        out->vt = VT_BSTR;
        out->bstrVal = SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()));
        return S_OK;
    }
    HRESULT put_DefaultValue(VARIANT) override { return not_supported(); }
    HRESULT get_AllowZeroLength(VARIANT_BOOL* out) override
    {
        return put(flag(rows->describe(column).allow_zero_length), out);
    }
    HRESULT put_AllowZeroLength(VARIANT_BOOL) override { return not_supported(); }
    HRESULT get_ForeignName(BSTR* out) override { return put_text(L"", out); }
    HRESULT put_ForeignName(BSTR) override { return not_supported(); }
    HRESULT get_Properties(DAOProperties** out) override
    {
        if (out == nullptr)
            return bad_argument();
        return guarded([&] {
            return dao_make<properties_object>(session, rows->names()[column], rows->type(column), rows->describe(column))
                .hand_out(out);
        });
    }

private:
    dao_rows_ptr rows;
    size_t column;
    std::shared_ptr<dao_cursor> cursor;
};

HRESULT field_object::get_Value(VARIANT* out)
{
    if (out == nullptr)
        return bad_argument();
    VariantInit(out);
    if (!cursor)
        return fail(err_invalid_operation, L"Only a field of an open recordset has a value.");
    if (cursor->closed)
        return object_closed();
    if (cursor->position < 0 || size_t(cursor->position) >= cursor->visible)
        return no_current_record();
    return guarded([&] {
        rows->value(column, size_t(cursor->position), *out);
        return S_OK;
    });
}

class fields_object : public dao_object<DAOFields> {
public:
    fields_object(dao_session_ptr session, dao_rows_ptr rows, std::shared_ptr<dao_cursor> cursor)
        : dao_object(std::move(session)), rows(std::move(rows))
    {
        fields.reserve(this->rows->names().size());
        for (size_t c = 0; c < this->rows->names().size(); ++c)
            fields.push_back(dao_make<field_object>(this->session, this->rows, c, cursor));
    }
    HRESULT get_Count(int16_t* out) override { return put(static_cast<int16_t>(fields.size()), out); }
    HRESULT get_Item(VARIANT key, _DAOField** out) override
    {
        size_t index = 0;
        if (out == nullptr)
            return bad_argument();
        if (!dao_find_item(key, fields.size(), rows->names(), index))
            return not_found();
        return fields[index].hand_out(out);
    }
    HRESULT Append(IUnknown*) override { return not_supported(); }

private:
    dao_rows_ptr rows;
    std::vector<dao_ref<field_object>> fields;
};

class recordset_object : public dao_object<DAORecordset> {
public:
    recordset_object(dao_session_ptr session, dao_rows_ptr rows, bool append_only, std::shared_ptr<dao_writer> writer)
        : dao_object(std::move(session), &IID_DAORecordset), rows(std::move(rows)), writer(std::move(writer)),
          cursor(std::make_shared<dao_cursor>())
    {
        cursor->visible = append_only ? 0 : this->rows->rows();
        fields = dao_make_fields(this->session, this->rows, cursor);
    }

    HRESULT get_EOF(VARIANT_BOOL* out) override
    {
        return usable() ? put(at_end() ? VARIANT_TRUE : VARIANT_FALSE, out) : object_closed();
    }
    HRESULT get_BOF(VARIANT_BOOL* out) override
    {
        return usable() ? put(cursor->position < 0 || cursor->visible == 0 ? VARIANT_TRUE : VARIANT_FALSE, out) : object_closed();
    }
    HRESULT MoveFirst() override { return move_to(0, cursor->visible != 0); }
    HRESULT MoveNext() override { return move_to(cursor->position + 1, !at_end()); }
    HRESULT MovePrevious() override { return move_to(cursor->position - 1, cursor->position >= 0); }
    HRESULT get_Fields(DAOFields** out) override
    {
        if (!usable())
            return object_closed();
        return out == nullptr ? bad_argument() : fields.hand_out(out);
    }
    HRESULT AddNew() override;
    HRESULT Update(int32_t type, VARIANT_BOOL force) override;
    HRESULT get_Collect(VARIANT key, VARIANT* out) override;
    HRESULT put_Collect(VARIANT key, VARIANT value) override;
    HRESULT Close() override
    {
        if (!usable())
            return object_closed();
        cursor->closed = true;
        return S_OK;
    }
    // The sheet when the recordset shows all of it from its first row.
    const sheet_table* whole_sheet() const
    {
        const auto* sheet = dynamic_cast<const sheet_rows*>(rows.get());
        const bool whole = usable() && cursor->position == 0 && cursor->visible == rows->rows();
        return sheet != nullptr && whole ? &sheet->sheet() : nullptr;
    }

private:
    bool usable() const { return !cursor->closed; }
    bool at_end() const { return cursor->position >= int64_t(cursor->visible); }
    HRESULT move_to(int64_t position, bool allowed)
    {
        if (!usable())
            return object_closed();
        if (!allowed)
            return no_current_record();
        cursor->position = position;
        return S_OK;
    }

    dao_rows_ptr rows;
    std::shared_ptr<dao_writer> writer;
    std::shared_ptr<dao_cursor> cursor;
    dao_ref<DAOFields> fields;
    // The row AddNew began, until Update stores it.
    std::vector<held_variant> added;
    bool adding = false;
};

// A recordset without a writer (a worksheet, a read-only table) is only read.
HRESULT recordset_object::AddNew()
{
    if (!usable())
        return object_closed();
    if (!writer)
        return not_supported();
    added.assign(rows->names().size(), held_variant());
    adding = true;
    return S_OK;
}

HRESULT recordset_object::put_Collect(VARIANT key, VARIANT value)
{
    if (!usable())
        return object_closed();
    if (!adding)
        return fail(err_invalid_operation, L"A value can only be set in a record begun by AddNew.");
    size_t index = 0;
    if (!dao_find_item(key, rows->names().size(), rows->names(), index))
        return not_found();
    return guarded([&] {
        writer->put(added, index, value);
        return S_OK;
    });
}

// The row stays pending after a refusal, as the engine leaves it.
HRESULT recordset_object::Update(int32_t, VARIANT_BOOL)
{
    if (!usable())
        return object_closed();
    if (!adding)
        return fail(err_invalid_operation, L"There is no record begun by AddNew to store.");
    return guarded([&] {
        writer->add(added);
        adding = false;
        added.clear();
        return S_OK;
    });
}

HRESULT recordset_object::get_Collect(VARIANT key, VARIANT* out)
{
    if (!usable())
        return object_closed();
    _DAOField* raw = nullptr;
    const HRESULT hr = fields->get_Item(key, &raw);
    if (FAILED(hr))
        return hr;
    return dao_ref<_DAOField>(raw)->get_Value(out);
}

} // namespace

dao_rows_ptr dao_sheet_rows(std::shared_ptr<workbook> book, const sheet_table& table)
{
    return std::make_shared<sheet_rows>(std::move(book), table);
}

const sheet_table* dao_sheet_of(DAORecordset* recordset)
{
    const auto* made = dynamic_cast<const recordset_object*>(recordset);
    return made != nullptr ? made->whole_sheet() : nullptr;
}

dao_rows_ptr dao_count_rows(size_t count) { return std::make_shared<count_rows>(count); }

dao_ref<DAOFields> dao_make_fields(dao_session_ptr session, dao_rows_ptr rows, std::shared_ptr<dao_cursor> cursor)
{
    return dao_ref<DAOFields>(new fields_object(std::move(session), std::move(rows), std::move(cursor)));
}

dao_ref<DAORecordset> dao_make_recordset(dao_session_ptr session, dao_rows_ptr rows, bool append_only,
                                         std::shared_ptr<dao_writer> writer)
{
    return dao_ref<DAORecordset>(new recordset_object(std::move(session), std::move(rows), append_only, std::move(writer)));
}

dao_column dao_rows::describe(size_t column) const
{
    dao_column described;
    const int16_t t = type(column);
    described.size = size_of(t);
    described.attributes = t == dbText || t == dbMemo ? dbVariableField : dbFixedField;
    return described;
}

} // namespace platform::dao
