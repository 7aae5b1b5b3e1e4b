// MORVANTE: one conversion from the command line, run on the main thread.
// Exit code 0 when the conversion went to its end and nothing was reported, 1
// when it went to its end but failures were reported on the way (a record, a
// worksheet, rows the server refused or values it changed), 255 when the
// usage text or a message was printed for a command line that cannot run, a
// failure ended the conversion (a lost connection among them) or SIGINT or
// SIGTERM interrupted it. --help is answered on standard output with 0.
#include "TK/tk_log.hpp"
#include "console/con_cmd.hpp"
#include "console/con_rep.hpp"
#include "console/con_sig.hpp"
#include "rvl_conv/rvl_conv.hpp"

#include <algorithm>
#include <exception>
#include <iostream>
#include <new>

namespace {

// Runs one step of main under the program's handlers; false when it failed.
template <class F>
bool guarded(error_handler& errors, F step)
{
    try {
        return step();
    } catch (const tk_final_exception&) {
        return false;  // a stop request ended the step: the caller tells so
    } catch (const tk_exception& e) {
        errors.handle(e, false);  // levels 1 and 2 end the program from here
        return false;
    } catch (const std::bad_alloc&) {
        errors.handle(ravelin_converter::instance().memory_failure(), false);
        return false;
    } catch (const std::exception& e) {
        print_fatal_and_exit(e.what());
    }
}

int interrupted(const ravelin_converter& converter)
{
    if (!converter.is_silent())
        std::cerr << "The conversion was interrupted." << std::endl;
    return console_failure;
}

// The exit code of a step that failed: the failure was reported, or a stop
// request ended the step (a blocked read of the source interrupted).
int failure(const ravelin_converter& converter)
{
    return converter.stop_requested() ? interrupted(converter) : console_failure;
}

// The run itself: 0, 1 or the failure code as the program's exit code.
int convert(error_handler& errors, ravelin_converter& converter)
{
    bool completed = false;
    // Nothing is dropped or replaced once the user asked to stop.
    const bool ran = converter.stop_requested() || guarded(errors, [&] {
        converter.check_dest();
        completed = converter() == 0;
        return true;
    });
    if (!ran || converter.stop_requested())
        return failure(converter);
    if (!completed)
        return console_failure;
    return errors.error_count() > 0 ? 1 : 0;
}

// A dump that did not go to its end keeps what was written under its
// writing name; the user is told where.
void tell_unfinished_dump(const ravelin_converter& converter)
{
    const std::wstring kept = converter.unfinished_dump();
    if (!kept.empty() && !converter.is_silent())
        std::cerr << "The dump written so far is kept in " << console_text(kept) << std::endl;
}

std::string joined(const std::vector<std::wstring>& items)
{
    std::string text;
    for (const std::wstring& item : items)
        text += (text.empty() ? "" : ", ") + console_text(item);
    return text;
}

// What a server run that did not go cleanly to its end did to the database:
// nothing, or what it dropped and what it wrote.
void tell_destination(const ravelin_converter& converter)
{
    if (!converter.direct || converter.is_silent())
        return;
    const std::vector<std::wstring> dropped = converter.dropped_items();
    const std::vector<std::wstring> held = converter.tables_held();
    const auto changed = [](const ravelin_converter::table_outcome& table) { return !table.kept; };
    const auto& outcomes = converter.table_outcomes();
    if (dropped.empty() && converter.written_items().empty() &&
        std::none_of(outcomes.begin(), outcomes.end(), changed)) {
        std::cerr << "Nothing was changed in the database '" << console_text(converter.get_dest()) << "'."
                  << std::endl;
        for (const std::wstring& line : held)
            std::cerr << console_text(line) << std::endl;
        return;
    }
    std::cerr << (dropped.empty() ? std::string("Nothing was dropped.") : "Dropped: " + joined(dropped) + ".")
              << std::endl;
    if (converter.written_items().empty())
        std::cerr << "Nothing was written." << std::endl;
    for (const std::wstring& line : held)
        std::cerr << console_text(line) << std::endl;
}

// What a server run that went to its end dropped: the user may have held
// more there than the tables the run wrote.
void tell_dropped(const ravelin_converter& converter)
{
    const std::vector<std::wstring> dropped = converter.dropped_items();
    if (converter.direct && !converter.is_silent() && !dropped.empty())
        console_out() << "Dropped: " << joined(dropped) << "." << std::endl;
}

// The tables a run in mode 2 left alone: the user asked for them, and they
// hold what they held.
void tell_skipped(const ravelin_converter& converter)
{
    if (converter.is_silent())
        return;
    for (const std::wstring& table : converter.skipped_tables())
        std::cout << "Skipped " << console_text(table) << ": it exists, and existing tables are kept."
                  << std::endl;
}

int run(int argc, char** argv)
{
    tk_logger logger(nullptr, false, 3, false);
    console_error_handler errors;
    console_hooks hooks;
    hooks.hold_notices(true);  // the settings store's, among others
    ravelin_converter converter(converter_form::console, hooks);
    const console_stop_signals signals(converter);
    bool parsed = false;
    bool failed = false;
    try {
        failed = argc > 1 && !guarded(errors, [&] {
            parsed = parse_cmd_line(argc, argv, converter, errors);
            // Before a line goes into the log or the dump: neither may be a
            // file the run reads.
            if (parsed)
                converter.refuse_same_files();
            return true;
        });
    } catch (const console_exit&) {
        hooks.hold_notices(false);
        throw;
    }
    hooks.hold_notices(false);
    if (failed)
        return failure(converter);
    if (!parsed)
        print_fatal_and_exit(usage_text(program_name(argv[0])));
    // A stop ends the waits of the connection and of the destination check
    // too, not only those of the run.
    const run_watchdog::watch watched(converter.watchdog);
    if (converter.direct && !guarded(errors, [&] {
            converter.connect_mysql_server();
            return true;
        }))
        return failure(converter);
    try {
        const int code = convert(errors, converter);
        tell_skipped(converter);
        if (code == console_failure)
            tell_unfinished_dump(converter);
        if (code != 0)
            tell_destination(converter);
        else
            tell_dropped(converter);
        return code;
    } catch (const console_exit&) {
        tell_unfinished_dump(converter);
        tell_destination(converter);
        throw;
    }
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const console_exit& e) {
        return e.code;
    }
}
