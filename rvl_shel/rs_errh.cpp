#include "rvl_shel/rs_errh.hpp"

#include "GUI2/g_guard.hpp"
#include "GUI2/g_uiport.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_log.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_conv/rvl_errt.hpp"
#include "rvl_shel/rs_dlg.hpp"

wizard_error_handler::wizard_error_handler() : error_handler(dao_err_map_size, dao_err_map)
{
    load_err_map(mysql_err_map_size, mysql_err_map);
    load_err_map(xls_err_map_size, xls_err_map);
    set_docs_name("the help (the Help button)");
}

namespace {

// The finish page is what the user keeps of a run: where a friendly text
// stands for the failure, the failure's own words (the file, the byte) follow.
std::string listed_message(const std::string& message, const tk_exception& e)
{
    std::string cause = e.what();
    tk_string::replace_all(cause, "\n", " ");
    if (cause.empty() || message.find(cause) != std::string::npos)
        return message;
    return message + " Cause: " + cause;
}

} // namespace

void wizard_error_handler::handle(const tk_exception& e, bool no_abort)
{
    tk_logger::log(2, "error_handler::handle");
    if (e.get_level() == 2)
        internal_error(e);
    count_error();
    std::string message = make_message(e);
    tk_logger::log(3, "Error:\n%s", message.c_str());
    tk_string::replace_all(message, "\n", " ");
    if (wizard_shell::is_initialized())
        wizard_shell::instance().add_error(listed_message(message, e));
    if (e.get_level() == 1) {
        tk_logger::log(1, "Got 1-level error");
        bool silent = false;
        {
            std::lock_guard<std::mutex> lock(quiet_mutex);
            silent = quiet;
        }
        if (!silent) {
            tk_logger::log(1, "Step 1");
            wizard_shell::error(message);
        }
        tk_logger::log(1, "Step 2");
        return;
    }
    tk_logger::log(1, "Got 0-level error");
    continue_dialog(message, no_abort);
}

void wizard_error_handler::continue_dialog(const std::string& message, bool no_abort)
{
    {
        std::lock_guard<std::mutex> lock(quiet_mutex);
        if (quiet)
            return;
    }
    int result = dlg_continue;
    bool dont_show = false;
    // While the program closes the answer is Continue, without a dialog.
    if (ui_closing())
        return;
    on_window_thread([&] {
        if (ui_closing())
            return;
        dlg_error_continue dialog(tk_to_unicode(message));
        result = ui().exec(dialog);
        dont_show = dialog.dont_show;
    });
    if (result == dlg_abort && !no_abort)
        throw tk_final_exception();
    std::lock_guard<std::mutex> lock(quiet_mutex);
    quiet = dont_show;
}

void wizard_error_handler::internal_error(const tk_exception& e)
{
    tk_logger::log(3, "Internal error:\n%s", e.what());
    if (ravelin_converter* converter = tk_singleton<ravelin_converter>::try_instance())
        converter->forget_settings();
    if (!ui_closing()) {
        on_window_thread([&] {
            if (ui_closing())
                return;
            dlg_error_ex dialog(tk_to_unicode(e.get_message()));
            ui().exec(dialog);
        });
    }
    throw wizard_exit{wizard_failure};
}
