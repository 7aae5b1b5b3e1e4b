#include "DAO/dao_recs.hpp"

#include "DAO/dao_rec.hpp"
#include "DAO/dao_util.hpp"
#include "DAO/dao_vvar.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/dao/pl_rsheet.hpp"
#include "platform/ole/pl_varnt.hpp"
#include "platform/text/pl_case.hpp"

#include <initializer_list>

namespace {

constexpr int16_t db_date = 8;
constexpr int16_t db_time = 22;
constexpr int16_t db_text = 10;
constexpr int16_t db_guid = 15;
constexpr int16_t db_attachment = 101;

// The wide text of a VARIANT DAO returned; no text for Empty and Null.
std::wstring variant_text(const VARIANT& value)
{
    if (value.vt == VT_EMPTY || value.vt == VT_NULL)
        return std::wstring();
    if (value.vt == VT_BSTR)
        return value.bstrVal == nullptr ? std::wstring() : std::wstring(value.bstrVal);
    VARIANT text{};
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR)))
        return std::wstring();
    std::wstring out = text.bstrVal == nullptr ? std::wstring() : std::wstring(text.bstrVal);
    VariantClear(&text);
    return out;
}

bool enclosed(const std::wstring& text, wchar_t quote)
{
    return text.size() >= 2 && text.front() == quote && text.back() == quote;
}

void strip_ends(std::wstring& text) { text = text.substr(1, text.size() - 2); }

bool is_one_of(const std::wstring& text, std::initializer_list<const wchar_t*> names)
{
    for (const wchar_t* n : names)
        if (platform::equal_no_case(text, n))
            return true;
    return false;
}

// The text of one named column property; empty, and logged, when the column
// has no such property.
std::wstring column_property(DAOProperties* properties, const wchar_t* name, const char* error_format, int level)
{
    try {
        ole_com_ptr<DAOProperty> property;
        dao_check(properties->get_Item(ole_variant(name).get_variant(), property.address()), property);
        dao_value value;
        dao_call(property->get_Value(&value.v));
        return variant_text(value.v);
    } catch (const dao_exception& e) {
        tk_logger::log(level, error_format, e.what());
        return std::wstring();
    }
}

// The column's comment and display format, as its properties hold them.
struct column_texts {
    std::wstring description, format;
};

column_texts read_properties(_DAOField* field, int format_level)
{
    ole_com_ptr<DAOProperties> properties;
    dao_check(field->get_Properties(properties.address()), properties);
    column_texts out;
    out.description = column_property(properties.get(), L"Description", "ERROR1:\n%s", 2);
    tk_logger::log(1, "Column description='%s'", tk_to_utf8(out.description).c_str());
    out.format = column_property(properties.get(), L"Format", "ERROR2:\n%s", 2);
    tk_logger::log(format_level, "Column format='%s'", tk_to_utf8(out.format).c_str());
    return out;
}

// The descriptor of one column: what the field says of itself, then the
// declared size and the marks of GUID and attachment columns.
std::shared_ptr<t_ftd> make_column(_DAOField* item, int16_t type, int32_t size, const ole_variant& default_value,
                                   uint32_t reserved, const std::wstring& description)
{
    const dao_field field(item);
    auto column = std::make_shared<t_ftd>(field, default_value, reserved);
    column->size = static_cast<uint32_t>(size);
    if (type == db_guid) {
        column->vartype = VT_BSTR;
        column->size = 38;
        column->reserved = dao_recordset::date_time;
    } else if (type == db_attachment) {
        tk_logger::log(2, "Special processing for dbAttachment");
        column->reserved = dao_recordset::attachment;
        column->size = 0;
    }
    column->description = description;
    return column;
}

// The Fields of a table or query definition and their count.
template <class Def> int16_t definition_fields(Def& definition, ole_com_ptr<DAOFields>& fields)
{
    dao_check(definition.get_Fields(fields.address()), fields);
    int16_t count = 0;
    dao_call(fields->get_Count(&count));
    return count;
}

// The default of a table column, its marks adjusted: the text is cleaned of
// the quotes, "=" and "#" DAO keeps around it, a column shown as On/Off
// defaults to 1 or 0, and the current moment, date or time become marks.
ole_variant table_default(std::wstring text, int16_t type, const std::wstring& format, int32_t size, int index,
                          uint32_t& reserved)
{
    const VARTYPE vt = dao_field::get_vartype(type);
    ole_variant parsed = ole_variant::from_wstring(text, vt);
    if (text.empty())
        return parsed;
    bool formula = false;
    if (text.front() == L'=') {
        tk_logger::log(2, "Got def.value of form ='...'");
        text.erase(0, 1);
        if (enclosed(text, L'"') || enclosed(text, L'\''))
            strip_ends(text);
        tk_logger::wlog(1, L"After all processing: %s", text.c_str());
        formula = true;
    }
    if (platform::equal_no_case(format, L"On/Off")) {
        if (platform::equal_no_case(text, L"On"))
            parsed = ole_variant(1);
    } else if (type == db_date) {
        tk_logger::log(2, "Got date/time def.value");
        if (enclosed(text, L'#'))
            strip_ends(text);
        if (platform::equal_no_case(text, L"now()")) {
            tk_logger::log(2, "Got NOW()");
            reserved = reserved == dao_recordset::date_only   ? dao_recordset::date_default
                       : reserved == dao_recordset::time_only ? dao_recordset::time_default
                                                              : dao_recordset::now_default;
        } else if (platform::equal_no_case(text, L"date()")) {
            tk_logger::log(2, "Got CURRENT_DATE");
            reserved = dao_recordset::date_default;
        } else if (platform::equal_no_case(text, L"time()")) {
            tk_logger::log(2, "Got CURRENT_TIME");
            reserved = dao_recordset::time_default;
        }
    } else if (type == db_text && !formula) {
        tk_logger::log(2, "Got string def.value");
        if (enclosed(text, L'"'))
            strip_ends(text);
    }
    if (size != 0 && type == db_text && text.size() > static_cast<size_t>(size)) {
        tk_logger::wlog(3, L"Skip incorrect default value [%s] for field #%d", text.c_str(), index);
        return ole_variant::from_wstring(std::wstring(), vt);
    }
    return parsed;
}

} // namespace

dao_recordset::dao_recordset(udb_database* database_, const std::wstring& name_, DAORecordset* recordset_,
                             _DAOTableDef* table)
    : udb_recordset(database_, name_, true), recordset(recordset_), table_def(table)
{
    tk_logger::wlog(2, L"dao_recordset::dao_recordset(%s)", name_.c_str());
    if (recordset_ == nullptr)
        throw tk_mail_assertion("dao_recs", 46);
    if (table != nullptr) {
        dao_call(table->get_RecordCount(&record_count));
        tk_logger::log(2, "Got records count: %d", record_count);
        init_schema(table);
        init_indexes(table);
    }
    read_eof();
    tk_logger::log(2, "dao_recordset::dao_recordset - END");
}

dao_recordset::dao_recordset(udb_database* database_, const std::wstring& name_, const std::wstring& sql,
                             DAORecordset* recordset_, _DAOQueryDef* query, int32_t count)
    : udb_recordset(database_, name_, sql, true), recordset(recordset_), query_def(query)
{
    tk_logger::wlog(2, L"dao_recordset::dao_recordset(%s)", name_.c_str());
    if (recordset_ == nullptr)
        throw tk_mail_assertion("dao_recs", 78);
    if (query != nullptr) {
        record_count = count;
        tk_logger::log(2, "Got records count: %d", record_count);
        init_schema(query);
    }
    read_eof();
    tk_logger::log(2, "dao_recordset::dao_recordset - END");
}

dao_recordset::~dao_recordset()
{
    tk_logger::log(2, "dao_recordset::dtor");
    last_record.reset();
    if (!recordset.empty())
        recordset->Close();
}

void dao_recordset::init_schema(_DAOTableDef* table)
{
    tk_logger::log(2, "dao_recordset::init_schema( DAOTableDef * )");
    if (table == nullptr)
        throw tk_mail_assertion("dao_recs", 317);
    ole_com_ptr<DAOFields> fields;
    const int16_t count = definition_fields(*table, fields);
    for (uint16_t i = 0; static_cast<int32_t>(i) < count; ++i) {
        ole_com_ptr<_DAOField> item;
        dao_check(fields->get_Item(dao_index(i).get_variant(), item.address()), item);
        int16_t type = 0;
        dao_call(item->get_Type(&type));
        uint32_t reserved = 0;
        if (type == db_date) {
            tk_logger::log(2, "Make date field more precise");
            reserved = date_time;
        } else if (type == db_time) {
            reserved = time_only;  // a column of times of day alone
        }
        int32_t size = 0;
        dao_call(item->get_Size(&size));
        dao_value default_value;
        dao_call(item->get_DefaultValue(&default_value.v));
        std::wstring text = variant_text(default_value.v);
        // A text (or a date written as text) between double quotes, an inner
        // quote doubled, as the engine's syntax writes it.
        if (!text.empty() && (type == db_text || type == db_date) && enclosed(text, L'"')) {
            tk_logger::log(2, "Remove quotes for text def.value");
            strip_ends(text);
            text = tk_wstring::replace_all(text, L"\"\"", L"\"");
        }
        tk_logger::wlog(2, L"def.value='%s'", text.c_str());
        const column_texts texts = read_properties(item.get(), 2);
        tk_logger::wlog(2, L"DAO Field #%d: size=%d, DAO type=%d, def.value=%s, comment=%s", static_cast<int>(i), size,
                        type, text.c_str(), texts.description.c_str());
        if (is_one_of(texts.format, {L"Short Date", L"Medium Date", L"Long Date"})) {
            tk_logger::log(2, "Refine type for 'pure' date");
            reserved = date_only;
        } else if (is_one_of(texts.format, {L"Short Time", L"Medium Time", L"Long Time"})) {
            tk_logger::log(2, "Refine type for 'pure' time");
            reserved = time_only;
        }
        const ole_variant parsed = table_default(text, type, texts.format, size, i, reserved);
        schema.push_back(make_column(item.get(), type, size, parsed, reserved, texts.description));
    }
    tk_logger::log(2, "End of dao_recordset::init_schema");
}

void dao_recordset::init_schema(_DAOQueryDef* query)
{
    tk_logger::log(2, "dao_recordset::init_schema( DAOQueryDef * )");
    if (query == nullptr)
        throw tk_mail_assertion("dao_recs", 634);
    ole_com_ptr<DAOFields> fields;
    const int16_t count = definition_fields(*query, fields);
    for (uint16_t i = 0; static_cast<int32_t>(i) < count; ++i) {
        ole_com_ptr<_DAOField> item;
        dao_check(fields->get_Item(dao_index(i).get_variant(), item.address()), item);
        int16_t type = 0;
        dao_call(item->get_Type(&type));
        dao_value default_value;
        dao_call(item->get_DefaultValue(&default_value.v));
        std::wstring text = variant_text(default_value.v);
        const column_texts texts = read_properties(item.get(), 1);
        tk_logger::wlog(2, L"Field #%d: DAO type=%d, default value=%s", static_cast<int>(i), type, text.c_str());
        uint32_t reserved = 0;
        if (type == db_date) {
            tk_logger::log(2, "Got date/time def.value");
            if (enclosed(text, L'#'))
                strip_ends(text);
            reserved = date_time;
        } else if (type == db_time) {
            reserved = time_only;
        } else if (type == db_text) {
            tk_logger::log(2, "Got string def.value");
            if (enclosed(text, L'"'))
                strip_ends(text);
        }
        int32_t size = 0;
        dao_call(item->get_Size(&size));
        const ole_variant parsed = ole_variant::from_wstring(text, dao_field::get_vartype(type));
        schema.push_back(make_column(item.get(), type, size, parsed, reserved, texts.description));
    }
    tk_logger::log(2, "End of dao_recordset::init_schema");
}

void dao_recordset::init_indexes(_DAOTableDef* table)
{
    tk_logger::log(2, "dao_recordset::init_indexes");
    if (table == nullptr)
        throw tk_mail_assertion("dao_recs", 540);
    ole_com_ptr<DAOIndexes> list;
    dao_check(table->get_Indexes(list.address()), list);
    int16_t count = 0;
    dao_call(list->get_Count(&count));
    tk_logger::log(2, "Got %d indexes", count);
    for (uint16_t i = 0; static_cast<int32_t>(i) < count; ++i) {
        tk_logger::log(2, "Processing index %d", static_cast<int>(i));
        udb_index index;
        ole_com_ptr<_DAOIndex> item;
        dao_check(list->get_Item(dao_index(i).get_variant(), item.address()), item);
        dao_bstr name;
        dao_call(item->get_Name(name.address()));
        index.name = name.text();
        VARIANT_BOOL flag = VARIANT_FALSE;
        dao_call(item->get_Foreign(&flag));
        tk_logger::log(2, "tmp_val=%d", flag);
        if (flag == VARIANT_TRUE) {
            tk_logger::wlog(2, L"Index '%s' is a FK, skip it", index.name.c_str());
            continue;
        }
        dao_call(item->get_Primary(&flag));
        tk_logger::log(2, "tmp_val=%d", flag);
        index.primary = flag == VARIANT_TRUE;
        dao_call(item->get_Unique(&flag));
        tk_logger::log(2, "tmp_val=%d", flag);
        index.unique = flag == VARIANT_TRUE;
        tk_logger::wlog(2, L"Name=%s, is_primary=%d, is_unique=%d", index.name.c_str(), static_cast<int>(index.primary),
                        static_cast<int>(index.unique));
        dao_value object;
        dao_call(item->get_Fields(&object.v));
        ole_com_ptr<DAOIndexFields> columns;
        if (object.v.punkVal != nullptr)
            object.v.punkVal->QueryInterface(IID_DAOIndexFields, reinterpret_cast<void**>(columns.address()));
        if (columns.empty())
            throw tk_exception(1);
        int16_t n_columns = 0;
        dao_call(columns->get_Count(&n_columns));
        for (uint16_t j = 0; static_cast<int32_t>(j) < n_columns; ++j) {
            dao_value column;
            dao_call(columns->get_Item(dao_index(j).get_variant(), &column.v));
            ole_com_ptr<_DAOField> field;
            if (column.v.punkVal != nullptr)
                column.v.punkVal->QueryInterface(IID_DAOField, reinterpret_cast<void**>(field.address()));
            if (field.empty())
                throw tk_exception(1);
            dao_bstr column_name;
            dao_call(field->get_Name(column_name.address()));
            tk_logger::wlog(1, L"got index field: %s", column_name.text().c_str());
            index.fields.push_back(column_name.text());
        }
        add_index(index);
    }
    tk_logger::log(2, "End of dao_recordset::init_indexes");
}

DAORecordset* dao_recordset::cursor(int assertion_line) const
{
    if (recordset.empty())
        throw tk_mail_assertion("dao_recs", assertion_line);
    return recordset.get();
}

const platform::dao::sheet_table* dao_recordset::sheet() const
{
    return recordset.empty() ? nullptr : platform::dao::dao_sheet_of(recordset.get());
}

void dao_recordset::read_eof() { dao_call(recordset->get_EOF(&eof)); }

bool dao_recordset::is_eof() { return eof != VARIANT_FALSE; }

void dao_recordset::next()
{
    dao_call(cursor(157)->MoveNext());
    read_eof();
}

void dao_recordset::prev()
{
    VARIANT_BOOL bof = VARIANT_FALSE;
    dao_call(cursor(168)->get_BOF(&bof));
    if (bof == VARIANT_FALSE)
        dao_call(recordset->MovePrevious());
}

void dao_recordset::reset()
{
    DAORecordset* rs = cursor(181);
    if (record_count != 0)
        dao_call(rs->MoveFirst());
}

// The record is made on the first row and read again on the next ones: a
// column's name, size and flags are the same on every row.
udb_record* dao_recordset::get_item()
{
    DAORecordset* rs = cursor(120);
    if (last_record) {
        last_record->read_values();
        return last_record.get();
    }
    ole_com_ptr<DAOFields> fields;
    dao_check(rs->get_Fields(fields.address()), fields);
    last_record = std::make_unique<dao_record>(fields.get());
    return last_record.get();
}

namespace {

constexpr int32_t record_too_large = 3047;
constexpr int32_t update_regular = 1;

bool is_bigint(VARTYPE type) { return type == VT_I1 || type == VT_UI2 || type == VT_UI4 || type == VT_I8 || type == VT_UI8; }

// The value a field goes to the table with.
ole_variant stored_value(const udb_field& field, const t_ftd& column)
{
    const VARTYPE type = field.get_type();
    if (column.b_not_null && (type == VT_EMPTY || type == VT_NULL)) {
        tk_logger::log(1, "Got NULL value for not null field");
        return ole_variant::from_string("", column.vartype);
    }
    if (type == VT_DATE) {
        std::string text = field.to_string();
        const size_t zero = text.find("0000-00-00");
        if (zero != std::string::npos) {
            tk_logger::log(2, "Null date has been found");
            text.replace(zero, 10, "1899-12-30");
        }
        tk_logger::log(2, "Got date: '%s'", text.c_str());
    }
    return is_bigint(type) ? dao_get_valid_variant(field) : ole_variant(field);
}

} // namespace

// A record whose shape differs from the table's, or with a 64-bit integer a
// double cannot hold exactly, is refused before a row is begun.
void dao_recordset::check_record(const udb_record& record) const
{
    if (record.size() != schema.size())
        throw tk_exception("The structures of data source does not conform to the destination table.", 0);
    for (size_t i = 0; i < record.size(); ++i) {
        const udb_field& field = *record[i];
        const VARTYPE type = field.get_type();
        if ((type == VT_I8 || type == VT_UI8) && !dao_is_exact(field, dao_get_valid_variant(field)))
            throw tk_exception(L"The value " + field.to_wstring() + L" of column '" + schema[i]->name +
                                   L"' cannot be stored exactly: the table holds such numbers as doubles.",
                               0);
    }
}

// A value that makes the row too large is left out (the column emptied);
// the row is stored and then reported with the columns it lost.
void dao_recordset::append_record(const udb_record& record)
{
    tk_logger::log(2, "dao_recordset::append_record");
    check_record(record);
    DAORecordset* rs = cursor(211);
    dao_call(rs->AddNew());
    tk_logger::log(2, "\tAdd blank DAO record");
    std::wstring emptied;
    for (size_t i = 0; i < record.size(); ++i) {
        const t_ftd& column = *schema[i];
        const udb_field& field = *record[i];
        tk_logger::wlog(2, L"\tAdd field '%s', type=%08X (value=%s)", column.name.c_str(), field.get_type(),
                        field.to_wstring().c_str());
        const ole_variant key(column.name);
        if (SUCCEEDED(rs->put_Collect(key.get_variant(), stored_value(field, column).get_variant())))
            continue;
        const dao_exception failure;
        if ((failure.get_code() & 0xFFFFu) != record_too_large)
            throw failure;
        tk_logger::log(2, "Record is too large.");
        dao_call(rs->put_Collect(key.get_variant(), ole_variant().get_variant()));
        emptied += (emptied.empty() ? L"'" : L", '") + column.name + L"'";
    }
    tk_logger::log(2, "Commit new record into database");
    dao_call(rs->Update(update_regular, VARIANT_FALSE));
    ++record_count;
    tk_logger::log(2, "dao_recordset::append_record - END");
    if (!emptied.empty())
        throw tk_exception(L"Record is too large: the row was stored without the value of column " + emptied + L".", 0);
}
