#include "SQL/sql_tab.hpp"

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_vali.hpp"
#include "platform/text/pl_case.hpp"

namespace {

const char structure_mismatch[] = "The structure of data source does not conform to the destination table. For more "
                                  "information see Troubleshooting article of the product documentation.";
// A refused gathered statement names at most this many of its rows.
constexpr size_t refused_rows_listed = 20;

sql_engine& engine()
{
    return tk_singleton<sql_engine>::instance();
}

bool same_names(const std::vector<std::wstring>& names, const udb_record& record)
{
    if (names.size() != record.size())
        return false;
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] != record[i]->name)
            return false;
    return true;
}

std::string join(const std::vector<std::string>& parts)
{
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += parts[i];
    }
    return text;
}

} // namespace

sql_field_finder::sql_field_finder(const udb_record& record) : validator(engine().create_fn_validator(record))
{
    names.reserve(record.size());
    for (const auto& field : record) {
        std::wstring name = field->name;
        if (!validator->is_acceptable(name)) {
            const std::wstring safe = validator->get_safe_name(name);
            tk_logger::wlog(1, L"GOT SAFE NAME: %s->%s", name.c_str(), safe.c_str());
            validator->add_existing_name(safe);
            name = safe;
        }
        names.push_back(name);
        validator->restricted_names.push_back(name);
    }
}

sql_field_finder::~sql_field_finder() = default;

int sql_field_finder::get_field_idx(const std::wstring& name) const
{
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i].size() == name.size() && platform::equal_no_case(names[i], name))
            return static_cast<int>(i);
    return -1;
}

sql_table::sql_table(sql_database* database_, const std::wstring& table, udb_relationships* relationships_,
                     uint32_t mode)
    : sql_recordset(database_, table, relationships_, true)
{
    tk_logger::log(2, "sql_table::ctor");
    initialize(mode);
}

sql_table::~sql_table()
{
    tk_logger::log(2, "sql_table::dtor");
    if (pending.text.empty() && !awaiting_answer)
        return;
    // The run flushes explicitly; this is the fallback of a run that ended
    // early, and a destructor must not throw.
    tk_logger::log(1, "Run SQL query: [%s]", pending.text.c_str());
    try {
        flush();
    } catch (const std::exception& e) {
        tk_logger::wlog(3, L"Table '%s': ERROR '%S'", name.c_str(), e.what());
    } catch (...) {
        tk_logger::wlog(3, L"Table '%s': ERROR '%S'", name.c_str(), "unknown failure");
    }
}

std::string sql_table::name_text(const std::wstring& identifier, bool always_quoted) const
{
    if (!always_quoted && engine().is_old_version())
        return tk_to_utf8(sql_engine::old_dialect_name(identifier));
    return tk_to_utf8(udb_backquoted(identifier));
}

const sql_table::column_match& sql_table::match(const udb_record& record)
{
    if (last_match && same_names(last_match->field_names, record))
        return *last_match;
    auto made = std::make_unique<column_match>();
    const bool case_a = schema.size() <= record.size();
    std::vector<std::string> fast_names;
    std::vector<std::string> slow_names;
    if (case_a) {
        const sql_field_finder finder(record);
        for (const auto& column : schema) {
            const int position = finder.get_field_idx(column->name);
            if (position < 0) {
                tk_logger::wlog(3, L"Field %s not found in appending record", column->name.c_str());
                throw tk_exception(structure_mismatch, 0);
            }
            made->pairs.emplace_back(static_cast<size_t>(position), column.get());
            fast_names.push_back(name_text(column->name, false));
            slow_names.push_back(name_text(column->name, true));
        }
    } else {
        std::unique_ptr<udb_validator> validator = engine().create_fn_validator(record);
        for (size_t i = 0; i < record.size(); ++i) {
            std::wstring name = record[i]->name;
            if (!validator->is_acceptable(name)) {
                name = validator->get_safe_name(name);
                validator->add_existing_name(name);
            }
            if (!schema.find_field(name)) {
                tk_logger::wlog(3, L"Field %s not found", name.c_str());
                throw tk_exception(structure_mismatch, 0);
            }
            const t_ftd& column = schema.get_field1(name);
            made->pairs.emplace_back(i, &column);
            fast_names.push_back(name_text(column.name, false));
            slow_names.push_back(fast_names.back());
        }
    }
    const std::string table = name_text(name, false);
    const bool replace = (database->mode & udb_database::mode_replace) != 0;
    made->fast_columns = (replace ? "REPLACE INTO " : "INSERT IGNORE INTO ") + table + "(" + join(fast_names);
    made->slow_columns = (replace ? "REPLACE INTO " : "INSERT INTO ") + table + "(" + join(slow_names) + ")";
    for (const auto& field : record)
        made->field_names.push_back(field->name);
    last_match = std::move(made);
    return *last_match;
}

std::string sql_table::values_of(const udb_record& record, const column_match& matched, bool prepared,
                                 std::vector<const udb_field*>* long_fields) const
{
    std::string values;
    for (size_t i = 0; i < matched.pairs.size(); ++i) {
        const udb_field* field = record[matched.pairs[i].first].get();
        const std::string literal = get_fld_append_str(field, matched.pairs[i].second, prepared);
        // No literal is a bare "?": text is quoted, so this is a placeholder.
        if (long_fields != nullptr && literal == "?")
            long_fields->push_back(field);
        if (i > 0)
            values += ", ";
        values += literal;
    }
    return values;
}

std::string sql_table::refusals::message() const
{
    std::string text = std::to_string(refused) + " of " + std::to_string(total) +
                       " rows were refused by the server:" + report;
    if (refused > refused_rows_listed)
        text += "\n(and " + std::to_string(refused - refused_rows_listed) + " more)";
    return text;
}

void sql_table::refusals::raise(const std::string& then) const
{
    throw sql_exception(then.empty() ? message() : message() + "\n" + then, first_code & 0xFFFF);
}

void sql_table::append_record(const udb_record& record)
{
    const int64_t size = record.get_total_size();
    // Rows of earlier batches that the server refused; reported once this
    // row is written.
    refusals refused;
    if (size > max_buffer_size) {
        tk_logger::log(3, "Row is too big (%d bytes), swtich to slow_append", static_cast<int>(size));
        engine().clear_fast_insert();
        send_gathered(refused);
        complete_sent(refused);
    }
    try {
        if (engine().is_fast_insert())
            fast_append(record, refused);
        else
            slow_append(record);
    } catch (const sql_exception& e) {
        if (!refused.any())
            throw;
        refused.raise(e.get_message());
    } catch (const tk_exception&) {
        // A failure that ends the table's copy outranks the report.
        if (refused.any())
            tk_logger::wlog(3, L"Table '%s': ERROR '%S'", name.c_str(), refused.message().c_str());
        throw;
    }
    ++row_count;
    if (refused.any())
        refused.raise();
}

uint32_t sql_table::gather_limit()
{
    if (limit == 0) {
        // A statement is one packet of the protocol: the command byte and
        // the text.
        const uint32_t packet = engine().get_max_allowed_packet();
        limit = packet != 0 && packet - 1 < max_buffer_size ? packet - 1 : max_buffer_size;
        tk_logger::log(2, "gathered statements up to %d bytes", limit);
    }
    return limit;
}

void sql_table::fast_append(const udb_record& record, refusals& refused)
{
    const column_match& matched = match(record);
    const std::string values = values_of(record, matched, false, nullptr);
    if (cached_rec_size == 0)
        cached_rec_size = static_cast<uint32_t>(record.size());
    std::string& text = pending.text;
    if (!text.empty()) {
        const bool other_count = cached_rec_size != record.size();
        if (other_count)
            tk_logger::log(3, "cached_rec_size=%d, that.size=%d", cached_rec_size, static_cast<int>(record.size()));
        const size_t grown = text.size() + 2 + matched.fast_columns.size() + 1 + values.size();
        if (other_count || grown > gather_limit()) {
            send_gathered(refused);
            cached_rec_size = static_cast<uint32_t>(record.size());
        }
    }
    if (text.empty()) {
        text.reserve(gather_limit() + 1);
        text += matched.fast_columns;
        text += ")";
        pending.head = text.size();
        text += " VALUES";
    } else {
        text += ", ";
    }
    pending.rows.push_back({text.size(), values.size() + 2, row_count + 1});
    text += "(";
    text += values;
    text += ")";
}

void sql_table::send_gathered(refusals& refused)
{
    complete_sent(refused);
    if (pending.text.empty())
        return;
    // The two buffers trade places and keep their capacity: a batch is
    // about 1 MB, and a fresh buffer each time costs more than building it.
    std::swap(sent, pending);
    pending.text.clear();
    pending.rows.clear();
    tk_logger::log(2, "sql_database::query_append(q_len=%d)", static_cast<int>(sent.text.size()));
    engine().send_async(sent.text);
    awaiting_answer = true;
}

void sql_table::complete_sent(refusals& refused)
{
    if (!awaiting_answer)
        return;
    awaiting_answer = false;
    if (std::optional<sql_engine::async_failure> failure = engine().take_async_failure())
        retry_rows(sent, failure->message, refused);
}

void sql_table::retry_rows(const batch& rows, const std::string& failure, refusals& refused)
{
    tk_logger::wlog(3, L"Table '%s': ERROR '%S', sending its %d rows one by one", name.c_str(), failure.c_str(),
                    static_cast<int>(rows.rows.size()));
    const std::string head = rows.text.substr(0, rows.head) + " VALUES";
    refused.total += rows.rows.size();
    for (const pending_row& row : rows.rows) {
        try {
            get_database()->query_append(head + rows.text.substr(row.offset, row.length));
        } catch (const sql_exception& e) {
            if (refused.refused == 0)
                refused.first_code = e.get_code();
            if (refused.refused < refused_rows_listed)
                refused.report += "\nrecord #" + std::to_string(row.number) + ": " + e.get_message();
            ++refused.refused;
        }
    }
}

void sql_table::flush()
{
    refusals refused;
    send_gathered(refused);
    complete_sent(refused);
    if (refused.any())
        refused.raise();
}

void sql_table::slow_append(const udb_record& record)
{
    const column_match& matched = match(record);
    tk_logger::log(1, "mysql_db.get_mode()=%d", database->mode);
    const int64_t size = record.get_total_size();
    const bool big = size > max_buffer_size;
    std::vector<const udb_field*> long_fields;
    const std::string statement =
        matched.slow_columns + " VALUES (" + values_of(record, matched, big, &long_fields) + ")";
    tk_logger::log(1, "Run SQL query: %s", statement.c_str());
    if (!big) {
        get_database()->query_append(statement);
        return;
    }
    const uint32_t packet = engine().get_max_allowed_packet();
    tk_logger::log(2, "get_max_allowed_packet=%d", packet);
    if (static_cast<uint64_t>(packet) < static_cast<uint64_t>(size)) {
        tk_logger::log(2, "row_tot_size > max_allowed_packet");
        throw tk_exception("Row size exceeds 'max_allowed_packet'", 0);
    }
    get_database()->prepared_statement(statement, long_fields, size);
}
