#include "rvl_shel/rs_hooks.hpp"

#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "rvl_conv/rvl_errh.hpp"

void wizard_hooks::progress_line(const std::wstring& line) { tk_logger::wlog(2, L"%s", line.c_str()); }

void wizard_hooks::sheet_not_found(const std::wstring& name)
{
    tk_logger::wlog(3, L"Worksheet %s not found", name.c_str());
    // Asked for and not converted: the run did not do all it was asked.
    if (wizard_shell::is_initialized())
        wizard_shell::instance().add_error(tk_to_ansi(L"Worksheet " + name + L" not found", tk_cp_thread_acp));
    if (error_handler* errors = tk_singleton<error_handler>::try_instance())
        errors->count_failure();
}

void wizard_hooks::notice(const std::wstring& line)
{
    tk_logger::wlog(3, L"Notice: %s", line.c_str());
    // The console prints every notice; the finish page lists them.
    if (wizard_shell::is_initialized())
        wizard_shell::instance().add_error(tk_to_ansi(L"Notice: " + line, tk_cp_thread_acp));
}

void wizard_hooks::report_std_exception(const std::exception& e)
{
    tk_logger::log(3, "ERROR:\n%s", e.what());
    wizard_shell::error(std::string(e.what()));
}
