#include "console/con_cmd.hpp"

#include "SQL/sql_vali.hpp"
#include "TK/tk_cmdli.hpp"
#include "TK/tk_files.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "console/con_rep.hpp"
#include "platform/text/pl_format.hpp"
#include "rvl_conv/rvl_conv.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>

namespace {

enum option_id : int32_t {
    opt_charset,
    opt_csv_delim,
    opt_dest,
    opt_dump,
    opt_engine,
    opt_extr_fn,
    opt_from_csv,
    opt_help,
    opt_logfile,
    opt_host,
    opt_mode,
    opt_no_refine,
    opt_port,
    opt_profile,
    opt_pswd,
    opt_silent,
    opt_skip_empty,
    opt_src,
    opt_tab_file,
    opt_tab_name,
    opt_user,
};

const cmd_line_option option_table[] = {
    {opt_charset, "--charset="},   {opt_csv_delim, "--csv_delim="}, {opt_dest, "--dest="},
    {opt_dump, "--dump"},          {opt_engine, "--engine="},       {opt_extr_fn, "--extr_fn"},
    {opt_from_csv, "--from_csv"},  {opt_help, "--help"},            {opt_logfile, "--logfile="},
    {opt_host, "--host="},         {opt_mode, "--mode="},           {opt_no_refine, "--no_refine"},
    {opt_port, "--port="},         {opt_profile, "--profile="},     {opt_pswd, "--pswd="},
    {opt_silent, "--silent"},      {opt_skip_empty, "--skip_empty"}, {opt_src, "--src="},
    {opt_tab_file, "--tab_file="}, {opt_tab_name, "--tab_name="},   {opt_user, "--user="},
    {0, ""},
};

const char usage_format[] =
    "MORVANTE v%d.%d\n"
    "Usage: %s OPTIONS\n"
    "\n"
    "   --charset=...   MySQL character set (the server lists its own:\n"
    "                   SHOW CHARACTER SET; see docs/console.md)\n"
    "   --csv_delim=... select the delimiter that separates CSV field\n"
    "                   (0 - tab, 1 - semicolon, 2 - comma, 3 - space)\n"
    "   --dest=...      MySQL database name\n"
    "   --dump          convert MS Excel spreadsheet into MySQL dump file\n"
    "   --engine=...    MySQL storage engine (MyISAM, MEMORY, InnoDB\n"
    "                   BerkeleyDB, ARCHIVE, FEDERATED, etc)\n"
    "   --extr_fn       extract field names from the first row\n"
    "   --from_csv      data source is a CSV file (MS Excel spreadsheet by default)\n"
    "   --help          display this help message and exit\n"
    "   --logfile=...   path to the file where execution trace will be written\n"
    "   --host=...      MySQL server IP address or network name\n"
    "   --mode=...      how to process an existing MySQL database:\n"
    "                   0 - overwrite the entire database,\n"
    "                   1 - overwrite existing tables only,\n"
    "                   2 - skip existing worksheet tables; a CSV file's rows\n"
    "                       are appended to an existing table,\n"
    "                   3 - merge: append rows to existing tables\n"
    "   --no_refine     disable improving type conversion\n"
    "   --port=...      MySQL port\n"
    "   --profile=...   path to the file to load conversion settings from\n"
    "   --pswd=...      MySQL user password\n"
    "   --silent        disable program output\n"
    "   --skip_empty    do not convert empty rows\n"
    "   --src=...       CSV file or MS Excel spreadsheet name\n"
    "   --tab_file=...  file containing the list of tables to convert\n"
    "                   (one table name per line)\n"
    "   --tab_name=...  MySQL table name (when converting from CSV file)\n"
    "   --user=...      MySQL user name\n"
    "\n"
    "NOTES:\n"
    "   1) You can omit 'host' parameter to connect local MySQL server.\n"
    "   2) It is necessary to specify 'port' parameter only if it differs from\n"
    "      the default MySQL port 3306.\n"
    "   3) If you omit 'tab_file' parameter, all worksheets will be converted.\n"
    "   4) If you omit 'mode' parameter, default mode will be used\n"
    "      (it is 'overwrite the entire database' when converting xls file or\n"
    "      'overwrite existing tables only' when converting csv file)\n"
    "   5) Command line parameters that contain spaces must be enclosed in quotes\n"
    "      (for example --dest=\"my database\")\n"
    "   6) docs/console.md tells every option and message in full.";

// The value as wide text; false when it cannot be converted.
bool to_wide(const char* value, std::wstring& out)
{
    std::unique_ptr<wchar_t[]> wide;
    if (!tk_ansi_to_unicode(value, wide))
        return false;
    out = wide.get();
    return true;
}

// Numeric options are read whole: the exact decimal text of 0 to 3 (--mode=,
// --csv_delim=), so that 2abc is no 2.
bool parse_choice(const char* value, int32_t& choice)
{
    const int n = std::atoi(value);
    if (std::to_string(n) != value || static_cast<unsigned>(n) > 3)
        return false;
    choice = n;
    return true;
}

// The argument as the log may show it: never a password.
const char* loggable(const char* argument)
{
    return std::string_view(argument).starts_with("--pswd=") ? "--pswd=***" : argument;
}

// What parse_cmd_line gathers besides the converter's own settings.
struct parsed_options {
    std::string program;  // as it was called, for the usage text
    std::string host, user, password, port;
    std::vector<std::wstring> tables;
    // The mode, CSV table name and delimiter given here stand over a
    // profile's, wherever --profile= stands.
    std::optional<int32_t> mode;
    std::optional<std::wstring> tab_name;
    std::optional<int32_t> csv_delim;
    // The last --profile= was applied: its server settings and worksheet
    // selection stand over the command line's.
    bool profile_loaded = false;
};

void apply_option(const ansi_cmd_line& line, ravelin_converter& conv, error_handler& errors, parsed_options& got)
{
    const char* value = line.get_value();
    std::wstring wide;
    switch (line.get_id()) {
    case opt_charset:
        if (to_wide(value, wide)) {
            tk_logger::wlog(1, L"parse_cmd_line - got charset '%s'", wide.c_str());
            if (!wide.empty() && !sql_is_plain_name(wide))
                print_fatal_and_exit("Invalid character set");
            conv.engine.set_char_set(wide);
        }
        break;
    case opt_csv_delim: {
        tk_logger::log(2, "\tgot CSV delimiter %s", value);
        int32_t n = -1;
        // A delimiter outside the table counts as not given.
        got.csv_delim = parse_choice(value, n) ? n : -1;
        break;
    }
    case opt_dest:
        if (to_wide(value, wide)) {
            tk_logger::wlog(2, L"\tgot dest %s", wide.c_str());
            conv.set_dest(wide);
        }
        break;
    case opt_dump:
        tk_logger::log(2, "\tconvert into dump files");
        conv.direct = false;
        break;
    case opt_engine:
        if (to_wide(value, wide)) {
            tk_logger::wlog(1, L"parse_cmd_line - got engine '%s'", wide.c_str());
            if (!wide.empty() && !sql_is_plain_name(wide))
                print_fatal_and_exit("Invalid storage engine");
            conv.engine.set_tab_type(wide);
        }
        break;
    case opt_extr_fn:
        tk_logger::log(2, "\textract fld.names from 1st row");
        conv.x_fnames = true;
        break;
    case opt_from_csv:
        tk_logger::log(2, "\tconvert from CSV");
        conv.from_xls = false;
        break;
    case opt_help:
        // Asked for: the answer, not a failure.
        if (!conv.is_silent())
            std::cout << usage_text(got.program) << std::endl;
        throw console_exit{0};
    case opt_logfile:
        tk_logger::log(1, "parse_cmd_line - got logfile %s", value);
        conv.set_logfile(value);
        break;
    case opt_host:
        got.host = value;
        break;
    case opt_mode: {
        int32_t mode = 0;
        if (!parse_choice(value, mode))
            print_fatal_and_exit("Invalid merge/overwrite mode");
        tk_logger::log(2, "\tgot mode %d", mode);
        got.mode = mode;
        break;
    }
    case opt_no_refine:
        tk_logger::log(2, "\tdo not refine types mapping");
        conv.refine_types = false;
        break;
    case opt_port:
        got.port = value;
        break;
    case opt_profile:
        if (to_wide(value, wide)) {
            tk_logger::wlog(1, L"parse_cmd_line - got profile %s", wide.c_str());
            got.profile_loaded = conv.load_profile(wide);
        }
        break;
    case opt_pswd:
        got.password = value;
        break;
    case opt_silent:
        tk_logger::log(1, "parse_cmd_line - silent mode is ON");
        conv.set_silent(true);
        errors.set_quiet(true);
        break;
    case opt_skip_empty:
        tk_logger::log(1, "Skip empty rows is ON");
        conv.skip_empty_rows = true;
        break;
    case opt_src:
        if (to_wide(value, wide)) {
            tk_logger::wlog(2, L"\tgot src %s", wide.c_str());
            conv.set_src(wide);
        }
        break;
    case opt_tab_file:
        tk_logger::log(2, "\tgot tab_file %s", value);
        if (to_wide(value, wide))
            conv.note_file_read(L"table list", wide);
        got.tables = process_tab_file(value);
        break;
    case opt_tab_name:
        if (to_wide(value, wide)) {
            tk_logger::wlog(2, L"\tgot tab_name %s", wide.c_str());
            got.tab_name = wide;
        }
        break;
    case opt_user:
        got.user = value;
        break;
    default:
        break;  // unknown: refused once every option is applied
    }
}

} // namespace

std::string program_name(const char* argv0)
{
    const std::string name = argv0 == nullptr ? std::string() : std::filesystem::path(argv0).filename().string();
    return name.empty() ? "MORVANTE" : name;
}

std::string usage_text(const std::string& program) { return platform::format(usage_format, 7, 1, program.c_str()); }

std::wstring ansi_to_wstring(const std::string& text)
{
    std::unique_ptr<wchar_t[]> wide;
    if (!tk_ansi_to_unicode(text.c_str(), wide))
        throw tk_exception_ex("Cannot convert to UNICODE string: ", 0);
    return wide.get();
}

std::vector<std::wstring> process_tab_file(const std::string& path)
{
    tk_logger::log(1, "process_tab_file(%s)", path.c_str());
    std::ifstream in;
    if (tk_is_file_exist1(path, tk_exist_not_folder))
        in.open(path);
    if (!in.is_open())
        print_fatal_and_exit("Table names file '" + path +
                             "' does not exist.\nPlease verify the correct path/name was given.");
    std::vector<std::wstring> names;
    bool utf8 = false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        tk_logger::log(1, "Got tab_file item: '%s'", line.c_str());
        if (names.empty() && line.starts_with("\xEF\xBB\xBF")) {
            utf8 = true;
            line.erase(0, 3);
        }
        names.push_back(utf8 ? tk_to_unicode(line) : ansi_to_wstring(line));
    }
    // An empty list would select every worksheet, and in mode 0 drop every
    // other table: the opposite of a list.
    if (names.empty())
        print_fatal_and_exit("Table names file '" + path +
                             "' names no worksheet.\nName one a line, or leave out --tab_file to convert every "
                             "worksheet.");
    return names;
}

bool parse_cmd_line(int argc, char* const* argv, ravelin_converter& conv, error_handler& errors)
{
    tk_logger::log(2, "parse_cmd_line");
    for (int i = 0; i < argc; ++i)
        tk_logger::log(1, "parameter #%d: %s", i, loggable(argv[i]));
    parsed_options got;
    got.program = program_name(argc > 0 ? argv[0] : nullptr);
    ansi_cmd_line line(argc, argv, option_table);
    for (; line.has_more(); line.next()) {
        apply_option(line, conv, errors, got);
        // The value points into argv, which is the caller's and writable.
        if (line.get_id() == opt_pswd)
            for (char* c = const_cast<char*>(line.get_value()); *c != '\0'; ++c)
                *c = 'x';
    }
    if (!line.get_unknown_args().empty())
        return false;
    if (got.mode)
        conv.set_mode(*got.mode);
    if (got.tab_name)
        conv.tab_name = *got.tab_name;
    if (got.csv_delim)
        conv.n_comma = *got.csv_delim;
    if (conv.get_src().empty())
        print_fatal_and_exit("You should enter data source name");
    if (conv.get_dest().empty())
        print_fatal_and_exit("You should enter destination MySQL database name");
    if (conv.from_xls) {
        // The worksheets named by the profile, else by the table-list file.
        // An empty list selects nothing here: the run then takes every
        // worksheet. Without a DAO engine nothing is listed; the run says so.
        std::vector<std::wstring> all;
        if (got.profile_loaded)
            conv.select_profile_sheets();
        else if (conv.get_all_sheets(all))
            conv.set_sel_sheets1(got.tables);
    } else {
        if (conv.tab_name.empty())
            print_fatal_and_exit("You should specify MySQL table name (use '--tab_name' option)");
        if (conv.n_comma == -1)
            print_fatal_and_exit("You should specify CSV delimiter (use '--csv_delim' option)");
        if (!got.mode && !conv.mode_from_profile)
            conv.set_mode(1);
    }
    if (!got.profile_loaded)
        conv.store_mysql_settings(got.host, got.user, got.password, got.port);
    return true;
}
