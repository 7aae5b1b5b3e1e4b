#include "SQL/dmp_recs.hpp"

#include "SQL/sql_dump.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_tab.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_vali.hpp"
#include "platform/ole/pl_ole.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>

namespace {

const char generic_error[] =
    "Generic error occurred while migrating the data.\n"
    "Please send the log file of the run to the product's support team.";
const char structure_error[] =
    "The structure of data source does not conform to the destination table. "
    "See 'Troubleshooting' in the product documentation.";

// A streamed value goes to the file in pieces of this many bytes or
// characters, so memory stays bounded whatever its size.
constexpr uint32_t piece_size = 0x20000;

// The type the value is stored as, which the pieces are read from (a back
// end may report another type for its fields).
VARTYPE stored_type(const udb_field& field)
{
    return field.ole_variant::get_type();
}

bool is_binary_value(const udb_field& field)
{
    const VARTYPE vt = stored_type(field);
    return vt == ole_vt_bytes || vt == VT_BLOB;
}

// Only text and binary values grow beyond 1 MiB; a null value keeps its
// column's declared size and goes as NULL like any other.
bool is_streamed(const udb_field& field)
{
    const VARTYPE vt = stored_type(field);
    return (vt == VT_BSTR || is_binary_value(field)) && field.get_size() > dmp_recordset::max_field_size;
}

bool has_streamed(const std::vector<const udb_field*>& fields)
{
    return std::any_of(fields.begin(), fields.end(), [](const udb_field* f) { return is_streamed(*f); });
}

// Binary values as a hexadecimal literal, text as an escaped string, so a
// large value reloads byte for byte like a small one.
void stream_value(dmp_out& out, const udb_field& field)
{
    const bool binary = is_binary_value(field);
    tk_logger::log(1, "is_binary=%d", binary ? 1 : 0);
    if (binary) {
        std::string hex(2 * piece_size + 1, '\0');
        out.write("0x");
        for (uint32_t position = 0;; position += piece_size) {
            const int count = field.get_at(hex.data(), position, piece_size);
            if (count <= 0)
                break;
            out.write(std::string_view(hex.data(), 2 * static_cast<size_t>(count)));
        }
        return;
    }
    // The characters are read straight from the value: a piece never stops
    // at a NUL character, which the escaping writes as \0.
    const BSTR text = field.get_variant().bstrVal;
    const uint32_t length = SysStringLen(text);
    out.write("'");
    for (uint32_t position = 0; position < length; position += piece_size) {
        const std::wstring piece(text + position, std::min(piece_size, length - position));
        out.write(platform::to_utf8(sql_escape(piece)));
    }
    out.write("'");
}

// The field of a record for a column's source name: the field at the
// column's own position when it bears that name, else the first of that name.
const udb_field* locate(const udb_record& record, size_t position, const std::wstring& source)
{
    if (position < record.size() && record[position] && platform::same_text(record[position]->name, source))
        return record[position].get();
    if (!record.find_field(source))
        return nullptr;
    return &record.get_field(source);
}

} // namespace

dmp_recordset::dmp_recordset(dmp_out& out_, dmp_database* db_, const std::wstring& name_, const udb_schema& schema_)
    : udb_recordset(db_, name_, false), out(out_), db(db_), batch_schema(false)
{
    tk_logger::wlog(1, L"dmp_recordset::dmp_recordset(%s)", name_.c_str());
    for (const auto& column : schema_) {
        schema.push_back(std::make_shared<t_ftd>(*column));
        // A type the server cannot take is refused with the table, not here.
        if (column->native_type.empty())
            continue;
        const std::optional<sql_type_text> parsed = sql_parse_type(column->native_type);
        if (parsed && sql_checks_values(*parsed))
            user_types.emplace(schema.back().get(), *parsed);
    }
}

const sql_type_text* dmp_recordset::user_type(const t_ftd* column) const
{
    const auto found = user_types.find(column);
    return found == user_types.end() ? nullptr : &found->second;
}

dmp_recordset::~dmp_recordset()
{
    tk_logger::log(2, "dmp_recordset::dtor");
    if (!append_buffer.empty()) {
        tk_logger::log(1, "Run SQL query: [%s]", append_buffer.c_str());
        flush_pending();
    }
}

std::string dmp_recordset::identifier(const std::wstring& name_) const
{
    return tk_to_utf8(db->backquoted_name(name_));
}

void dmp_recordset::release_other_lock()
{
    db->unlock_unless_locked(name, "dmp_recordset - right before unlock tables");
}

void dmp_recordset::flush_pending()
{
    // Recordsets go before their dump is closed; rows left for later are
    // lost, and the log says so.
    if (!out.is_open())
        tk_logger::wlog(3, L"Rows of table '%s' came after the dump file was closed and are lost", name.c_str());
    release_other_lock();
    out.note_rows();
    out.write(append_buffer);
    out.write(";");
    out.write(db->get_eol());
    out.mark_whole();
    append_buffer.clear();
}

void dmp_recordset::append_record(const udb_record& record)
{
    tk_logger::log(1, "dmp_recordset::append_record");
    ++record_number;
    const int64_t size = record.get_total_size();
    tk_logger::log(1, "record size=%d", static_cast<int>(size));
    sql_engine* engine = sql_engine::instance_ptr();
    if (size > row_limit) {
        tk_logger::log(3, "Row is too big (%d bytes), swtich to slow_append", static_cast<int>(size));
        engine->clear_fast_insert();
        if (!append_buffer.empty()) {
            tk_logger::log(1, "Run SQL query: [%s]", append_buffer.c_str());
            release_other_lock();
            out.note_rows();
            db->write_statement(append_buffer);
            append_buffer.clear();
        }
    }
    if (engine->is_fast_insert())
        fast_append(record);
    else
        slow_append(record);
}

void dmp_recordset::begin_batch(const udb_record& record)
{
    tk_logger::log(1, "Initialize new query...");
    batch_schema = schema;
    batch_sources.clear();
    std::string columns;
    for (size_t i = 0; i < batch_schema.size();) {
        const std::wstring& column = batch_schema[i]->name;
        std::wstring source = db->names_map.get_fn_orig_name(name, column, true);
        tk_logger::wlog(1, L"Name=%s, original name=%s", column.c_str(), source.c_str());
        if (!record.find_field(source)) {
            tk_logger::wlog(2, L"Field %s not found", source.c_str());
            tk_logger::log(2, "1st time => reduce schema");
            batch_schema.erase(batch_schema.begin() + static_cast<ptrdiff_t>(i));
            continue;
        }
        if (!columns.empty())
            columns += ", ";
        columns += identifier(column);
        batch_sources.push_back(std::move(source));
        ++i;
    }
    batch_head = "INSERT INTO " + identifier(name) + "(" + columns + ")";
    // The columns and their types are the batch's: each row only finds its
    // fields.
    batch_row.columns.clear();
    batch_row.types.clear();
    for (const auto& column : batch_schema) {
        batch_row.columns.push_back(column.get());
        batch_row.types.push_back(user_type(column.get()));
    }
    tk_logger::log(1, "sql_query=%s", batch_head.c_str());
}

const dmp_recordset::row_values& dmp_recordset::match_batch(const udb_record& record)
{
    // One list for every row of the recordset: no allocation per row.
    row_values& row = batch_row;
    row.fields.clear();
    for (size_t i = 0; i < batch_schema.size(); ++i) {
        const udb_field* field = locate(record, i, batch_sources[i]);
        if (field == nullptr) {
            tk_logger::wlog(2, L"Field %s not found", batch_sources[i].c_str());
            throw tk_exception(generic_error, 0);
        }
        row.fields.push_back(field);
    }
    return row;
}

void dmp_recordset::append_literals(std::string& text, const row_values& row)
{
    for (size_t i = 0; i < row.fields.size(); ++i) {
        if (i > 0)
            text += ", ";
        append_fld_literal(text, row.fields[i], row.columns[i], false);
    }
}

std::string dmp_recordset::write_streamed(const std::string& head, const row_values& row)
{
    // Every literal is made before anything is written, so a value that fails
    // leaves no broken statement in the file.
    std::vector<std::string> literals(row.fields.size());
    for (size_t i = 0; i < row.fields.size(); ++i)
        if (!is_streamed(*row.fields[i]))
            literals[i] = get_fld_append_str(row.fields[i], row.columns[i], false);

    std::string text = head;
    for (size_t i = 0; i < row.fields.size(); ++i) {
        if (i > 0)
            text += ", ";
        if (!is_streamed(*row.fields[i])) {
            text += literals[i];
            continue;
        }
        tk_logger::log(1, "that[eye]->get_size() > sql_engine::max_field_size");
        tk_logger::log(1, "sql_query=%s", text.c_str());
        out.write(text);
        text.clear();
        stream_value(out, *row.fields[i]);
    }
    return text;
}

void dmp_recordset::check_user_types(const row_values& row) const
{
    for (size_t i = 0; i < row.fields.size(); ++i) {
        const t_ftd& column = *row.columns[i];
        const VARTYPE vt = row.fields[i]->get_type();
        if (row.types[i] == nullptr || vt == VT_EMPTY || vt == VT_NULL)
            continue;
        const std::wstring failure = sql_value_failure(*row.types[i], row.fields[i]->to_wstring());
        if (!failure.empty())
            throw sql_batch_report("record #" + std::to_string(record_number) + ": " + tk_to_utf8(failure) + " '" +
                                       tk_to_utf8(column.name) + "' (" + tk_to_utf8(column.native_type) +
                                       "), which a server in strict mode refuses: the row is not in the dump.",
                                   0);
    }
}

void dmp_recordset::fast_append(const udb_record& record)
{
    tk_logger::log(1, "dmp_recordset::fast_append");
    const bool first = append_buffer.empty();
    if (first)
        begin_batch(record);
    // A value over 1 MiB makes its row longer than the row limit, and such a
    // row never comes here: fast rows stream nothing.
    const row_values& row = match_batch(record);
    check_user_types(row);
    const size_t start = append_buffer.size();
    if (first)
        append_buffer += batch_head + " VALUES(";
    else
        append_buffer += ", (";
    try {
        append_literals(append_buffer, row);
    } catch (...) {
        append_buffer.resize(start);  // the row's head goes with it
        throw;
    }
    append_buffer += ')';
    tk_logger::log(1, "*** FAST INSERT MODE ***");
    if (static_cast<int64_t>(append_buffer.size()) > row_limit) {
        tk_logger::log(1, "Run SQL query: [%s]", append_buffer.c_str());
        flush_pending();
        tk_logger::log(1, "Cleaning append_buffer...");
    }
}

dmp_recordset::row_values dmp_recordset::match_by_schema(const udb_record& record, std::string& column_list) const
{
    tk_logger::log(1, "Size of schema is less or equal to the size of record");
    row_values row;
    for (const auto& column : schema) {
        const std::wstring source = db->names_map.get_fn_orig_name(name, column->name, true);
        tk_logger::wlog(1, L"Name=%s, original name=%s", column->name.c_str(), source.c_str());
        if (!record.find_field(source)) {
            tk_logger::wlog(1, L"Field %s not found", source.c_str());
            throw tk_exception(structure_error, 0);
        }
        if (!column_list.empty())
            column_list += ", ";
        column_list += identifier(column->name);
        row.fields.push_back(&record.get_field(source));
        row.columns.push_back(column.get());
        row.types.push_back(user_type(column.get()));
    }
    return row;
}

dmp_recordset::row_values dmp_recordset::match_by_record(const udb_record& record, std::string& column_list) const
{
    tk_logger::log(1, "Size of record is less than size of schema");
    std::unique_ptr<udb_validator> validator = sql_engine::instance().create_fn_validator(record);
    row_values row;
    for (const auto& field : record) {
        std::wstring mapped = field->name;
        if (!validator->is_acceptable(mapped))
            mapped = validator->get_safe_name(mapped);
        tk_logger::wlog(1, L"udb_validator::add_existing_name(%s)", mapped.c_str());
        validator->add_existing_name(mapped);
        tk_logger::wlog(1, L"Name=%s, mapped name=%s", field->name.c_str(), mapped.c_str());
        if (!schema.find_field(mapped)) {
            tk_logger::wlog(2, L"Field %s not found", mapped.c_str());
            throw tk_exception(structure_error, 0);
        }
        const t_ftd& column = schema.get_field1(mapped);
        if (!column_list.empty())
            column_list += ", ";
        column_list += identifier(column.name);
        row.fields.push_back(field.get());
        row.columns.push_back(&column);
        row.types.push_back(user_type(&column));
    }
    return row;
}

void dmp_recordset::slow_append(const udb_record& record)
{
    tk_logger::log(1, "dmp_recordset::slow_append");
    std::string column_list;
    const row_values row = record.size() < schema.size() ? match_by_record(record, column_list)
                                                         : match_by_schema(record, column_list);
    check_user_types(row);
    // The bare LF after the column list is the statement's own, whatever
    // the dump's line ends.
    const std::string head = "INSERT INTO " + identifier(name) + "(" + column_list + ") \nVALUES (";
    release_other_lock();
    out.note_rows();
    const uint64_t start = out.written();
    if (!has_streamed(row.fields)) {
        std::string statement = head;
        append_literals(statement, row);
        statement += ')';
        tk_logger::log(1, "Run SQL query: %s", statement.c_str());
        db->write_statement(statement);
    } else {
        const std::string tail = write_streamed(head, row);
        out.write(tail);
        out.write(");");
        out.write(db->get_eol());
        out.mark_whole();
    }
    db->note_statement_size(name, out.written() - start);
}
