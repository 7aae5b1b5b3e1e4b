// The index half of CREATE TABLE: index names the server accepts, index
// fields under the columns' new names, and a clause for each index that the
// server can take.
#include "SQL/sql_init.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_vali.hpp"
#include "platform/text/pl_case.hpp"

namespace {

constexpr size_t max_index_fields = 16;
constexpr uint32_t max_indexed_text = 768;  // characters; longer text is a LOB for an index

bool is_lob(const t_ftd& column)
{
    if (column.vartype == VT_BLOB || column.vartype == VT_BLOB_OBJECT || column.vartype == ole_vt_bytes)
        return true;
    const bool geometry = column.reserved == 2 || column.reserved == 8;
    return column.vartype == VT_BSTR && (geometry || column.size == 0 || column.size > max_indexed_text);
}

} // namespace

sql_indexes_initializer::sql_indexes_initializer(const sql_schema& schema_, const udb_indexes& source,
                                                 const std::wstring& auto_increment_name_, const t_names_map& names_)
    : auto_increment_name(auto_increment_name_), schema(&schema_), names(&names_)
{
    tk_logger::log(2, "sql_indexes_initializer::ctor");
    const auto validator = tk_singleton<sql_engine>::instance().create_in_validator(source);
    for (const udb_index& index : source) {
        const bool accepted = index.name.empty() || validator->is_acceptable(index.name);
        udb_index renamed = index;
        renamed.name = accepted ? index.name : validator->get_safe_name(index.name);
        for (std::wstring& field : renamed.fields)
            field = names->get_mapped_name(field);
        indexes.push_back(renamed);
        if (!accepted) {
            validator->add_existing_name(renamed.name);
            tk_logger::wlog(2, L"Store generated index name '%s'", renamed.name.c_str());
        }
        validator->restricted_names.push_back(renamed.name);
    }
}

void sql_indexes_initializer::get_init_chunks(std::vector<std::wstring>& out)
{
    tk_logger::log(1, "sql_indexes_initializer::get_init_chunks(n_indexes=%d)", static_cast<int>(indexes.size()));
    const sql_engine& engine = tk_singleton<sql_engine>::instance();
    const int max_examined = engine.is_old_version() ? 15 : 63;
    bool needs_index = !auto_increment_name.empty();
    int examined = 0;
    for (const udb_index& index : indexes) {
        if (examined >= max_examined)
            break;
        if (index.fields.empty()) {
            tk_logger::wlog(3, L"Skip index '%s' as it is built on empty fields list", index.name.c_str());
            continue;
        }
        if (index.fields.size() > max_index_fields) {
            tk_logger::wlog(2, L"Skip index '%s' as it is built on more than 16 fields", index.name.c_str());
            continue;
        }
        ++examined;
        std::wstring clause;
        bool covers = false;
        if (index_clause(index, clause, covers)) {
            out.push_back(clause);
            needs_index = needs_index && !covers;
        }
    }
    if (!needs_index)
        return;
    tk_logger::log(2, "Creating index for auto-field");
    const auto validator = engine.create_in_validator(indexes);
    const bool free = validator->is_acceptable(auto_increment_name) && !validator->is_duplicated(auto_increment_name);
    const std::wstring name = free ? auto_increment_name : validator->get_safe_name(auto_increment_name);
    out.push_back(L"INDEX " + sql_engine::get_safe_name(name) + L" (" + sql_engine::get_safe_name(auto_increment_name) +
                  L")");
}

// The clause of one index, or false when the server could not take it. An
// AUTO_INCREMENT column is covered only by an index that is made and that
// begins with it, as the server requires.
bool sql_indexes_initializer::index_clause(const udb_index& index, std::wstring& clause,
                                           bool& covers_auto_increment) const
{
    const sql_engine& engine = tk_singleton<sql_engine>::instance();
    const bool old_version = engine.is_old_version();
    // Key length in bytes: below 4.1.0 a character is a byte; from it a
    // text column's characters take what its character set may need.
    const uint32_t max_key = old_version ? 256 : 3072;
    const uint32_t text_bytes = old_version ? 1 : sql_bytes_per_char(engine.get_char_set());
    if (index.primary)
        clause = L"PRIMARY KEY";
    else
        clause = (index.unique ? L"UNIQUE " : L"INDEX ") + sql_engine::get_safe_name(index.name);
    clause += L" (";
    uint32_t key_size = 0;
    for (size_t i = 0; i < index.fields.size(); ++i) {
        const std::wstring& field = index.fields[i];
        if (i > 0)
            clause += L", ";
        if (i == 0 && !auto_increment_name.empty() && platform::equal_no_case(field, auto_increment_name)) {
            tk_logger::log(1, "Got index for auto_increment field");
            covers_auto_increment = true;
        }
        clause += sql_engine::get_safe_name(field);
        if (!schema->find_field(field)) {
            tk_logger::wlog(2, L"Index column '%s' is not found", field.c_str());
            return false;
        }
        const t_ftd& column = schema->get_field1(field);
        if (is_lob(column)) {
            tk_logger::wlog(3, L"Index '%s' built on LOB column(s) is not allowed", index.name.c_str());
            return false;
        }
        key_size += column.vartype == VT_BSTR ? column.size * text_bytes : column.size;
        if (key_size > max_key) {
            tk_logger::wlog(3, L"Index '%s' is too big, skip it", index.name.c_str());
            return false;
        }
    }
    clause += L")";
    return true;
}
