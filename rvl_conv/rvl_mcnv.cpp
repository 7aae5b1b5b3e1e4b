#include "rvl_conv/rvl_mcnv.hpp"

#include "SQL/sql_exc.hpp"
#include "SQL/sql_util.hpp"
#include "SQL/sql_vali.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "rvl_conv/rvl_errh.hpp"

mysql_converter_impl::mysql_converter_impl() { tk_logger::log(2, "mysql_converter_impl::ctor"); }

mysql_converter_impl::~mysql_converter_impl() { tk_logger::log(2, "mysql_converter_impl::dtor"); }

void mysql_converter_impl::store_mysql_settings(const std::string& host_, const std::string& user_,
                                                const std::string& password, const std::string& port_)
{
    tk_logger::log(2, "mysql_converter_impl::store_mysql_settings(%s,%s,%s,%S)", host_.c_str(), user_.c_str(),
                   "***", port_.c_str());
    user = tk_trim(user_);
    pswd = tk_trim(password);
    host = tk_trim(host_);
    port = tk_trim(port_);
    if (port.empty())
        port = "3306";
}

void mysql_converter_impl::check_mysql_db_name(const std::wstring& name)
{
    tk_logger::wlog(2, L"mysql_converter_impl::check_mysql_db_name(%s)", name.c_str());
    tk_logger::log(1, "sql_engine::create_dn_validator");
    tk_logger::log(1, "is_old_version(%08X)", engine.get_version());
    std::unique_ptr<udb_validator> validator;
    if (engine.is_old_version())
        validator = std::make_unique<sql_old_dn_validator>();
    else
        validator = std::make_unique<sql_new_validator>(true);
    if (validator->is_acceptable(name))
        return;
    if (engine.is_old_version())
        throw tk_exception("Not a valid MySQL database name. It cannot consist only of numbers\nor start with a "
                           "digit and must differ from any MySQL keyword. Use\nalphanumeric symbols (A-Z, a-z, "
                           "0-9), '_' and '$' to compose\nnew database name.",
                           1);
    throw tk_exception("Not a valid MySQL database name. Use alphanumeric characters\r\n(A-Z, a-z, 0-9), '_', '$' "
                       "and spaces to compose new database name.",
                       1);
}

namespace {

bool is_kept(const std::vector<bool>& kept, uint32_t n_field) { return n_field < kept.size() && kept[n_field]; }

// Whether the column of the entry takes another type. A column that never
// held a value keeps its own: nothing says what it holds, and a later append
// may bring any text.
bool is_retyped(const udb_schema& schema, const types_map::entry& e, const std::vector<bool>& kept,
                int assertion_line)
{
    if (!e.seen || (e.state == e.declared && !e.fraction) || is_kept(kept, e.n_field))
        return false;
    if (e.n_field >= schema.size())
        throw tk_mail_assertion("..\\common/type_map.hpp", assertion_line);
    const t_ftd& column = *schema[e.n_field];
    const bool now_default = column.vartype == VT_DATE && column.reserved >= dates_map::now_default;
    return column.default_value.to_wstring().empty() && !now_default && !column.b_auto_increment;
}

// The column at n, as a copy of its own to change: schemas share their
// descriptors.
t_ftd& own_copy(udb_schema& schema, uint32_t n)
{
    schema[n] = std::make_shared<t_ftd>(*schema[n]);
    t_ftd& column = *schema[n];
    column.native_type.clear();
    column.precision = 0;
    column.scale = 0;
    return column;
}

// later: where a column that is to become text goes, none when it is text
// from the start.
template <class Map>
void retype(udb_schema& schema, const Map& map, const std::vector<bool>& kept, int32_t text_state,
            std::vector<mysql_converter_impl::text_later>* later, int assertion_line)
{
    for (const types_map::entry& e : map.get_entries()) {
        if (!is_retyped(schema, e, kept, assertion_line))
            continue;
        tk_logger::wlog(3, L"Refine column %s to %s", schema[e.n_field]->name.c_str(), Map::type_name(e.state));
        if (e.state == text_state && later != nullptr)
            later->push_back({e.n_field, Map::type_name(e.state)});
        else
            Map::set_type(own_copy(schema, e.n_field), e);
    }
}

} // namespace

void mysql_converter_impl::date_post_process(udb_schema& schema, const dates_map& map, const std::vector<bool>& kept)
{
    tk_logger::log(2, "mysql_converter_impl::date_post_process(map size=%d)",
                   static_cast<int>(map.get_entries().size()));
    retype(schema, map, kept, dates_map::no_date, nullptr, 49);
}

void mysql_converter_impl::num_post_process(udb_schema& schema, const num_map& map, const std::vector<bool>& kept,
                                            std::vector<text_later>& later)
{
    tk_logger::log(2, "mysql_converter_impl::num_post_process(map size=%d)",
                   static_cast<int>(map.get_entries().size()));
    retype(schema, map, kept, num_map::not_numeric, &later, 56);
}

void mysql_converter_impl::mysql_refine_types(udb_database& destination, const std::wstring& table,
                                              const udb_schema& columns, const std::vector<text_later>& later)
{
    tk_logger::log(2, "mysql_converter_impl::mysql_refine_types");
    for (const text_later& change : later) {
        if (change.n_field >= columns.size())
            throw tk_mail_assertion("..\\common/type_map.hpp", 62);
        const t_ftd& column = *columns[change.n_field];
        std::wstring statement = L"ALTER TABLE " + sql_engine::get_safe_name(table) + L" MODIFY " +
                                 sql_engine::get_safe_name(column.name) + L" " + change.type;
        if (column.b_not_null)
            statement += L" NOT NULL";
        const std::wstring def = make_mysql_def_val(&column);
        if (!def.empty())
            statement += L" DEFAULT " + def;
        tk_logger::wlog(3, L"Store SQL query: %s\n", statement.c_str());
        try {
            destination.query(statement);
        } catch (const sql_connection_lost&) {
            throw;  // the rest cannot reach the server either
        } catch (const std::exception& e) {
            tk_logger::log(3, "Got exception: %s", e.what());
            // The values went in as text; the column keeps its first type.
            error_handler::instance().set_context(table);
            error_handler::instance().handle(
                tk_exception(tk_to_ansi(L"The column '" + column.name + L"' was not made " + change.type + L": ",
                                        tk_cp_thread_acp) +
                                 e.what() + "\nIt keeps the type it was created with.",
                             0),
                false);
        }
    }
}
