#include "GUI2/g_guard.hpp"

#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_log.hpp"
#include "rvl_conv/rvl_errh.hpp"

void ui_guard(const std::function<void()>& action)
{
    try {
        try {
            action();
        } catch (const tk_final_exception&) {
            // the user chose to stop; nothing more to say
        } catch (const tk_exception& e) {
            error_handler::instance().handle(e, true);
        } catch (const std::exception& e) {
            wizard_shell::error(std::string(e.what()));
        }
    } catch (const wizard_exit& e) {
        wizard_shell::end_program(e.code);
    } catch (const std::exception& e) {
        // The report itself failed (no error handler): the log keeps it.
        tk_logger::log(3, "Unreported error:\n%s", e.what());
    }
}
