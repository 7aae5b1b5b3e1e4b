#include "console/con_rep.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/files/pl_files.hpp"
#include "platform/text/pl_utf8.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_conv/rvl_errt.hpp"

#include <atomic>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

bool console_silent()
{
    const ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance();
    return converter != nullptr && converter->is_silent();
}

std::string console_text(const std::wstring& text) { return platform::to_utf8(text); }

namespace {

// The dump's destination is the file standard output writes to (a pipe
// through /dev/stdout, a terminal, a file the shell opened for it).
bool dump_on_stdout()
{
    const ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance();
    if (converter == nullptr || converter->direct || converter->get_dest().empty())
        return false;
    struct stat out {};
    platform::file_stamp dest;
    return ::fstat(STDOUT_FILENO, &out) == 0 &&
           platform::get_file_stamp(tk_to_ansi(converter->get_dest(), tk_cp_thread_acp), dest) &&
           dest.device == static_cast<uint64_t>(out.st_dev) && dest.inode == static_cast<uint64_t>(out.st_ino);
}

} // namespace

std::ostream& console_out()
{
    // Once known, for good: the dump may be given its name later, and lines
    // of one run do not change streams midway.
    static std::atomic<bool> to_stderr{false};
    if (!to_stderr.load() && dump_on_stdout())
        to_stderr.store(true);
    return to_stderr.load() ? std::cerr : std::cout;
}

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
    set_docs_name("docs/console.md");
}

void console_error_handler::handle(const tk_exception& e, bool /*no_abort*/)
{
    tk_logger::log(2, "error_handler::handle");
    if (e.get_level() == 2) {
        tk_logger::log(3, "Internal error:\n%s", e.what());
        console_out() << "Internal error: " << e.what() << std::endl;
        throw console_exit{console_failure};
    }
    count_error();
    std::string message = make_message(e);
    tk_logger::log(3, "Error:\n%s", message.c_str());
    tk_string::replace_all(message, "\n", " ");
    if (!quiet)
        console_out() << "Error:" << std::endl << message << std::endl;
    if (e.get_level() == 1) {
        tk_logger::log(1, "Got 1-level error");
        throw console_exit{console_failure};
    }
    tk_logger::log(1, "Got 0-level error");
}

void console_hooks::progress_line(const std::wstring& line)
{
    if (!console_silent())
        console_out() << console_text(line) << std::endl;
}

void console_hooks::hold_notices(bool on)
{
    holding = on;
    if (on)
        return;
    std::vector<std::wstring> kept;
    kept.swap(held);
    for (const std::wstring& line : kept)
        notice(line);
}

void console_hooks::notice(const std::wstring& line)
{
    if (holding) {
        held.push_back(line);
        return;
    }
    std::string text = console_text(line);
    tk_logger::log(3, "Notice: %s", text.c_str());
    if (!console_silent())
        console_out() << "Notice: " << text << std::endl;
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
