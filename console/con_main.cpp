// MORVANTE: one conversion from the command line, run on the main thread.
// Exit code 0 when the conversion went to its end and nothing was reported, 1
// when it went to its end but failures were reported on the way (a record, a
// worksheet), 255 when the usage text or a message was printed or a failure
// ended the conversion.
#include "TK/tk_log.hpp"
#include "console/con_cmd.hpp"
#include "console/con_rep.hpp"
#include "rvl_conv/rvl_conv.hpp"

#include <exception>

namespace {

// Runs one step of main under the program's handlers; false when it failed.
template <class F>
bool guarded(error_handler& errors, F step)
{
    try {
        return step();
    } catch (const tk_exception& e) {
        errors.handle(e, false);  // levels 1 and 2 end the program from here
        return false;
    } catch (const std::exception& e) {
        print_fatal_and_exit(e.what());
    }
}

int run(int argc, char** argv)
{
    tk_logger logger(nullptr, false, 3, false);
    console_error_handler errors;
    console_hooks hooks;
    ravelin_converter converter(converter_form::console, hooks);
    bool parsed = false;
    if (argc > 1 && !guarded(errors, [&] {
            parsed = parse_cmd_line(argc, argv, converter, errors);
            return true;
        }))
        return console_failure;
    if (!parsed)
        print_fatal_and_exit(usage_text());
    if (converter.direct && !guarded(errors, [&] {
            converter.connect_mysql_server();
            return true;
        }))
        return console_failure;
    bool completed = false;
    if (!guarded(errors, [&] {
            converter.check_dest();
            completed = converter() == 0;
            return true;
        }))
        return console_failure;
    if (!completed)
        return console_failure;
    return errors.error_count() > 0 ? 1 : 0;
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
