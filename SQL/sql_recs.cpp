#include "SQL/sql_recs.hpp"

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_fld.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_ftd.hpp"
#include "platform/text/pl_utf8.hpp"

namespace {

const char source_file[] = "sql_recs";
constexpr unsigned binary_charset = 63;

bool blob_to_text()
{
    return tk_singleton<sql_engine>::instance().is_blob_to_text();
}

std::wstring field_name(const MYSQL_FIELD& field)
{
    return platform::from_utf8(std::string_view(field.name, field.name_length));
}

bool is_string_type(int type)
{
    return type >= MYSQL_TYPE_TINY_BLOB && type <= MYSQL_TYPE_STRING;
}

// What the writers need to know of a column beyond its value type.
uint32_t reserved_of(const MYSQL_FIELD& field)
{
    switch (field.type) {
    case MYSQL_TYPE_DATETIME: return 1;
    case MYSQL_TYPE_DATE: return 2;
    case MYSQL_TYPE_TIME: return 3;
    case MYSQL_TYPE_GEOMETRY: return 2;
    case MYSQL_TYPE_LONGLONG: return (field.flags & UNSIGNED_FLAG) != 0 ? 2 : 1;
    default: return 0;
    }
}

std::shared_ptr<t_ftd> describe(const MYSQL_FIELD& field)
{
    const uint32_t flags = sql_value_flags(field);
    auto column = std::make_shared<t_ftd>(static_cast<uint32_t>(field.length), field_name(field),
                                          get_vartype(field.type, flags), (field.flags & NOT_NULL_FLAG) != 0,
                                          (field.flags & AUTO_INCREMENT_FLAG) != 0, ole_variant(), reserved_of(field),
                                          std::wstring());
    if (field.type == MYSQL_TYPE_DECIMAL || field.type == MYSQL_TYPE_NEWDECIMAL) {
        column->precision = static_cast<uint32_t>(field.length) - (field.decimals > 0 ? 2 : 1);
        column->scale = field.decimals;
    }
    const VARTYPE vt = column->vartype;
    if ((vt == VT_BLOB || vt == ole_vt_bytes) && (blob_to_text() || (flags & BINARY_FLAG) == 0)) {
        tk_logger::log(1, "Change type from BLOB to TEXT");
        column->vartype = VT_BSTR;
    }
    return column;
}

// The first field of the first row as a number; 0 when there is none.
int32_t first_number(std::unique_ptr<udb_recordset> rows)
{
    if (!rows || rows->is_eof() || rows->get_item()->empty())
        return 0;
    const int32_t value = rows->get_item()->at(0)->to_long();
    while (!rows->is_eof())
        rows->next();
    return value;
}

} // namespace

uint32_t sql_value_flags(const MYSQL_FIELD& field)
{
    return field.charsetnr == binary_charset ? field.flags : field.flags & ~static_cast<uint32_t>(BINARY_FLAG);
}

sql_record::sql_record(unsigned n_fields, const MYSQL_FIELD* fields, const unsigned long* lengths, MYSQL_ROW row)
{
    reserve(n_fields);
    for (unsigned i = 0; i < n_fields; ++i) {
        const MYSQL_FIELD& field = fields[i];
        const uint32_t flags = sql_value_flags(field);
        const uint32_t length = static_cast<uint32_t>(lengths[i]);
        const bool as_text = row[i] != nullptr && is_string_type(field.type) &&
                             ((flags & BINARY_FLAG) == 0 || blob_to_text());
        if (as_text) {
            tk_logger::log(1, "Extract as Unicode (text data)");
            const std::wstring text = platform::from_utf8(std::string_view(row[i], length));
            push_back(std::make_unique<sql_field>(field_name(field), MYSQL_TYPE_VAR_STRING,
                                                  static_cast<uint32_t>(text.size()), 0u, text.c_str()));
        } else {
            push_back(std::make_unique<sql_field>(field_name(field), field.type, length, flags, row[i]));
        }
    }
}

sql_record::sql_record(unsigned n_fields, const udb_schema& schema, const unsigned long* lengths, MYSQL_ROW row)
{
    reserve(n_fields);
    for (unsigned i = 0; i < n_fields && i < schema.size(); ++i) {
        const uint32_t length = static_cast<uint32_t>(lengths[i]);
        const t_ftd& column = *schema[i];
        if (column.vartype == VT_BSTR && row[i] != nullptr) {
            // Text keeps every character, a NUL included.
            const std::wstring text = platform::from_utf8(std::string_view(row[i], length));
            push_back(std::make_unique<sql_field>(column.name, MYSQL_TYPE_VAR_STRING, static_cast<uint32_t>(text.size()),
                                                  0u, text.c_str()));
        } else {
            push_back(std::make_unique<sql_field>(column, length, row[i]));
        }
    }
}

sql_tmp_recordset::sql_tmp_recordset(MYSQL_RES* result_) : udb_recordset(std::wstring()), result(result_)
{
    if (!result)
        throw tk_mail_assertion(source_file, 409);
    n_fields = mysql_num_fields(result.get());
    fields = mysql_fetch_fields(result.get());
    fill_cache();
}

sql_tmp_recordset::~sql_tmp_recordset() = default;

void sql_tmp_recordset::append_record(const udb_record&)
{
    throw tk_mail_assertion(source_file, 430);
}

udb_record* sql_tmp_recordset::get_item()
{
    return position < cache.size() ? cache[position].get() : nullptr;
}

void sql_tmp_recordset::fill_cache()
{
    cache.clear();
    while (cache.size() < cache_size) {
        MYSQL_ROW row = mysql_fetch_row(result.get());
        if (row == nullptr)
            break;
        cache.push_back(std::make_unique<sql_record>(n_fields, fields, mysql_fetch_lengths(result.get()), row));
    }
}

bool sql_tmp_recordset::is_eof()
{
    if (position < cache.size())
        return false;
    fill_cache();
    position = 0;
    return cache.empty();
}

sql_limited_query::sql_limited_query(sql_database& database, const std::wstring& source, bool is_query)
{
    const std::wstring table = tk_singleton<sql_engine>::instance().dialect_name(source);
    const std::wstring statement =
        is_query ? L"SELECT * FROM (" + source + L") as temp___table" : L"SELECT * FROM " + table;
    tk_logger::wlog(1, L"sql_database::do_query2(%s)", statement.c_str());
    result = database.use_result(tk_to_utf8(statement));
    if (!result)
        sql_raise_last_error();
}

size_t sql_limited_query::store_to(slots& cache, const udb_schema* schema)
{
    tk_logger::log(1, "sql_limited_query::store_to(n_max_records=%d)", static_cast<int>(batch_size));
    for (auto& slot : cache)
        slot.reset();
    const unsigned n_fields = mysql_num_fields(result.get());
    const MYSQL_FIELD* fields = mysql_fetch_fields(result.get());
    const bool by_schema = schema != nullptr && !schema->empty();
    tk_logger::log(1, by_schema ? "Schema is NOT empty" : "Schema is empty, build via f_info");
    size_t stored = 0;
    for (; stored < batch_size; ++stored) {
        MYSQL_ROW row = mysql_fetch_row(result.get());
        if (row == nullptr)
            break;
        const unsigned long* lengths = mysql_fetch_lengths(result.get());
        cache[stored] = by_schema ? std::make_unique<sql_record>(n_fields, *schema, lengths, row)
                                  : std::make_unique<sql_record>(n_fields, fields, lengths, row);
    }
    return stored;
}

sql_recordset::sql_recordset(sql_database* database_, const std::wstring& table, udb_relationships* relationships_,
                             bool structure_only)
    : udb_recordset(database_, table, true), relationships(relationships_)
{
    tk_logger::wlog(2, L"sql_recordset::sql_recordset1(%s)", table.c_str());
    initialize(structure_only);
}

sql_recordset::sql_recordset(sql_database* database_, const std::wstring& query_name, const std::wstring& query,
                             udb_relationships* relationships_)
    : udb_recordset(database_, query_name, query, true), relationships(relationships_)
{
    tk_logger::wlog(2, L"sql_recordset::sql_recordset2(%s,%s)", query_name.c_str(), query.c_str());
    initialize(false);
}

sql_recordset::~sql_recordset() = default;

sql_database* sql_recordset::get_database() const
{
    return static_cast<sql_database*>(database);
}

void sql_recordset::append_record(const udb_record&)
{
    throw tk_mail_assertion(source_file, 120);
}

int32_t sql_recordset::get_rec_count()
{
    const std::wstring statement = has_name() ? L"SELECT COUNT(*) FROM (" + query_text + L") as query"
                                              : L"SELECT COUNT(*) FROM " + sql_engine::instance().dialect_name(name);
    const int32_t count = first_number(get_database()->query(statement));
    tk_logger::log(1, "sql_recordset::get_rec_count - END (result=%d)", count);
    return count;
}

// The columns are described from the metadata of a SELECT that returns no
// row, so opening a large table costs nothing; rows are read from reset on.
void sql_recordset::initialize(bool structure_only)
{
    const std::wstring select = has_name() ? L"SELECT * FROM (" + query_text + L") as temp___table LIMIT 0"
                                           : L"SELECT * FROM " + sql_engine::instance().dialect_name(name) + L" LIMIT 0";
    sql_result_ptr result = get_database()->use_result(tk_to_utf8(select));
    if (!result)
        sql_raise_last_error();
    std::wstring auto_number;
    describe_columns(mysql_fetch_fields(result.get()), mysql_num_fields(result.get()), auto_number);
    result.reset();
    tk_logger::wlog(1, L"local_select_qry=%s", local_select.c_str());
    if (has_name()) {
        tk_logger::log(1, "It's a SQL-query, nothing to do anymore");
    } else if (!auto_number.empty()) {
        read_last_auto_number(auto_number);
    }
    if (!structure_only)
        row_count = get_rec_count();
}

void sql_recordset::describe_columns(const MYSQL_FIELD* fields, unsigned n_fields, std::wstring& auto_number)
{
    bool has_geometry = false;
    local_select = L"SELECT ";
    for (unsigned i = 0; i < n_fields; ++i) {
        const MYSQL_FIELD& field = fields[i];
        const std::wstring column = sql_engine::get_safe_name(field_name(field));
        if (i > 0)
            local_select += L",";
        if (field.type == MYSQL_TYPE_GEOMETRY) {
            local_select += L"ST_AsText(" + column + L") as " + column;
            has_geometry = true;
        } else {
            local_select += column;
        }
        std::shared_ptr<t_ftd> description = describe(field);
        if (description->b_auto_increment) {
            tk_logger::wlog(2, L"Got auto_number column: '%s'", description->name.c_str());
            auto_number = description->name;
        }
        schema.push_back(description);
    }
    local_select += L" FROM " + sql_engine::get_safe_name(name);
    // Geometry is read as text through the column list.
    if (has_geometry && !has_name())
        query_text = local_select;
}

void sql_recordset::read_last_auto_number(const std::wstring& column)
{
    const std::wstring statement =
        L"select max( " + sql_engine::get_safe_name(column) + L") from " + sql_engine::get_safe_name(name);
    tk_logger::wlog(2, L"auto_number query=%s", statement.c_str());
    try {
        schema.last_auto_number = first_number(get_database()->query(statement));
        tk_logger::log(2, "got last value=%d", schema.last_auto_number);
    } catch (const tk_exception& e) {
        tk_logger::log(3, "Failed to extract last value for auto_number column");
        tk_logger::log(2, "ERROR: %s", e.what());
    }
}

udb_record* sql_recordset::get_item()
{
    return cache[cache_position].get();
}

bool sql_recordset::is_eof()
{
    return static_cast<int64_t>(row_position) >= row_count;
}

void sql_recordset::reset()
{
    row_position = 0;
    cache_position = 0;
    row_count = get_rec_count();
    open_query.reset();
    open_query = std::make_unique<sql_limited_query>(*get_database(), source(), has_name());
    open_query->store_to(cache, has_name() ? nullptr : &schema);
}

void sql_recordset::next()
{
    if (!open_query)
        throw tk_mail_assertion(source_file, 250);
    if (cache_position + 1 == sql_limited_query::batch_size) {
        open_query->store_to(cache, has_name() ? nullptr : &schema);
        cache_position = 0;
    } else {
        ++cache_position;
    }
    ++row_position;
}

void sql_recordset::prev()
{
    if (row_position == 0)
        return;
    --row_position;
    if (cache_position > 0)
        --cache_position;
}
