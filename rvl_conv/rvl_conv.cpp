#include "rvl_conv/rvl_conv.hpp"

#include "DAO/dao_db.hpp"
#include "DAO/dao_engi.hpp"
#include "SQL/sql_exc.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "common/csv_util.hpp"
#include "platform/text/pl_format.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_init.hpp"

#include <new>

ravelin_converter::ravelin_converter(converter_form form_, converter_hooks& hooks_)
    : tk_serializer("Software\\Brenvault\\Tessaline"), form(form_), hooks(hooks_)
{
    tk_logger::log(2, "ravelin_converter::ctor");
    apply_defaults();
    note_file_read(L"settings store", tk_to_unicode(store_file()));
    serialize(false);
    // The back ends read each table's engine and character sets from the
    // user's changes through the engine.
    engine.set_properties(static_cast<sql_db_mutator*>(this));
    // A log the user asked for that stops taking lines is worth a word.
    if (tk_logger* logger = tk_logger::try_instance())
        logger->set_failure_report([this](const std::string& file, const std::string& reason) {
            log_failed.store(true, std::memory_order_release);
            hooks.notice(L"Cannot write the log file '" + tk_to_unicode(file) + L"': " + tk_to_unicode(reason) +
                         L"; lines of the log are lost from here on.");
        });
    if (form == converter_form::console) {
        n_comma = -1;
        from_xls = true;
        x_fnames = false;
        direct = true;
        skip_empty_rows = false;
        refine_types = true;
    }
}

ravelin_converter::~ravelin_converter()
{
    tk_logger::log(2, "ravelin_converter::dtor");
    if (tk_logger* logger = tk_logger::try_instance())
        logger->set_failure_report({});
    if (form == converter_form::wizard && store_settings)
        serialize(true);
}

void ravelin_converter::refuse_logfile(const std::string& reason)
{
    if (form == converter_form::wizard)
        tk_converter::refuse_logfile(reason);
    log_file.clear();
    if (tk_logger* logger = tk_logger::try_instance())
        logger->set_enabled(false);
    // The reason names the file.
    std::wstring why = tk_to_unicode(reason);
    tk_wstring::replace_all(why, L"\n", L" ");
    hooks.notice(why + L" The log is not used; the run goes on without it.");
}

uint32_t ravelin_converter::operator()()
{
    tk_logger::log(2, "ravelin_converter::operator()");
    const run_watchdog::watch watched(watchdog);
    init_conversion guard(done, hooks);
    dropped.clear();
    skipped.clear();
    written.clear();
    outcomes.clear();
    database_cleared = false;
    csv_read_last.store(0, std::memory_order_relaxed);
    try {
        if (check_dest_in_run)
            check_dest();
        if (from_xls)
            convert_from_xls();
        else
            convert_from_csv();
        return 0;
    } catch (const tk_final_exception&) {
        interrupted.store(true, std::memory_order_release);
        return 0;  // the user chose to stop; nothing more to report
    } catch (const sql_connection_lost& e) {
        if (ended_by_stop())
            return 0;
        error_handler::instance().set_context(get_cur_table());
        error_handler::instance().handle(e, true);
    } catch (const tk_exception& e) {
        if (ended_by_stop())
            return 0;
        error_handler::instance().handle(e, true);
    } catch (const std::bad_alloc&) {
        error_handler::instance().handle(memory_failure(), true);
    } catch (const std::exception& e) {
        hooks.report_std_exception(e);
    }
    return 1;
}

bool ravelin_converter::ended_by_stop()
{
    // A stop breaks a blocked wait (a read, an open, the server's answer)
    // by failing it: that failure is the stop's, not one to report.
    if (!stop_requested())
        return false;
    interrupted.store(true, std::memory_order_release);
    return true;
}

int ravelin_converter::get_progress() const
{
    if (from_xls) {
        const uint32_t total = tables_total.load(std::memory_order_relaxed);
        return total == 0 ? 0 : static_cast<int>(tables_done.load(std::memory_order_relaxed) * 100u / total);
    }
    std::lock_guard<std::mutex> lock(csv_reader_mutex);
    if (csv_reader == nullptr)
        return csv_read_last.load(std::memory_order_relaxed);
    return percent_read(*csv_reader);
}

int ravelin_converter::percent_read(const csv_file& reader)
{
    tk_logger::log(1, "csv_file::get_progress");
    const int64_t size = reader.get_file_size();
    const int64_t position = reader.get_position();
    tk_logger::log(1, "file_size=%d, tellg=%lg", static_cast<int>(size), static_cast<double>(position));
    return size <= 0 ? 100 : static_cast<int>(static_cast<double>(position) * 100.0 / static_cast<double>(size));
}

tk_exception ravelin_converter::memory_failure(uint64_t record) const
{
    std::wstring place = L"Not enough memory while reading the file '" + src + L"'";
    if (const std::wstring table = get_cur_table(); !table.empty())
        place += L", table '" + table + L"'";
    if (record > 0)
        place += L", record #" + std::to_wstring(record);
    return tk_exception(place + L".", 1);
}

const wchar_t* ravelin_converter::get_delimiter() const
{
    static const wchar_t* const delimiters[] = {L"\t", L";", L",", L" "};
    return delimiters[n_comma >= 0 && n_comma <= 3 ? n_comma : 1];
}

std::wstring ravelin_converter::get_title() { return platform::format(L"Tessaline %d.%d %s", 7, 1, L""); }
