#include "rvl_shel/rs_hooks.hpp"

#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_log.hpp"

void wizard_hooks::progress_line(const std::wstring& line) { tk_logger::wlog(2, L"%s", line.c_str()); }

void wizard_hooks::sheet_not_found(const std::wstring& name)
{
    tk_logger::wlog(3, L"Worksheet %s not found", name.c_str());
}

void wizard_hooks::notice(const std::wstring& line) { tk_logger::wlog(3, L"Notice: %s", line.c_str()); }

void wizard_hooks::report_std_exception(const std::exception& e)
{
    tk_logger::log(3, "ERROR:\n%s", e.what());
    wizard_shell::error(std::string(e.what()));
}
