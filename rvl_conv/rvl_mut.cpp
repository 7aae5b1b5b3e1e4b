#include "rvl_conv/rvl_mut.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_fld.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <cwctype>

// ---- field change

sql_conversion_failure::sql_conversion_failure(const std::wstring& field_, const std::wstring& type_,
                                               const std::wstring& value_)
    : tk_exception("Data conversion is not supported for given type mapping", 0), field(field_), type(type_),
      value(value_)
{
}

std::wstring sql_conversion_failure::what_failed() const
{
    return L"the value '" + value + L"' of the field '" + field + L"' (" + type + L")";
}

sql_field_mutator::sql_field_mutator(const std::wstring& new_name_, const sql_field_type& type_, int32_t status_)
    : new_name(new_name_), type(type_), status(status_)
{
    tk_logger::wlog(1, L"udb_field_mutator::ctor1(%s)", new_name.c_str());
}

udb_properties::property_map& sql_field_mutator::get_properties()
{
    properties.clear();
    properties[L"new_name"] = new_name;
    properties[L"type"] = type.type;
    properties[L"default_value"] = type.default_value;
    properties[L"character_set"] = type.character_set;
    properties[L"length"] = std::to_wstring(static_cast<int32_t>(type.length));
    properties[L"scale"] = std::to_wstring(static_cast<int32_t>(type.scale));
    properties[L"precision"] = std::to_wstring(static_cast<int32_t>(type.precision));
    return properties;
}

std::wstring sql_field_mutator::column_type() const { return get_sql_native_type1(type); }

std::shared_ptr<t_ftd> sql_field_mutator::create2(const t_ftd* column) const
{
    tk_logger::log(1, "udb_field_mutator::create2");
    if (column == nullptr)
        return nullptr;
    auto copy = std::make_shared<t_ftd>(*column);
    if (retypes())
        copy->native_type = column_type();
    return copy;
}

void sql_field_mutator::modify1(t_ftd& column) const
{
    // A change without a new name keeps the column's name.
    if (!new_name.empty()) {
        tk_logger::wlog(1, L"new_name=%s", new_name.c_str());
        column.name = new_name;
    }
    if (!retypes()) {
        if (!type.default_value.empty())
            column.default_value = ole_variant(type.default_value);
        return;
    }
    if (vartype != VT_NULL)
        column.vartype = vartype;
    column.native_type = column_type();
    tk_logger::wlog(1, L"\tf.native_type=%s", column.native_type.c_str());
    column.size = type.length;
    tk_logger::log(1, "\tf.size=%d", static_cast<int>(column.size));
    column.reserved = dw_reserved;
    column.default_value = ole_variant(type.default_value);
    if (type.precision != 0 || type.scale != 0) {
        tk_logger::log(1, "Setting new prec/scale: (%d,%d)", static_cast<int>(type.precision),
                       static_cast<int>(type.scale));
        column.precision = type.precision;
        column.scale = type.scale;
    }
}

void sql_field_mutator::modify2(udb_field& field) const
{
    if (!new_name.empty())
        field.name = new_name;
    if (!retypes())
        return;
    field.size = type.length;
    if (vartype == VT_NULL)
        return;
    // An empty cell holds no value of any type: it goes as NULL instead of
    // ending the copy of its table, as a failed conversion does.
    if (vartype != VT_BSTR && field.get_type() == VT_BSTR && field.get_text_length() == 0) {
        static_cast<ole_variant&>(field) = ole_variant();
        return;
    }
    // A number or a date made text reads as the sheet shows it.
    if (std::string shown; vartype == VT_BSTR && sql_shown_text(field, shown)) {
        static_cast<ole_variant&>(field) = ole_variant(platform::from_utf8(shown));
        return;
    }
    try {
        field.change_type(vartype);
    } catch (const ole_cast_exception&) {
        // The value named as the sheet shows it: 300, not its text form.
        std::string shown;
        throw sql_conversion_failure(field.name, column_type(),
                                     sql_shown_text(field, shown) ? platform::from_utf8(shown) : field.to_wstring());
    }
}

// ---- table change

sql_table_mutator::sql_table_mutator(const std::wstring& new_name_) : new_name(new_name_)
{
    tk_logger::wlog(1, L"udb_table_mutator::ctor(%s)", new_name.c_str());
}

void sql_table_mutator::set_new_name(const std::wstring& name)
{
    tk_logger::wlog(1, L"udb_table_mutator::set_new_name(%s)", name.c_str());
    new_name = name;
}

void sql_table_mutator::remove_field(const std::wstring& old_name)
{
    const auto found = fields.find(old_name);
    if (found == fields.end())
        return;
    std::erase_if(fields_by_new_name, [&found](const auto& entry) { return entry.second == found->second.get(); });
    fields.erase(found);
}

udb_properties* sql_table_mutator::find_mutator(const std::wstring& name)
{
    const auto found = fields.find(name);
    return found == fields.end() ? nullptr : found->second.get();
}

udb_properties* sql_table_mutator::find_mutator2(const std::wstring& name)
{
    const auto found = fields_by_new_name.find(name);
    return found == fields_by_new_name.end() ? nullptr : found->second;
}

const sql_field_mutator* sql_table_mutator::field_of(const std::wstring& name) const
{
    const auto found = fields.find(name);
    return found == fields.end() ? nullptr : found->second.get();
}

sql_field_mutator* sql_table_mutator::update_field(const std::wstring& old_name, const std::wstring& new_name_,
                                                   sql_field_type& type)
{
    tk_logger::wlog(2, L"udb_table_mutator::update_field(old_name=%s,new_name=%s,native_type=%s,length=%d)",
                    old_name.c_str(), new_name_.c_str(), type.type.c_str(), static_cast<int>(type.length));
    std::unique_ptr<sql_field_mutator>& change = fields[old_name];
    if (change == nullptr) {
        tk_logger::wlog(1, L"create_field_mutator(%s)", new_name_.c_str());
        change = std::make_unique<sql_field_mutator>(new_name_, type, udb_mutators::changed);
    }
    fields_by_new_name.try_emplace(new_name_, change.get());
    change->vartype = get_vartype_by_name(type.type, type.length);
    change->new_name = new_name_;
    change->type = type;
    return change.get();
}

std::wstring sql_table_mutator::modify1(udb_schema& schema)
{
    tk_logger::log(1, "udb_table_mutator::modify1()");
    if (!fields.empty()) {
        tk_logger::log(1, "create_modified_copy2");
        udb_schema copy;
        for (const std::shared_ptr<t_ftd>& column : schema) {
            const sql_field_mutator* change = field_of(column->name);
            if (change == nullptr)
                copy.push_back(std::make_shared<t_ftd>(*column));
            else if (change->status != udb_mutators::deleted)
                copy.push_back(change->create2(column.get()));
        }
        tk_logger::log(1, "create_modified_copy2 - END");
        // Looked up by the source names, before any column takes its new one.
        for (const std::shared_ptr<t_ftd>& column : copy) {
            const sql_field_mutator* change = field_of(column->name);
            if (change != nullptr && change->status == udb_mutators::changed)
                change->modify1(*column);
        }
        for (const auto& [name, change] : fields)
            if (change->status == udb_mutators::created)
                tk_logger::log(1, "udb_field_mutator::create1");
        schema = copy;
    }
    tk_logger::wlog(1, L"returning new_name=%s", new_name.c_str());
    return new_name;
}

void sql_table_mutator::modify3(udb_indexes& indexes) const
{
    tk_logger::log(1, "udb_table_mutator::modify3()");
    for (udb_index& index : indexes) {
        std::erase_if(index.fields, [this](const std::wstring& name) {
            const sql_field_mutator* change = field_of(name);
            return change != nullptr && change->status == udb_mutators::deleted;
        });
        for (std::wstring& name : index.fields) {
            const sql_field_mutator* change = field_of(name);
            if (change != nullptr && !change->new_name.empty())
                name = change->new_name;
        }
    }
}

const udb_record& sql_table_mutator::modify2(const udb_record& record)
{
    tk_logger::log(1, "udb_table_mutator::modify2()");
    if (fields.empty()) {
        tk_logger::log(1, "field_mutators.size == 0, nothing to do");
        return record;
    }
    tk_logger::log(1, "create_modified_copy1");
    last_record.reset();
    for (const std::unique_ptr<udb_field>& field : record) {
        tk_logger::wlog(1, L"Field name='%s'", field->name.c_str());
        const sql_field_mutator* change = field_of(field->name);
        if (change == nullptr) {
            tk_logger::log(1, "Failed to find field");
            last_record.push_back(std::make_unique<udb_field>(*field));
        } else if (change->status == udb_mutators::deleted) {
            tk_logger::log(1, "status == udb_mutators::deleted, cotinue");
        } else {
            tk_logger::log(1, "udb_field_mutator::create1");
            auto changed = std::make_unique<sql_field>(*field);
            change->modify2(*changed);
            last_record.push_back(std::move(changed));
        }
    }
    tk_logger::log(1, "create_modified_copy1 - END");
    for (const auto& [name, change] : fields)
        if (change->status == udb_mutators::created)
            change->create2(nullptr);
    tk_logger::log(1, "udb_table_mutator::modify2 - END");
    return last_record;
}

// ---- database change

sql_db_mutator::~sql_db_mutator() { clear(); }

void sql_db_mutator::clear()
{
    tables_by_new_name.clear();
    tables.clear();
}

sql_table_mutator* sql_db_mutator::get_table_mutator2(const std::wstring& table, const std::wstring& new_name)
{
    tk_logger::wlog(1, L"get_table_mutator2(%s,%s)", table.c_str(), new_name.c_str());
    std::unique_ptr<sql_table_mutator>& change = tables[table];
    if (change != nullptr) {
        change->set_new_name(new_name);
        return change.get();
    }
    change = std::make_unique<sql_table_mutator>(new_name);
    tables_by_new_name.try_emplace(new_name, change.get());
    return change.get();
}

sql_table_mutator* sql_db_mutator::get_table_mutator3(const std::wstring& table) const
{
    tk_logger::wlog(1, L"get_table_mutator3(%s)", table.c_str());
    const auto found = tables.find(table);
    return found == tables.end() ? nullptr : found->second.get();
}

udb_properties* sql_db_mutator::find_mutator2(const std::wstring& new_name)
{
    const auto found = tables_by_new_name.find(new_name);
    return found == tables_by_new_name.end() ? nullptr : found->second;
}

std::wstring sql_db_mutator::destination_name(const std::wstring& table) const
{
    const sql_table_mutator* change = get_table_mutator3(table);
    return change == nullptr || change->new_name.empty() ? table : change->new_name;
}

namespace {

// The first two of the tables whose destination names (destination(i)) are
// one table name where at least one of them is not the table's own name.
template <class F>
std::optional<table_name_clash> find_name_clash(const std::vector<std::wstring>& tables, F destination)
{
    std::vector<std::wstring> names;
    for (size_t i = 0; i < tables.size(); ++i)
        names.push_back(destination(i));
    for (size_t i = 0; i < tables.size(); ++i)
        for (size_t j = i + 1; j < tables.size(); ++j)
            if ((names[i] != tables[i] || names[j] != tables[j]) && platform::equal_table_names(names[i], names[j]))
                return table_name_clash{tables[i], tables[j], names[i]};
    return std::nullopt;
}

} // namespace

std::optional<table_name_clash> sql_db_mutator::first_name_clash(const std::vector<std::wstring>& tables) const
{
    return find_name_clash(tables, [&](size_t i) { return destination_name(tables[i]); });
}

std::optional<table_name_clash> sql_db_mutator::first_name_clash(const std::vector<std::wstring>& tables,
                                                                 const std::wstring& table,
                                                                 const std::wstring& new_name) const
{
    return find_name_clash(tables, [&](size_t i) {
        if (tables[i] != table)
            return destination_name(tables[i]);
        return new_name.empty() ? table : new_name;
    });
}

std::wstring sql_db_mutator::modify1(const std::wstring& table, udb_schema& schema, udb_indexes& indexes)
{
    tk_logger::wlog(1, L"udb_db_mutator::modify1(%s)", table.c_str());
    sql_table_mutator* change = get_table_mutator3(table);
    if (change == nullptr)
        return table;
    const bool had_columns = !schema.empty();
    check_types(table, *change);
    change->modify3(indexes);
    const std::wstring new_name = change->modify1(schema);
    if (had_columns && schema.empty())
        throw tk_exception(L"Every field of the table '" + table +
                               L"' is deleted by the type mapping: the server creates no table without columns.",
                           0);
    // An empty name must never reach CREATE TABLE.
    return new_name.empty() ? table : new_name;
}

std::wstring sql_field_type_failure(const sql_field_type& type, int64_t length, int64_t precision, int64_t scale)
{
    const sql_engine* engine = sql_engine::try_instance();
    const std::wstring char_set = !type.character_set.empty() ? type.character_set
                                  : engine != nullptr          ? engine->get_char_set()
                                                               : std::wstring();
    return sql_user_type_failure(type.type, length, precision, scale, type.default_value, char_set);
}

void sql_db_mutator::check_types(const std::wstring& table, const sql_table_mutator& change) const
{
    for (const auto& [column, field] : change.get_fields()) {
        const sql_field_type& type = field->type;
        if (field->status != udb_mutators::changed || type.type.empty())
            continue;
        const std::wstring failure = sql_field_type_failure(type, type.length, type.precision, type.scale);
        if (!failure.empty()) {
            std::wstring text = sql_column_type_failure(table, column, field->column_type(), failure);
            text[0] = static_cast<wchar_t>(std::towupper(text[0]));
            throw tk_exception(text, 0);
        }
    }
}

bool sql_db_mutator::has_field_changes(const std::wstring& table) const
{
    const sql_table_mutator* change = get_table_mutator3(table);
    return change != nullptr && change->has_field_changes();
}

const udb_record& sql_db_mutator::modify2(const std::wstring& table, const udb_record& record)
{
    if (!has_field_changes(table)) {
        tk_logger::wlog(2, L"Not found: '%s'", table.c_str());
        return record;
    }
    return get_table_mutator3(table)->modify2(record);
}

std::vector<bool> sql_db_mutator::user_typed(const std::wstring& table, const udb_schema& columns) const
{
    std::vector<bool> typed(columns.size(), false);
    sql_table_mutator* change = get_table_mutator3(table);
    for (size_t i = 0; change != nullptr && i < columns.size(); ++i) {
        const auto* field = static_cast<const sql_field_mutator*>(change->find_mutator2(columns[i]->name));
        typed[i] = field != nullptr && field->status == udb_mutators::changed && field->retypes();
    }
    return typed;
}

void sql_db_mutator::describe_field(t_ftd& column, sql_field_type& type) const
{
    const sql_engine* engine = sql_engine::try_instance();
    type.type = get_sql_native_type2(&column, true, engine != nullptr ? engine->get_char_set() : std::wstring());
    type.length = column.size;
    type.default_value = make_mysql_def_val(&column);
    if (column.vartype == VT_DECIMAL) {
        type.scale = column.reserved & 0xFF;
        type.precision = (column.reserved >> 8) & 0xFF;
    }
    column.native_type = get_sql_native_type1(type);
}

const std::set<std::wstring>& sql_db_mutator::get_excluded_types()
{
    static const std::set<std::wstring> none;
    return none;
}
