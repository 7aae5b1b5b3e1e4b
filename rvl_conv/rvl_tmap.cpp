// The "Type Mappings" section of a profile: the table and field changes as
// plain lines, written in order of source names and read back by a small
// state machine that refuses a line out of place.
#include "rvl_conv/rvl_mut.hpp"
#include "rvl_conv/rvl_prof.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_util.hpp"
#include "SQL/sql_vali.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_prof.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>
#include <cwchar>
#include <set>
#include <vector>

bool profile_prefix_equal(const std::wstring& line, const std::wstring& prefix, bool exact)
{
    if (prefix.size() > line.size())
        return false;
    const std::wstring head = line.substr(0, prefix.size());
    return exact ? head == prefix : platform::equal_no_case(head, prefix);
}

std::wstring& profile_trim(std::wstring& text)
{
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) {
        text.clear();
        return text;
    }
    text.erase(text.find_last_not_of(L' ') + 1);
    text.erase(0, first);
    return text;
}

namespace {

const wchar_t table_line[] = L"  - name:";
const wchar_t table_new_name[] = L"    new_name:";
const wchar_t fields_line[] = L"    fields:";
const wchar_t properties_line[] = L"    properties:";
const wchar_t field_line[] = L"      - name:";
const wchar_t property_indent[] = L"        ";

// The states of the walk over the table lines.
enum walk_state { after_table, after_new_name, in_fields, after_field, in_field_keys, in_properties };

struct field_entry {
    sql_field_type type;
    std::wstring new_name;
    // The numbers as the lines give them, before they become unsigned.
    int64_t length = 0;
    int64_t scale = 0;
    int64_t precision = 0;
};

struct table_entry {
    std::wstring new_name;
    std::map<std::wstring, field_entry> fields;
    std::set<std::wstring> deleted;
    std::map<std::wstring, std::wstring> properties;
};

// "key: value" of a property line into the map; a line that splits into more
// or fewer than two pieces at its colons is ignored.
void read_property(const std::wstring& line, std::map<std::wstring, std::wstring>& properties)
{
    std::vector<std::wstring> pieces;
    tk_wstring::split(line, L':', pieces);
    if (pieces.size() == 2)
        properties[profile_trim(pieces[0])] = profile_trim(pieces[1]);
}

// A number as the section writes it: blanks, a sign, digits; 0 without digits.
int64_t read_number(const std::wstring& text) { return std::wcstoll(text.c_str(), nullptr, 10); }

// The value behind a key's prefix, trimmed.
std::wstring value_of(const std::wstring& line, const std::wstring& prefix)
{
    std::wstring value = line.substr(prefix.size());
    return profile_trim(value);
}

// One field key line into the entry; false when the line is no field key.
bool read_field_key(const std::wstring& line, field_entry& field, std::set<std::wstring>& deleted,
                    const std::wstring& column)
{
    const auto key = [&line](const wchar_t* name) {
        return profile_prefix_equal(line, std::wstring(property_indent) + name + L":", true);
    };
    const auto value = [&line](const wchar_t* name) {
        return value_of(line, std::wstring(property_indent) + name + L":");
    };
    if (key(L"new_name"))
        field.new_name = value(L"new_name");
    else if (key(L"status")) {
        if (value(L"status") == L"deleted")
            deleted.insert(column);
    } else if (key(L"type"))
        field.type.type = value(L"type");
    else if (key(L"default_value"))
        field.type.default_value = value(L"default_value");
    else if (key(L"character_set"))
        field.type.character_set = value(L"character_set");
    else if (key(L"length"))
        field.type.length = static_cast<uint32_t>(field.length = read_number(value(L"length")));
    else if (key(L"scale"))
        field.type.scale = static_cast<uint32_t>(field.scale = read_number(value(L"scale")));
    else if (key(L"precision"))
        field.type.precision = static_cast<uint32_t>(field.precision = read_number(value(L"precision")));
    else
        return false;
    return true;
}

// A type is written into CREATE TABLE as it stands: plain words only, one
// blank between them ("INT UNSIGNED"); empty keeps the column's own type.
bool is_plain_type(const std::wstring& type)
{
    std::vector<std::wstring> words;
    tk_wstring::split(type, L' ', words);
    return type.empty() || std::all_of(words.begin(), words.end(), sql_is_plain_name);
}

// The lines whose values reach SQL text as names: a table's engine and
// character set, a column's character set and type. False when the value is
// no plain name.
bool check_value(sql_db_mutator& self, const std::wstring& line, walk_state state)
{
    if (state == in_properties) {
        std::vector<std::wstring> pieces;
        tk_wstring::split(line, L':', pieces);
        if (pieces.size() != 2)
            return true;
        const std::wstring key = profile_trim(pieces[0]);
        if (key != L"engine" && key != L"character set")
            return true;
        return self.note_catalogue_name(key == L"engine", profile_trim(pieces[1]), line);
    }
    const std::wstring character_set = std::wstring(property_indent) + L"character_set:";
    if (profile_prefix_equal(line, character_set, true))
        return self.note_catalogue_name(false, value_of(line, character_set), line);
    const std::wstring type = std::wstring(property_indent) + L"type:";
    return !profile_prefix_equal(line, type, true) || is_plain_type(value_of(line, type));
}

// Walks the table lines from `first`; false at the first line out of place or
// naming no plain name, which `failed` then holds (`bad_value` tells which).
bool read_tables(sql_db_mutator& self, const std::vector<std::wstring>& lines, size_t first,
                 std::map<std::wstring, table_entry>& tables, std::wstring& failed, bool& bad_value)
{
    walk_state state = after_table;
    std::wstring table, column;
    for (size_t i = first; i < lines.size(); ++i) {
        const std::wstring& line = lines[i];
        tk_logger::wlog(1, L"Processing '%s'", line.c_str());
        if (line.empty())
            continue;
        const auto is = [&line](const wchar_t* prefix) { return profile_prefix_equal(line, prefix, true); };
        bool placed = true;
        if (is(table_line)) {
            table = value_of(line, table_line);
            tables[table];
            column.clear();
            state = after_table;
        } else if (is(properties_line)) {
            state = in_properties;
        } else if (state == in_properties && is(property_indent)) {
            read_property(line, tables[table].properties);
        } else if (is(table_new_name)) {
            placed = state == after_table;
            tables[table].new_name = value_of(line, table_new_name);
            tk_logger::wlog(1, L"tm_new_table_name=%s", tables[table].new_name.c_str());
            state = after_new_name;
        } else if (is(fields_line)) {
            placed = state == after_table || state == after_new_name || state == after_field ||
                     state == in_field_keys;
            column.clear();
            state = in_fields;
        } else if (is(field_line)) {
            placed = state == in_fields || state == after_field || state == in_field_keys;
            column = value_of(line, field_line);
            state = after_field;
        } else {
            placed = (state == after_field || state == in_field_keys) &&
                     read_field_key(line, tables[table].fields[column], tables[table].deleted, column);
            state = in_field_keys;
        }
        bad_value = placed && (state == in_properties || state == in_field_keys) && !check_value(self, line, state);
        if (!placed || bad_value) {
            failed = line;
            return false;
        }
    }
    return true;
}

// The type as the lines give it, with the numbers that go into it.
std::wstring given_type(const field_entry& field)
{
    sql_native_type shown;
    shown.type = field.type.type;
    const std::wstring text = get_sql_native_type1(shown);
    const size_t open = text.find(L'(');
    if (open == std::wstring::npos)
        return text;
    if (text.find(L',') == std::wstring::npos)
        return text.substr(0, open) + L"(" + std::to_wstring(field.length) + L")";
    return text.substr(0, open) + L"(" + std::to_wstring(field.precision) + L"," + std::to_wstring(field.scale) + L")";
}

// The first column whose type the server would refuse, as a sentence naming
// its table, column and type; empty when every type is one it takes.
std::wstring first_type_failure(const std::map<std::wstring, table_entry>& tables)
{
    for (const auto& [table, entry] : tables) {
        for (const auto& [column, field] : entry.fields) {
            if (entry.deleted.count(column) != 0 || field.type.type.empty())
                continue;
            const std::wstring failure = sql_field_type_failure(field.type, field.length, field.precision, field.scale);
            if (!failure.empty())
                return sql_column_type_failure(table, column, given_type(field), failure);
        }
    }
    return {};
}

} // namespace

std::wstring sql_column_type_failure(const std::wstring& table, const std::wstring& column, const std::wstring& type,
                                     const std::wstring& reason)
{
    return L"the column '" + column + L"' of the table '" + table + L"' is given the type " + type +
           L", which the server cannot create: " + reason + L".";
}

bool sql_db_mutator::load(udb_profile& profile)
{
    tk_logger::log(2, "udb_db_mutator::load");
    clear();
    failed_line.clear();
    value_failure = false;
    type_failure.clear();
    catalogue_names.clear();
    const std::vector<std::wstring>& lines = profile.get_list(profile_type_mappings);
    size_t i = 0;
    if (i < lines.size() && lines[i] == L"database:") {
        for (++i; i < lines.size() && profile_prefix_equal(lines[i], L"  ", true); ++i)
            read_property(lines[i], properties);
    }
    if (i == lines.size())
        return true;
    if (lines[i] != L"tables:") {
        tk_logger::wlog(2, L"Skipping %s", lines[i].c_str());
        return true;
    }
    std::map<std::wstring, table_entry> entries;
    if (!read_tables(*this, lines, i + 1, entries, failed_line, value_failure))
        return false;
    type_failure = first_type_failure(entries);
    if (!type_failure.empty())
        return false;
    for (auto& [name, entry] : entries) {
        sql_table_mutator* table = get_table_mutator2(name, entry.new_name);
        for (auto& [column, field] : entry.fields) {
            const std::wstring new_name = field.new_name.empty() ? column : field.new_name;
            sql_field_mutator* change = table->update_field(column, new_name, field.type);
            if (entry.deleted.count(column) != 0)
                change->status = udb_mutators::deleted;
        }
        for (const auto& [key, value] : entry.properties)
            table->get_properties()[key] = value;
    }
    return true;
}

bool sql_db_mutator::note_catalogue_name(bool engine, const std::wstring& value, const std::wstring& line)
{
    if (value.empty())
        return true;
    if (!sql_is_plain_name(value)) {
        failed_line = line;
        value_failure = true;
        return false;
    }
    catalogue_names.push_back({engine, value, line});
    return true;
}

bool sql_db_mutator::store(udb_profile& profile) const
{
    const auto line = [&profile](const std::wstring& text) { profile.add_list_item(profile_type_mappings, text); };
    line(L"database:");
    for (const auto& [key, value] : properties)
        line(L"  " + key + L": " + value);
    line(L"tables:");
    for (const auto& [name, table] : tables) {
        line(table_line + (L" " + name));
        line(table_new_name + (L" " + table->new_name));
        line(fields_line);
        for (const auto& [column, field] : table->get_fields()) {
            line(field_line + column);
            line(L"        new_name: " + field->new_name);
            line(std::wstring(L"        status: ") +
                 (field->status == udb_mutators::deleted ? L"deleted" : L"changed"));
            line(L"        type: " + field->type.type);
            line(L"        default_value: " + field->type.default_value);
            line(L"        character_set: " + field->type.character_set);
            line(L"        length: " + std::to_wstring(static_cast<int32_t>(field->type.length)));
            line(L"        scale: " + std::to_wstring(static_cast<int32_t>(field->type.scale)));
            line(L"        precision: " + std::to_wstring(static_cast<int32_t>(field->type.precision)));
        }
        const property_map& table_properties = table->stored_properties();
        if (!table_properties.empty()) {
            line(properties_line);
            for (const auto& [key, value] : table_properties)
                line(property_indent + key + L": " + value);
        }
    }
    return true;
}
