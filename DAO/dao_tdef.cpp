#include "DAO/dao_tdef.hpp"

#include "DAO/dao_rec.hpp"
#include "DAO/dao_util.hpp"
#include "DAO/dao_vvar.hpp"
#include "OLE/ole_date.hpp"
#include "OLE/ole_ptr.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_case.hpp"

namespace {

constexpr int16_t db_long = 4;
constexpr int16_t db_text = 10;
constexpr int16_t db_memo = 12;
constexpr int32_t auto_increment = 0x10;
constexpr size_t max_index_fields = 10;
constexpr uint32_t max_indexed_text = 255;

bool is_bigint(VARTYPE type)
{
    return type == VT_I1 || type == VT_UI2 || type == VT_UI4 || type == VT_I8 || type == VT_UI8;
}

// CreateField on a table definition or an index, with the column's type and
// size.
template <class Owner> ole_com_ptr<_DAOField> new_field(Owner* owner, const t_ftd& column)
{
    ole_com_ptr<_DAOField> field;
    dao_check(owner->CreateField(ole_variant(column.name).get_variant(),
                                 ole_variant(static_cast<int>(dao_field::get_native_type(column))).get_variant(),
                                 ole_variant(static_cast<int>(column.size)).get_variant(), field.address()),
              field);
    return field;
}

bool blocks_index(const t_ftd& column)
{
    return column.vartype == VT_BLOB || column.vartype == (VT_ARRAY | VT_UI1) ||
           (column.vartype == VT_BSTR && column.size > max_indexed_text);
}

} // namespace

// --- columns -------------------------------------------------------------------

dao_schema_initializer::dao_schema_initializer(_DAOTableDef* table_, const udb_schema& source)
    : table(table_), validator(source)
{
    tk_logger::log(2, "dao_schema_initializer::ctor");
    for (const auto& column : source) {
        const bool acceptable = validator.is_acceptable(column->name);
        const std::wstring name = acceptable ? column->name : validator.get_safe_name(column->name);
        auto copy = std::make_shared<t_ftd>(column->size, name, column->vartype, column->b_not_null,
                                            column->b_auto_increment, column->default_value, column->reserved, L"");
        copy->description = column->description;
        push_back(copy);
        if (!acceptable) {
            tk_logger::wlog(2, L"Store generated column name '%s'", name.c_str());
            validator.add_existing_name(name);
            validator.add_mapped_pair(column->name, name);
        }
        validator.restricted_names.push_back(name);
        renamed.emplace_back(column->name, name);
    }
}

std::wstring dao_schema_initializer::new_name(const std::wstring& source) const
{
    for (const auto& [from, to] : renamed)
        if (from == source)
            return to;
    for (const auto& [from, to] : renamed)
        if (platform::equal_no_case(from, source))
            return to;
    return source;
}

std::wstring dao_schema_initializer::quote_def_value(const std::wstring& text)
{
    tk_logger::wlog(1, L"dao_schema_initializer::quote_def_value(%s)", text.c_str());
    std::wstring quoted = L"\"";
    for (wchar_t c : text)
        quoted += c == L'"' ? std::wstring(L"\"\"") : std::wstring(1, c);
    return quoted + L"\"";
}

void dao_schema_initializer::set_default(_DAOField* field, const t_ftd& column) const
{
    constexpr uint32_t now_default = 9, date_default = 10;
    if (column.vartype == VT_DATE && (column.reserved == now_default || column.reserved == date_default)) {
        const bool now = column.reserved == now_default;
        tk_logger::log(2, now ? "Processing def.value NOW()" : "Processing def.value Date()");
        dao_call(field->put_DefaultValue(ole_variant(now ? L"Now()" : L"Date()").get_variant()));
        return;
    }
    tk_logger::log(1, "ole_variant::get_type");
    const std::wstring text = column.default_value.to_wstring();
    if (text.empty())
        return;
    const VARTYPE type = column.default_value.get_type();
    tk_logger::wlog(2, L"Putting default value: (%d, %s)", static_cast<int>(type), text.c_str());
    if (is_bigint(type)) {
        const ole_variant converted = dao_get_valid_variant(column.default_value);
        if (!dao_is_exact(column.default_value, converted))
            throw tk_exception(L"The default value " + text + L" of column '" + column.name +
                                   L"' cannot be kept exactly: the database holds such numbers as doubles.",
                               0);
        dao_call(field->put_DefaultValue(converted.get_variant()));
    } else if (column.vartype != VT_DATE && column.vartype != VT_BSTR) {
        dao_call(field->put_DefaultValue(column.default_value.get_variant()));
    } else if (column.vartype == VT_DATE) {
        tk_logger::log(2, "Got DATE def value");
        const std::wstring printed = ole_date(text).to_wstring(6);
        tk_logger::wlog(1, L"After canonization: %s", printed.c_str());
        if (!printed.empty())
            dao_call(field->put_DefaultValue(ole_variant(quote_def_value(text)).get_variant()));
    } else {
        dao_call(field->put_DefaultValue(ole_variant(quote_def_value(text)).get_variant()));
    }
}

void dao_schema_initializer::initialize()
{
    tk_logger::log(2, "dao_schema_initializer::initialize");
    ole_com_ptr<DAOFields> fields;
    dao_check(table->get_Fields(fields.address()), fields);
    int32_t total = 0;
    for (size_t i = 0; i < size(); ++i) {
        const t_ftd& column = *(*this)[i];
        total += static_cast<int32_t>(column.size);
        tk_logger::log(2, "Field #%d: type=%d, size=%d, dw_reserved=%d, total size=%d", static_cast<int>(i),
                       column.vartype, column.size, column.reserved, total);
        const ole_com_ptr<_DAOField> field = new_field(table, column);
        dao_call(field->put_Required(column.b_not_null ? VARIANT_TRUE : VARIANT_FALSE));
        const int16_t type = dao_field::get_native_type(column);
        if (type == db_text || type == db_memo) {
            tk_logger::log(2, "Set AllowZeroLength flag");
            dao_call(field->put_AllowZeroLength(VARIANT_TRUE));
        }
        set_default(field.get(), column);
        if (type == db_long && column.b_auto_increment) {
            int32_t attributes = 0;
            dao_call(field->get_Attributes(&attributes));
            dao_call(field->put_Attributes(attributes | auto_increment));
        }
        dao_call(fields->Append(field.get()));
    }
}

// --- indexes -------------------------------------------------------------------

dao_indexes_initializer::dao_indexes_initializer(_DAOTableDef* table_, const dao_schema_initializer& schema_,
                                                 const udb_indexes& source)
    : table(table_), validator(source), schema(&schema_)
{
    tk_logger::log(2, "dao_indexes_initializer::ctor");
    for (const udb_index& index : source) {
        if (index.fields.size() > max_index_fields) {
            tk_logger::wlog(2, L"Index '%s' has more than 10 fields and cannot be part of the table",
                            index.name.c_str());
            continue;
        }
        const bool acceptable = validator.is_acceptable(index.name);
        udb_index mapped;
        mapped.name = acceptable ? index.name : validator.get_safe_name(index.name);
        mapped.unique = index.unique;
        mapped.primary = index.primary;
        if (!map_fields(index, mapped))
            continue;
        tk_logger::wlog(1, L"udb_index::ctor('%s',%d,%d)", mapped.name.c_str(), static_cast<int>(mapped.unique),
                        static_cast<int>(mapped.primary));
        indexes.push_back(mapped);
        if (!acceptable) {
            tk_logger::wlog(2, L"Store generated index name '%s'", mapped.name.c_str());
            validator.add_existing_name(mapped.name);
        }
        validator.restricted_names.push_back(mapped.name);
    }
}

bool dao_indexes_initializer::map_fields(const udb_index& source, udb_index& mapped) const
{
    for (const std::wstring& field : source.fields) {
        const std::wstring name = schema->new_name(field);
        if (name != field)
            tk_logger::wlog(1, L"Got mapped name: %s", name.c_str());
        const t_ftd& column = schema->get_field1(name);
        if (column.name.empty())
            throw tk_exception(L"Field '" + name + L"' not found", 0);
        if (blocks_index(column)) {
            tk_logger::wlog(2, L"Field '%s' cannot be part of index", column.name.c_str());
            return false;
        }
        mapped.fields.push_back(column.name);
    }
    return true;
}

void dao_indexes_initializer::initialize()
{
    tk_logger::log(2, "dao_indexes_initializer::initialize");
    ole_com_ptr<DAOIndexes> list;
    dao_check(table->get_Indexes(list.address()), list);
    for (const udb_index& index : indexes) {
        tk_logger::wlog(2, L"Process index %s, primary=%d, unique=%d", index.name.c_str(),
                        static_cast<int>(index.primary), static_cast<int>(index.unique));
        ole_com_ptr<_DAOIndex> made;
        dao_check(table->CreateIndex(ole_variant(index.name).get_variant(), made.address()), made);
        dao_value object;
        dao_call(made->get_Fields(&object.v));
        ole_com_ptr<DAOIndexFields> columns;
        if (object.v.punkVal != nullptr)
            object.v.punkVal->QueryInterface(IID_DAOIndexFields, reinterpret_cast<void**>(columns.address()));
        if (columns.empty())
            throw tk_exception(1);
        for (const std::wstring& name : index.fields) {
            tk_logger::wlog(2, L"\tProcess index field %s", name.c_str());
            const ole_com_ptr<_DAOField> field = new_field(made.get(), schema->get_field1(name));
            dao_call(columns->Append(field.get()));
        }
        dao_call(made->put_Primary(index.primary ? VARIANT_TRUE : VARIANT_FALSE));
        dao_call(made->put_Unique(index.unique ? VARIANT_TRUE : VARIANT_FALSE));
        dao_call(list->Append(made.get()));
    }
}
