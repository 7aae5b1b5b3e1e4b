#include "SQL/sql_tab.hpp"

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_vali.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

const char structure_mismatch[] = "The structure of data source does not conform to the destination table. See "
                                  "'Troubleshooting' in the product documentation.";
// A report names at most this many refused rows, and of the values changed
// by one statement at most changed_values_listed.
constexpr size_t listed_per_report = 20;
constexpr size_t changed_values_listed = 5;
// The server's refusal (or, under IGNORE, warning) of a row whose key is
// already in the table.
constexpr unsigned duplicate_key = 1062;
// The server's refusals of a row that no longer fits in the table or on the
// disk: every row after it meets the same.
constexpr unsigned table_full = 1114;
constexpr unsigned disk_full = 1021;
// The server's refusal of a statement on a table that is not there.
constexpr unsigned no_such_table = 1146;
// The server's refusal of a packet over max_allowed_packet.
constexpr unsigned packet_too_large = 1153;
const char packet_message[] = "Row size exceeds 'max_allowed_packet'";

// Refusals of one value that INSERT IGNORE turns into a changed value (the
// column's nearest or implicit value) with a warning, the row kept: bad
// data, out of range, truncated, too long, no value for a NOT NULL column.
// Every other refusal of a row (a key, a CHECK or foreign-key constraint, a
// trigger) would make IGNORE skip the row.
bool is_value_refusal(unsigned code)
{
    static constexpr unsigned value_codes[] = {1048, 1101, 1264, 1265, 1292, 1364, 1366, 1367, 1406, 1411, 4078};
    return std::find(std::begin(value_codes), std::end(value_codes), code) != std::end(value_codes);
}

// A warning's text with its " at row N" taken off; row receives N, 0 when
// the text names no row.
std::string without_row(const std::string& message, size_t& row)
{
    row = 0;
    const std::string tail = " at row ";
    const size_t at = message.rfind(tail);
    if (at == std::string::npos || at + tail.size() == message.size() ||
        message.find_first_not_of("0123456789", at + tail.size()) != std::string::npos)
        return message;
    row = static_cast<size_t>(std::strtoull(message.c_str() + at + tail.size(), nullptr, 10));
    return message.substr(0, at);
}

sql_engine& engine()
{
    return tk_singleton<sql_engine>::instance();
}

bool same_names(const std::vector<std::wstring>& names, const udb_record& record)
{
    if (names.size() != record.size())
        return false;
    for (size_t i = 0; i < names.size(); ++i)
        if (!platform::same_text(names[i], record[i]->name))
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

sql_table::sql_table(sql_database* database_, const std::wstring& table, udb_relationships* relationships_,
                     uint32_t mode)
    : sql_recordset(database_, table, relationships_, true)
{
    tk_logger::log(2, "sql_table::ctor");
    initialize(mode);
    note_engine();
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

void sql_take_columns(const udb_schema& columns, const std::vector<std::wstring>& names, std::vector<int>& column_of,
                      std::vector<bool>& taken)
{
    for (const bool exact : {true, false}) {
        for (size_t i = 0; i < names.size(); ++i) {
            for (size_t c = 0; column_of[i] < 0 && !names[i].empty() && c < columns.size(); ++c) {
                const std::wstring& column = columns[c]->name;
                const std::wstring& name = names[i];
                const bool same = exact ? platform::same_text(column, name) : platform::equal_names(column, name);
                if (taken[c] || !same)
                    continue;
                column_of[i] = static_cast<int>(c);
                taken[c] = true;
            }
        }
    }
}

std::vector<int> sql_table::columns_of_fields(const udb_record& record) const
{
    std::vector<int> column_of(record.size(), -1);
    std::vector<bool> taken(schema.size(), false);
    std::vector<std::wstring> names;
    for (const auto& field : record)
        names.push_back(field->name);
    sql_take_columns(schema, names, column_of, taken);
    if (std::find(column_of.begin(), column_of.end(), -1) == column_of.end())
        return column_of;
    // A field left without a column may be one whose name the table's
    // creation changed (a repeated or empty header, a name too long): it
    // takes the column of the name creation gives it. A field that names a
    // column took it above and is never renamed.
    const sql_field_finder finder(record);
    for (size_t i = 0; i < record.size(); ++i)
        names[i] = finder.get_name(i);
    sql_take_columns(schema, names, column_of, taken);
    return column_of;
}

const t_ftd* sql_table::column_for(const udb_record& record, size_t position)
{
    for (const auto& [field, column] : match(record).pairs)
        if (field == position)
            return column;
    return nullptr;
}

const sql_table::column_match& sql_table::match(const udb_record& record)
{
    if (last_match && same_names(last_match->field_names, record))
        return *last_match;
    auto made = std::make_unique<column_match>();
    std::vector<std::string> fast_names;
    std::vector<std::string> slow_names;
    const std::vector<int> column_of = columns_of_fields(record);
    for (size_t i = 0; i < record.size(); ++i) {
        if (column_of[i] < 0)
            continue;
        const t_ftd& column = *schema[static_cast<size_t>(column_of[i])];
        made->pairs.emplace_back(i, &column);
        fast_names.push_back(name_text(column.name, false));
        slow_names.push_back(name_text(column.name, true));
    }
    // A file of none of the table's columns is another table's.
    if (made->pairs.empty()) {
        tk_logger::wlog(3, L"No field of the record is a column of '%s'", name.c_str());
        throw tk_exception(structure_mismatch, 0);
    }
    note_left_out(record, *made);
    const std::string table = name_text(name, false);
    const bool replace = (database->mode & udb_database::mode_replace) != 0;
    // Without IGNORE: a row the server refuses fails its statement, which
    // is then sent row by row, so no row is skipped unseen and no trigger
    // runs for a row that is not there.
    made->fast_columns = (replace ? "REPLACE INTO " : "INSERT INTO ") + table + "(" + join(fast_names);
    made->slow_columns = (replace ? "REPLACE INTO " : "INSERT INTO ") + table + "(" + join(slow_names) + ")";
    for (const auto& field : record)
        made->field_names.push_back(field->name);
    last_match = std::move(made);
    return *last_match;
}

tk_exception sql_table::rows_not_written(const std::string& failure, int64_t first) const
{
    return tk_exception(failure + "; the rows from record #" + std::to_string(first) + " on were not written.", 0);
}

sql_exception sql_table::packet_refusal() const
{
    return sql_exception(std::string(packet_message) + ": record #" + std::to_string(record_number) +
                             " of the table '" + tk_to_utf8(name) + "' is not converted.",
                         packet_too_large);
}

void sql_table::note_left_out(const udb_record& record, const column_match& matched)
{
    std::vector<bool> used(record.size(), false);
    for (const auto& pair : matched.pairs)
        used[pair.first] = true;
    std::wstring names;
    size_t count = 0;
    for (size_t i = 0; i < record.size(); ++i) {
        if (used[i] || left_out_told.count(record[i]->name) != 0)
            continue;
        left_out_told.insert(record[i]->name);
        names += (count++ > 0 ? L"', '" : L"'") + record[i]->name;
    }
    if (count == 0)
        return;
    left_out = tk_to_utf8(L"The table '" + name + L"' has no column for " +
                          (count == 1 ? L"the field " : L"the fields ") + names + L"': " +
                          (count == 1 ? L"its" : L"their") + L" values were not converted.");
}

void sql_table::values_of(std::string& values, const udb_record& record, const column_match& matched, bool prepared,
                          std::vector<const udb_field*>* long_fields) const
{
    values.clear();
    for (size_t i = 0; i < matched.pairs.size(); ++i) {
        const udb_field* field = record[matched.pairs[i].first].get();
        if (i > 0)
            values += ", ";
        const size_t start = values.size();
        append_fld_literal(values, field, matched.pairs[i].second, prepared);
        // No literal is a bare "?": text is quoted, so this is a placeholder.
        if (long_fields != nullptr && std::string_view(values).substr(start) == "?")
            long_fields->push_back(field);
    }
}

std::string sql_table::batch_report::message() const
{
    std::string text;
    if (refused != 0) {
        text = std::to_string(refused) + " of " + std::to_string(total) + " rows were refused by the server:" +
               refused_rows;
        if (refused > listed_per_report)
            text += "\n(and " + std::to_string(refused - listed_per_report) + " more)";
    }
    if (changed != 0) {
        if (!text.empty())
            text += "\n";
        text += std::to_string(changed) + (changed == 1 ? " value was" : " values were") +
                " changed by the server:" + changed_values;
        if (changed > changed_listed)
            text += "\n(and " + std::to_string(changed - changed_listed) + " more)";
    }
    return text;
}

void sql_table::batch_report::raise(const std::string& then) const
{
    const uint32_t code = refused != 0 ? first_code : changed_code;
    throw sql_batch_report(then.empty() ? message() : message() + "\n" + then, code & 0xFFFF);
}

sql_table::skipped_rows sql_table::take_duplicates()
{
    skipped_rows taken;
    std::swap(taken, duplicates);
    return taken;
}

void sql_table::append_record(const udb_record& record)
{
    const int64_t size = record.get_total_size();
    ++record_number;
    // What the answers to earlier batches brought; reported once this row is
    // written.
    batch_report report;
    if (size > max_buffer_size) {
        tk_logger::log(3, "Row is too big (%d bytes), swtich to slow_append", static_cast<int>(size));
        engine().clear_fast_insert();
        send_gathered(report);
        complete_sent(report);
    }
    try {
        if (engine().is_fast_insert())
            fast_append(record, report);
        else
            slow_append(record, report);
    } catch (const sql_exception& e) {
        if (ends_copy(e.get_code()))
            throw rows_not_written(e.get_message(), record_number);
        if (!report.any())
            throw;
        report.raise("record #" + std::to_string(record_number) + ": " + e.get_message());
    } catch (const tk_exception&) {
        // A failure that ends the table's copy outranks the report.
        if (report.any())
            tk_logger::wlog(3, L"Table '%s': ERROR '%S'", name.c_str(), report.message().c_str());
        throw;
    }
    ++row_count;
    // Told once, with the first row written without those fields.
    const std::string not_converted = std::exchange(left_out, std::string());
    if (report.any())
        report.raise(not_converted);
    if (!not_converted.empty())
        throw sql_batch_report(not_converted, 0);
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

void sql_table::fast_append(const udb_record& record, batch_report& report)
{
    const column_match& matched = match(record);
    std::string& values = row_values;
    values_of(values, record, matched, false, nullptr);
    // Alone in a statement: the server closes the connection on a packet over
    // its limit, so such a row is refused here and the others go on.
    if (matched.fast_columns.size() + 1 + 7 + 2 + values.size() > gather_limit())
        throw packet_refusal();
    if (cached_rec_size == 0)
        cached_rec_size = static_cast<uint32_t>(record.size());
    std::string& text = pending.text;
    if (!text.empty()) {
        const bool other_count = cached_rec_size != record.size();
        if (other_count)
            tk_logger::log(3, "cached_rec_size=%d, that.size=%d", cached_rec_size, static_cast<int>(record.size()));
        const size_t grown = text.size() + 2 + matched.fast_columns.size() + 1 + values.size();
        if (other_count || grown > gather_limit()) {
            send_gathered(report);
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
    pending.rows.push_back({text.size(), values.size() + 2, record_number});
    text += "(";
    text += values;
    text += ")";
}

void sql_table::send_gathered(batch_report& report)
{
    complete_sent(report);
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

void sql_table::complete_sent(batch_report& report)
{
    if (!awaiting_answer)
        return;
    awaiting_answer = false;
    std::optional<sql_engine::async_failure> failure = engine().take_async_failure();
    if (!failure) {
        taken += sent.rows.size();
        note_warnings(engine().take_async_warnings(), sent.rows.data(), sent.rows.size(), report);
        return;
    }
    if (sql_is_connection_lost(failure->error_number)) {
        taken_unsure = true;  // the server may have stored the statement before the connection went
        throw sql_connection_lost(failure->message, failure->error_number);
    }
    // Sending the rows one by one would only fail each of them again; a
    // table that is gone has no rows to count.
    if (failure->error_number == no_such_table)
        throw rows_after_not_written(failure->message + ": the table was dropped while it was written",
                                     sent.rows.front().number);
    const size_t kept = rows_kept(sent);
    taken += kept;
    if (ends_copy(failure->error_number))
        throw rows_after_not_written(failure->message, sent.rows[kept].number);
    retry_rows(sent, kept, failure->message, report);
}

tk_exception sql_table::rows_after_not_written(const std::string& failure, int64_t first)
{
    pending.text.clear();
    pending.rows.clear();
    return rows_not_written(failure, first);
}

void sql_table::finish_quietly() noexcept
{
    try {
        flush();
    } catch (const sql_connection_lost& e) {
        taken_unsure = true;
        tk_logger::wlog(3, L"Table '%s': ERROR '%S'", name.c_str(), e.what());
    } catch (const std::exception& e) {
        tk_logger::wlog(3, L"Table '%s': ERROR '%S'", name.c_str(), e.what());
    }
    pending.text.clear();
    pending.rows.clear();
    awaiting_answer = false;
}

bool sql_table::ends_copy(unsigned error_number)
{
    const unsigned code = error_number & 0xFFFF;
    return sql_is_privilege_error(error_number) || code == table_full || code == disk_full || code == no_such_table;
}

uint64_t sql_table::count_rows() const
{
    const std::unique_ptr<udb_recordset> rows =
        get_database()->query(L"SELECT COUNT(*) FROM " + sql_engine::get_safe_name(name));
    if (!rows || rows->is_eof())
        return 0;
    return std::strtoull(rows->get_item()->at(0)->to_string().c_str(), nullptr, 10);
}

void sql_table::note_engine()
{
    const std::unique_ptr<udb_recordset> rows = get_database()->query(tk_to_unicode(
        "SELECT e.TRANSACTIONS FROM information_schema.TABLES t JOIN information_schema.ENGINES e ON e.ENGINE = "
        "t.ENGINE WHERE t.TABLE_SCHEMA = DATABASE() AND t.TABLE_NAME = '" + sql_escape(tk_to_utf8(name)) + "'"));
    transactional = !rows || rows->is_eof() || rows->get_item()->at(0)->to_string() != "NO";
    if (!transactional)
        rows_at_open = count_rows();
}

size_t sql_table::rows_kept(const batch& failed)
{
    // A transactional table takes back the whole statement that failed.
    if (transactional)
        return 0;
    // Any other keeps the rows before the one that failed it.
    const uint64_t held = count_rows();
    const uint64_t before = rows_at_open + taken;
    const uint64_t kept = held > before ? held - before : 0;
    return static_cast<size_t>(std::min<uint64_t>(kept, failed.rows.size() - 1));
}

void sql_table::retry_rows(const batch& rows, size_t first, const std::string& failure, batch_report& report)
{
    tk_logger::wlog(3, L"Table '%s': ERROR '%S', sending its %d rows one by one", name.c_str(), failure.c_str(),
                    static_cast<int>(rows.rows.size() - first));
    const std::string head = rows.text.substr(0, rows.head) + " VALUES";
    report.total += rows.rows.size() - first;
    for (size_t i = first; i < rows.rows.size(); ++i) {
        const pending_row& row = rows.rows[i];
        const std::string values = rows.text.substr(row.offset, row.length);
        try {
            get_database()->query_append(head + values);
        } catch (const sql_exception& e) {
            const unsigned code = e.get_code() & 0xFFFF;
            if (ends_copy(code))
                throw rows_after_not_written(e.get_message(), row.number);
            if (code == duplicate_key) {
                if (duplicates.count++ == 0)
                    duplicates.first = e.get_message();
                continue;
            }
            if (!is_value_refusal(code) || !insert_changed(head, values, row, report))
                refuse_row(row, e, report);
            continue;
        }
        ++taken;
        note_warnings(engine().read_warnings(), &row, 1, report);
    }
}

bool sql_table::insert_changed(const std::string& head, const std::string& values, const pending_row& row,
                               batch_report& report)
{
    const std::string plain = "INSERT INTO ";
    if (head.compare(0, plain.size(), plain) != 0)
        return false;
    // In a transaction: IGNORE may still skip the row (a constraint its
    // changed value breaks), and what its triggers did then goes with it.
    sql_database& database = *get_database();
    database.query_append("START TRANSACTION");
    bool kept = false;
    sql_engine::warnings warnings;
    try {
        database.query_append("INSERT IGNORE INTO " + head.substr(plain.size()) + values);
        // Asked before the warnings, whose listing is a statement of its own.
        kept = mysql_affected_rows(database.get_connection()) == 1;
        warnings = engine().read_warnings();
    } catch (const sql_exception& e) {
        // Refused even so: the first refusal is the one reported.
        tk_logger::wlog(3, L"Table '%s': ERROR '%S' with IGNORE", name.c_str(), e.what());
    }
    database.query_append(kept ? "COMMIT" : "ROLLBACK");
    if (!kept)
        return false;
    ++taken;
    note_warnings(warnings, &row, 1, report);
    return true;
}

void sql_table::refuse_row(const pending_row& row, const sql_exception& e, batch_report& report)
{
    if (report.refused == 0)
        report.first_code = e.get_code();
    if (report.refused < listed_per_report)
        report.refused_rows += "\nrecord #" + std::to_string(row.number) + ": " + e.get_message();
    ++report.refused;
}

void sql_table::note_warnings(const sql_engine::warnings& warnings, const pending_row* rows, size_t count,
                              batch_report& report)
{
    for (const sql_engine::warning& w : warnings.listed) {
        if (w.code == duplicate_key) {
            if (duplicates.count++ == 0)
                duplicates.first = w.message;
            continue;
        }
        if (report.changed++ == 0)
            report.changed_code = w.code;
        if (report.changed_listed == changed_values_listed)
            continue;
        ++report.changed_listed;
        size_t row = 0;
        const std::string text = without_row(w.message, row);
        // A warning of a statement of one row is that row's, named or not.
        if (count == 1)
            row = 1;
        report.changed_values += row >= 1 && row <= count
                                     ? "\nrecord #" + std::to_string(rows[row - 1].number) + ": " + text
                                     : "\n" + w.message;
    }
    // Warnings the server counted but did not list: nothing tells they are
    // harmless, so they count as changed values.
    if (warnings.total > warnings.listed.size())
        report.changed += warnings.total - warnings.listed.size();
}

void sql_table::flush()
{
    batch_report report;
    send_gathered(report);
    complete_sent(report);
    if (report.any())
        report.raise();
}

void sql_table::slow_append(const udb_record& record, batch_report& report)
{
    const column_match& matched = match(record);
    tk_logger::log(1, "mysql_db.get_mode()=%d", database->mode);
    const int64_t size = record.get_total_size();
    const bool big = size > max_buffer_size;
    std::vector<const udb_field*> long_fields;
    std::string values;
    values_of(values, record, matched, big, &long_fields);
    const std::string statement = matched.slow_columns + " VALUES (" + values + ")";
    tk_logger::log(1, "Run SQL query: %s", statement.c_str());
    const uint32_t packet = engine().get_max_allowed_packet();
    tk_logger::log(2, "get_max_allowed_packet=%d", packet);
    const uint64_t needed = big ? static_cast<uint64_t>(size) : statement.size() + 1;
    if (packet != 0 && packet < needed) {
        tk_logger::log(2, "row_tot_size > max_allowed_packet");
        throw packet_refusal();
    }
    if (big)
        get_database()->prepared_statement(statement, long_fields, size);
    else
        get_database()->query_append(statement);
    ++taken;
    const pending_row row{0, 0, record_number};
    note_warnings(engine().read_warnings(), &row, 1, report);
}
