#include "UDB/udb_recs.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

#include <regex>

namespace {

const char no_key[] = "There's no primary/unique key";
const char bad_structure[] = "The structure of data source does not conform to the destination table.";

bool is_numeric_or_binary(VARTYPE vt)
{
    switch (vt) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_BOOL: case VT_DECIMAL:
    case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8:
    case VT_BLOB: case VT_BLOB_OBJECT: case ole_vt_bytes:
        return true;
    default:
        return false;
    }
}

// Text that may stand unquoted in a statement: a decimal number, or a
// hexadecimal literal as binary values are written.
bool is_plain_literal(const std::wstring& value)
{
    static const std::wregex number(L"[-+]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][-+]?[0-9]+)?");
    static const std::wregex hex(L"0[xX][0-9A-Fa-f]*");
    return std::regex_match(value, number) || std::regex_match(value, hex);
}

// A string literal: backslashes and single quotes are escaped with a
// backslash, as every other literal the writers produce.
std::wstring quote_text(const std::wstring& value)
{
    std::wstring text = L"'";
    for (wchar_t c : value) {
        if (c == L'\\' || c == L'\'')
            text += L'\\';
        text += c;
    }
    return text + L"'";
}

} // namespace

udb_recordset::udb_recordset(udb_database* database_, const std::wstring& name_, const std::wstring& query_text_,
                             bool schema_flag)
    : query_text(query_text_), name(name_), schema(schema_flag), database(database_)
{
}

udb_recordset::udb_recordset(udb_database* database_, const std::wstring& name_, bool schema_flag)
    : udb_recordset(database_, name_, std::wstring(), schema_flag)
{
}

udb_recordset::udb_recordset(const std::wstring& name_) : udb_recordset(nullptr, name_, std::wstring(), true)
{
    tk_logger::log(2, "udb_recordset::ctor(default)");
}

udb_recordset::~udb_recordset()
{
    tk_logger::log(1, "udb_recordset::dtor");
}

void udb_recordset::update2(const std::wstring&)
{
    tk_logger::log(1, "udb_recordset::update2");
}

void udb_recordset::update1(const udb_record&)
{
    tk_logger::log(1, "udb_recordset::update1");
}

udb_record* udb_recordset::get_item()
{
    return nullptr;
}

bool udb_recordset::is_eof()
{
    return true;
}

bool udb_recordset::has_name() const
{
    return !query_text.empty();
}

const t_ftd* udb_recordset::column_for(const udb_record&, size_t position)
{
    return position < schema.size() ? schema[position].get() : nullptr;
}

void udb_recordset::move_to(int32_t row)
{
    tk_logger::log(1, "udb_recordset::move_to(%d)", row);
}

void udb_recordset::add_index(const udb_index& index)
{
    tk_logger::wlog(2, L"udb_recordset::add_index(%s, %d)", index.name.c_str(), key_position);
    if (!indexes.is_acceptable_name(index.name)) {
        tk_logger::wlog(2, L"Index '%s' cannot be processed", index.name.c_str());
        return;
    }
    if (index.primary || (index.unique && key_position < 0)) {
        tk_logger::log(2, "Store primary/unique key");
        key_position = static_cast<int32_t>(indexes.size());
    }
    indexes.push_back(index);
}

std::unique_ptr<udb_record> udb_recordset::get_key(const udb_record& record) const
{
    tk_logger::log(1, "udb_recordset::get_key(that.size=%d)", static_cast<int>(record.size()));
    if (key_position < 0 || static_cast<size_t>(key_position) >= indexes.size())
        throw tk_exception(no_key, 1);
    const std::vector<std::wstring>& key_fields = indexes[key_position].fields;
    tk_logger::log(1, "u_k_flds.size=%d", static_cast<int>(key_fields.size()));
    auto result = std::make_unique<udb_record>();
    for (size_t i = 0; i < key_fields.size(); ++i) {
        tk_logger::log(1, "Step %d.1", static_cast<int>(i));
        if (!record.find_field(key_fields[i])) {
            tk_logger::wlog(3, L"Key field '%s' is not found in record", key_fields[i].c_str());
            return nullptr;
        }
        const udb_field& field = record.get_field(key_fields[i]);
        result->push_back(std::make_unique<udb_field>(field));
        tk_logger::log(1, ">> Got key field: %s", field.to_string().c_str());
        tk_logger::log(1, "Step %d.2", static_cast<int>(i));
    }
    tk_logger::log(1, "Just before exit: result.size=%d", static_cast<int>(result->size()));
    return result;
}

std::wstring udb_recordset::quote_identifier(const std::wstring& column) const
{
    return udb_backquoted(column);
}

// "=" and the value: numbers and binary values as they stand when they are
// plain literals, everything else as an escaped string literal.
std::wstring udb_recordset::get_filter_term(const std::wstring& column, std::wstring value) const
{
    tk_wstring::replace_all(value, L"&lt;", L"<");
    tk_wstring::replace_all(value, L"&gt;", L">");
    tk_wstring::replace_all(value, L"&amp;", L"&");
    if (schema.find_field(column) && is_numeric_or_binary(schema.get_field2(column)->vartype)) {
        tk_logger::log(1, "Special processing for binary");
        if (is_plain_literal(value))
            return L"=" + value;
    }
    return L"=" + quote_text(value) + L" ";
}

std::wstring udb_recordset::get_filter_subquery(const std::wstring& key) const
{
    tk_logger::wlog(1, L"udb_recordset::get_filter_subquery(%s)", key.c_str());
    std::wstring result;
    std::wstring column;
    std::wstring value;
    int opened = 0;  // '<' seen in the current tag pair
    int closed = 0;  // '>' seen in the current tag pair
    for (size_t pos = 0; pos < key.size(); ++pos) {
        const wchar_t c = key[pos];
        if (c == L'<') {
            tk_logger::log(1, "Open XML-tag at pos=%d", static_cast<int>(pos));
            if (++opened == 2) {
                result += get_filter_term(column, value);
                opened = 0;
                column.clear();
                value.clear();
            }
        } else if (c == L'>') {
            tk_logger::log(1, "Close XML-tag at pos=%d", static_cast<int>(pos));
            if (closed == 0) {
                if (!result.empty())
                    result += L" and ";
                if (!schema.find_field(column)) {
                    tk_logger::wlog(2, L"Field %s not found in the schema", column.c_str());
                    throw tk_exception(bad_structure, 1);
                }
                result += quote_identifier(schema.get_field1(column).name);
                closed = 1;
            } else {
                closed = 0;
            }
        } else if (opened == 1 && closed == 0) {
            column += c;
        } else if (opened == 1 && closed == 1) {
            value += c;
        }
    }
    return result;
}
