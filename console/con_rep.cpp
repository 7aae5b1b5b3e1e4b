#include "console/con_rep.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_utf8.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_conv/rvl_errt.hpp"

#include <iostream>

bool console_silent()
{
    const ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance();
    return converter != nullptr && converter->is_silent();
}

std::string console_text(const std::wstring& text) { return platform::to_utf8(text); }

void print_fatal_and_exit(const std::string& message)
{
    tk_logger::log(3, "%s", message.c_str());
    if (!console_silent())
        std::cerr << message << std::endl;
    throw console_exit{console_failure};
}

console_error_handler::console_error_handler() : error_handler(dao_err_map_size, dao_err_map)
{
    load_err_map(mysql_err_map_size, mysql_err_map);
    load_err_map(2, xls_err_map);
}

void console_error_handler::handle(const tk_exception& e, bool /*no_abort*/)
{
    tk_logger::log(2, "error_handler::handle");
    if (e.get_level() == 2) {
        tk_logger::log(3, "Internal error:\n%s", e.what());
        std::cout << "Internal error: " << e.what() << std::endl;
        throw console_exit{console_failure};
    }
    count_error();
    std::string message = make_message(e);
    tk_logger::log(3, "Error:\n%s", message.c_str());
    tk_string::replace_all(message, "\n", " ");
    if (!quiet)
        std::cout << "Error:" << std::endl << message << std::endl;
    if (e.get_level() == 1) {
        tk_logger::log(1, "Got 1-level error");
        throw console_exit{console_failure};
    }
    tk_logger::log(1, "Got 0-level error");
}

void console_hooks::progress_line(const std::wstring& line)
{
    if (!console_silent())
        std::cout << console_text(line) << std::endl;
}

void console_hooks::notice(const std::wstring& line)
{
    std::string text = console_text(line);
    tk_logger::log(3, "Notice: %s", text.c_str());
    if (!console_silent())
        std::cout << "Notice: " << text << std::endl;
}

void console_hooks::sheet_not_found(const std::wstring& name)
{
    if (!console_silent())
        std::cerr << "Worksheet " << console_text(name) << " not found" << std::endl;
    // Asked for and not converted: the run did not do all it was asked.
    if (error_handler* errors = tk_singleton<error_handler>::try_instance())
        errors->count_failure();
}

void console_hooks::report_std_exception(const std::exception& e)
{
    tk_logger::log(3, "ERROR:\n%s", e.what());
    if (!console_silent())
        std::cerr << e.what() << std::endl;
}
