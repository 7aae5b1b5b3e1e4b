#include "rvl_shel/rs_start.hpp"

#include "GUI2/g_finish.hpp"
#include "GUI2/g_guard.hpp"
#include "GUI2/g_uiport.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "TK/tk_dllv.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/mail/pl_clip.hpp"
#include "platform/mail/pl_libv.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_shel/rs_errh.hpp"
#include "rvl_shel/rs_finish.hpp"
#include "rvl_shel/rs_hooks.hpp"
#include "rvl_shel/rs_pages.hpp"
#include "rvl_shel/rs_prog.hpp"

#include <QClipboard>
#include <QGuiApplication>
#include <QLibraryInfo>


namespace {

bool write_clipboard(std::wstring_view text)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr)
        return false;
    clipboard->setText(QString::fromWCharArray(text.data(), static_cast<qsizetype>(text.size())));
    return true;
}

bool qt_version(uint32_t& major, uint32_t& minor)
{
    const QVersionNumber version = QLibraryInfo::version();
    major = static_cast<uint32_t>(version.majorVersion());
    minor = static_cast<uint32_t>(version.minorVersion());
    return true;
}

// Loads the profile of a quick launch; a profile that does not load ends the
// program before anything is connected, dropped or run.
bool load_quick_profile(ravelin_converter& converter, const std::string& command_line)
{
    const std::wstring path = tk_to_unicode(command_line);
    tk_logger::wlog(2, L"QUICK LAUNCH: profile=%s", path.c_str());
    bool loaded = false;
    try {
        loaded = converter.load_profile(path);
    } catch (...) {
        converter.forget_settings();
        throw;
    }
    if (!loaded) {
        // Nothing of it was applied, but the settings in hand are not the
        // ones the user asked to run.
        converter.forget_settings();
        wizard_shell::error(converter.profile_unread);
    }
    return loaded;
}

void prepare_run(ravelin_converter& converter)
{
    if (converter.from_xls)
        converter.select_profile_sheets();
    if (converter.direct)
        converter.connect_mysql_server();
    // The destination is prepared by the run, as the pages' runs are: a
    // source that keeps it waiting (a pipe without a writer) can be
    // cancelled, and what it refuses reaches the finish page.
    converter.check_dest_in_run = true;
}

int run_wizard(const std::string& command_line)
{
    if (!gui_initialize())
        return wizard_failure;
    const bool quick = !command_line.empty();
    wizard_hooks hooks;
    ravelin_converter converter(converter_form::wizard, hooks);
    // The pages outlive the shell, which hands them back as it closes.
    interactive_pages pages;
    progress_page progress;
    progress.set_header(QStringLiteral("Step 5 of 5"), QStringLiteral("Data conversion is in progress"));
    finish_page finish(progress);
    // Made first: the boxes of a profile that cannot be run carry its title.
    wizard_shell shell(ravelin_converter::get_title());
    if (quick) {
        try {
            if (!load_quick_profile(converter, command_line))
                return wizard_failure;
            prepare_run(converter);
        } catch (const tk_exception& e) {
            error_handler::instance().handle(e, true);
            return wizard_failure;
        }
    } else {
        pages.add_to(shell, converter);
    }
    shell.add_page(progress);
    shell.add_page(finish);
    const int result = shell.run();
    progress.stop_and_wait();
    if (result == wizard_failure)
        return wizard_failure;
    // The run's outcome, as the console's exit code tells it; a wizard left
    // before any run did nothing.
    return progress.has_run() ? exit_code_of(outcome_of(progress)) : 0;
}

} // namespace

std::string join_command_line(int argc, const char* const* argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return line;
}

void install_window_services()
{
    platform::set_clipboard_writer(write_clipboard);
    platform::set_window_library_version(qt_version);
}

bool gui_initialize()
{
    tk_logger::log(2, "gui_initialize");
    const uint32_t version = get_dll_version(L"comctl32.dll");
    tk_logger::log(1, "comctl32.dll version=%X", version);
    if (version >= 0x50050) {
        tk_logger::log(2, "gui_initialize - end");
        return true;
    }
    wizard_shell::error(std::wstring(L"Incorrect version of comctl32.dll. Microsoft Internet Explorer 5\nor later is "
                                     L"required to proceed with the application."));
    return false;
}

int ravelin_run(const std::string& command_line)
{
    set_ui_closing(false);
    tk_logger logger(nullptr, false, 3, false);
    wizard_error_handler errors;
    try {
        try {
            return run_wizard(command_line);
        } catch (const tk_exception& e) {
            errors.handle(e, true);
        } catch (const std::exception& e) {
            wizard_shell::error(std::string(e.what()));
        }
    } catch (const wizard_exit& e) {
        return e.code;
    }
    return wizard_failure;
}
