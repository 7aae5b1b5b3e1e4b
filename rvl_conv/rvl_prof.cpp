// The converter's settings in a profile: what each section holds, how each
// value is written, and how it is read back. Settings whose keys are missing
// or empty keep their values, except the server host and password.
#include "rvl_conv/rvl_prof.hpp"

#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_prof.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>
#include <optional>

namespace {

const wchar_t* flag(bool on) { return on ? L"1" : L"0"; }

// Every boolean key of a profile. The programs write 1 and 0; people write
// what the words say.
struct flag_key {
    const wchar_t* section;
    const wchar_t* key;
};
const flag_key flag_keys[] = {
    {udb_generic_settings, L"skip indexes"},
    {udb_generic_settings, L"only definitions"},
    {profile_excel_settings, L"extract field names"},
    {profile_excel_settings, L"refine types"},
    {profile_excel_settings, L"convert from xls"},
    {profile_mysql_settings, L"direct mode"},
    {profile_mysql_settings, L"dump line break"},
    {profile_mysql_settings, L"dump new version"},
    {profile_mysql_settings, L"dump add lock to insert"},
    {profile_mysql_settings, L"dump insert comments"},
    {profile_mysql_settings, L"dump create database"},
    {profile_mysql_settings, L"dump create table"},
};

// The value of a boolean key: 1/0, yes/no, true/false, on/off in any case;
// none for any other text.
std::optional<bool> parse_flag(const std::wstring& value)
{
    static const wchar_t* const words[][2] = {{L"1", L"0"}, {L"yes", L"no"}, {L"true", L"false"}, {L"on", L"off"}};
    for (const auto& [on, off] : words) {
        if (platform::equal_no_case(value, on))
            return true;
        if (platform::equal_no_case(value, off))
            return false;
    }
    return std::nullopt;
}

// The mode and a CSV run's delimiter: one digit, 0 to 3.
bool is_choice(const std::wstring& value) { return value.size() == 1 && value[0] >= L'0' && value[0] <= L'3'; }

// The first boolean key whose value is no yes or no, as "key=value"; empty
// when every one reads. An empty value keeps a setting.
std::wstring refused_flag_line(const udb_profile& profile)
{
    for (const flag_key& f : flag_keys) {
        const std::wstring value = profile.get_value(f.section, f.key);
        if (!value.empty() && !parse_flag(value))
            return std::wstring(f.key) + L"=" + value;
    }
    return {};
}

// A boolean key: an empty value keeps the setting. profile_failure has
// refused a profile whose value is no yes or no.
void read_flag(const udb_profile& profile, const wchar_t* section, const wchar_t* key, bool& setting)
{
    if (const std::optional<bool> value = parse_flag(profile.get_value(section, key)))
        setting = *value;
}

void read_text(const udb_profile& profile, const wchar_t* section, const wchar_t* key, std::wstring& setting)
{
    std::wstring value = profile.get_value(section, key);
    if (!value.empty())
        setting = std::move(value);
}

using pair_list = std::vector<std::pair<std::wstring, std::wstring>>;

void read_list(const udb_profile_entries& entries, pair_list& list)
{
    list.insert(list.end(), entries.begin(), entries.end());
}

void write_list(udb_profile& profile, const wchar_t* section, const pair_list& list, const wchar_t* log_format)
{
    for (const auto& [name, text] : list) {
        tk_logger::wlog(1, log_format, name.c_str(), text.c_str());
        profile.set_value(section, name, text);
    }
}

} // namespace

bool udb_converter::load_profile(udb_profile& profile)
{
    tk_logger::log(2, "udb_converter::load_profile");
    read_list(profile.get_available_queries(), available_queries);
    for (const auto& [name, text] : profile.get_selected_tables()) {
        tk_logger::wlog(1, text.empty() ? L"Loading table '%s'" : L"Loading query '%s'", name.c_str());
        sel_queries.emplace_back(name, text);
    }
    read_list(profile.get_selected_views(), selected_views);
    read_text(profile, udb_generic_settings, L"src", src);
    read_text(profile, udb_generic_settings, L"dest", dest);
    // The profile's own log, none included: never the log of the run before.
    const std::string log_name = tk_to_ansi(profile.get_value(udb_generic_settings, L"logfile"), tk_cp_thread_acp);
    tk_logger::log(1, "Logfile=%s", log_name.c_str());
    set_logfile(log_name);
    read_flag(profile, udb_generic_settings, L"only definitions", tab_def);
    // Only the four modes there are (profile_failure refuses any other).
    const std::wstring mode_text = profile.get_value(udb_generic_settings, L"mode");
    if (is_choice(mode_text)) {
        set_mode(mode_text[0] - L'0');
        mode_from_profile = true;
    }
    read_flag(profile, udb_generic_settings, L"skip indexes", skip_indexes);
    return true;
}

bool udb_converter::store_profile(udb_profile& profile) const
{
    tk_logger::log(2, "udb_converter::store_profile");
    write_list(profile, udb_available_queries, available_queries, L"Available Query: (%s,%s)");
    write_list(profile, udb_selected_tables, sel_queries, L"Selected Query: (%s,%s)");
    write_list(profile, udb_selected_views, selected_views, L"Selected View: (%s,%s)");
    profile.set_value(udb_generic_settings, L"src", src);
    profile.set_value(udb_generic_settings, L"dest", dest);
    profile.set_value(udb_generic_settings, L"logfile", tk_to_unicode(log_file));
    profile.set_value(udb_generic_settings, L"skip indexes", flag(skip_indexes));
    profile.set_value(udb_generic_settings, L"only definitions", flag(tab_def));
    profile.set_value(udb_generic_settings, L"mode", std::wstring(1, static_cast<wchar_t>(L'0' + mode)));
    return true;
}

bool mysql_converter_impl::load_profile(udb_profile& profile)
{
    tk_logger::log(2, "mysql_converter_impl::load_profile");
    const auto narrow = [&profile](const wchar_t* key) {
        return tk_to_utf8(profile.get_value(profile_mysql_settings, key));
    };
    host = narrow(L"host");
    if (std::string value = narrow(L"user"); !value.empty())
        user = value;
    pswd = narrow(L"password");
    if (std::string value = narrow(L"port"); !value.empty())
        port = value;
    if (const std::optional<bool> lf = parse_flag(profile.get_value(profile_mysql_settings, L"dump line break")))
        dump_opts.n_line_break = *lf ? 1 : 0;
    read_flag(profile, profile_mysql_settings, L"dump new version", dump_opts.b_new_ver);
    read_flag(profile, profile_mysql_settings, L"dump add lock to insert", dump_opts.b_lock_write);
    read_flag(profile, profile_mysql_settings, L"dump insert comments", dump_opts.b_ins_comments);
    read_flag(profile, profile_mysql_settings, L"dump create database", dump_opts.b_ins_db);
    read_flag(profile, profile_mysql_settings, L"dump create table", dump_opts.b_ins_tables);
    return true;
}

bool mysql_converter_impl::store_profile(udb_profile& profile) const
{
    tk_logger::log(2, "mysql_converter_impl::store_profile");
    const auto text = [&profile](const wchar_t* key, const std::wstring& value) {
        profile.set_value(profile_mysql_settings, key, value);
    };
    text(L"host", tk_to_unicode(host));
    text(L"user", tk_to_unicode(user));
    text(L"password", tk_to_unicode(pswd));
    text(L"port", tk_to_unicode(port));
    text(L"dump line break", dump_opts.n_line_break == 1 ? L"1" : L"0");
    text(L"dump new version", flag(dump_opts.b_new_ver));
    text(L"dump add lock to insert", flag(dump_opts.b_lock_write));
    text(L"dump insert comments", flag(dump_opts.b_ins_comments));
    text(L"dump create database", flag(dump_opts.b_ins_db));
    text(L"dump create table", flag(dump_opts.b_ins_tables));
    return true;
}

namespace {

// The lines of [Generic settings] whose values reach statements as names.
std::wstring generic_char_set(const udb_profile& profile)
{
    return profile.get_value(udb_generic_settings, L"character set");
}

std::wstring generic_engine(const udb_profile& profile)
{
    return profile.get_value(udb_generic_settings, L"storage engine");
}

// Notes the storage engine and character set of [Generic settings]; false at
// the first that is no plain name.
bool note_generic_names(sql_db_mutator& mutator, const udb_profile& profile)
{
    const std::wstring char_set = generic_char_set(profile);
    const std::wstring engine = generic_engine(profile);
    return mutator.note_catalogue_name(false, char_set, L"character set=" + char_set) &&
           mutator.note_catalogue_name(true, engine, L"storage engine=" + engine);
}

} // namespace

std::string ravelin_converter::profile_failure(udb_profile& profile, const std::wstring& path)
{
    // Half a profile would run a conversion nobody asked for, and a name
    // that is no plain word would become part of a statement. A setting read
    // otherwise than it is written runs another conversion: 'mode=merge'
    // read as no mode would drop what the database holds (mode 0).
    if (const std::wstring line = refused_flag_line(profile); !line.empty())
        return "Profile " + tk_to_utf8(path) +
               " cannot be used: this line gives a yes-or-no setting another value (1 or 0, yes or no, true or "
               "false, on or off):\n" +
               tk_to_utf8(line);
    // (A delimiter out of range keeps the one the settings store holds.)
    if (const std::wstring mode = profile.get_value(udb_generic_settings, L"mode"); !mode.empty() && !is_choice(mode))
        return "Profile " + tk_to_utf8(path) +
               " cannot be used: this line gives a setting of one digit, 0 to 3, another value:\nmode=" +
               tk_to_utf8(mode);
    sql_db_mutator check;
    if (check.load(profile) && note_generic_names(check, profile))
        return {};
    if (!check.get_type_failure().empty())
        return "Profile " + tk_to_utf8(path) + " cannot be used: " + tk_to_utf8(check.get_type_failure());
    const std::string reason = check.is_value_failure()
                                   ? "this line names a storage engine, character set or type that is not a plain "
                                     "name (letters, digits and '_')"
                                   : "this line of its \"Type Mappings\" is out of place";
    return "Profile " + tk_to_utf8(path) + " cannot be used: " + reason + ":\n" + tk_to_utf8(check.get_failed_line());
}

void ravelin_converter::load_from_profile(udb_profile& profile)
{
    udb_converter::load_profile(profile);
    mysql_converter_impl::load_profile(profile);
    // profile_failure has read these lines already: they load.
    sql_db_mutator::load(profile);
    note_generic_names(*this, profile);
    read_flag(profile, profile_excel_settings, L"extract field names", x_fnames);
    read_flag(profile, profile_excel_settings, L"refine types", refine_types);
    read_flag(profile, profile_excel_settings, L"convert from xls", from_xls);
    read_flag(profile, profile_mysql_settings, L"direct mode", direct);
    if (!from_xls)
        load_csv_settings(profile);
    if (const std::wstring text = generic_char_set(profile); !text.empty())
        engine.set_char_set(text);
    if (const std::wstring text = generic_engine(profile); !text.empty())
        engine.set_tab_type(text);
}

namespace {

// The catalogue entry's own name: the list of character sets shows each as
// "name - description". A server that gave no list refutes no name.
bool lists_name(const std::vector<std::wstring>& list, const std::wstring& name)
{
    return list.empty() || std::any_of(list.begin(), list.end(), [&name](const std::wstring& entry) {
        return platform::equal_no_case(entry.substr(0, entry.find(L" - ")), name);
    });
}

} // namespace

void ravelin_converter::load_csv_settings(const udb_profile& profile)
{
    // Never the table of whatever ran last: that one would be replaced by
    // rows it never held.
    tab_name = profile.get_value(profile_excel_settings, profile_csv_table);
    if (tab_name.empty() && !src.empty())
        tab_name = default_csv_table();
    tab_name_for = src;
    const std::wstring delimiter = profile.get_value(profile_excel_settings, profile_csv_delimiter);
    if (is_choice(delimiter))
        n_comma = delimiter[0] - L'0';
}

void ravelin_converter::check_profile_names()
{
    for (const profile_catalogue_name& name : get_catalogue_names()) {
        const bool known = lists_name(name.engine ? engine.get_storage_engines() : engine.get_charsets(), name.value);
        if (!known)
            throw tk_exception("The profile cannot be used: the server has no " +
                                   std::string(name.engine ? "storage engine" : "character set") +
                                   " of the name this line gives:\n" + tk_to_utf8(name.line),
                               1);
    }
}

void ravelin_converter::check_storage_engine()
{
    // The engine of every table the run creates without a profile's own
    // (check_profile_names), InnoDB unless --engine or a profile named
    // another. A server that lists no engines refutes none.
    const std::wstring& name = engine.get_tab_type();
    if (!name.empty() && !lists_name(engine.get_storage_engines(), name))
        throw tk_exception(L"The server has no storage engine " + name +
                               L" to create the tables with: choose one it has (--engine). Nothing is changed.",
                           1);
}

bool ravelin_converter::store_to_profile(udb_profile& profile) const
{
    if (!udb_converter::store_profile(profile) || !mysql_converter_impl::store_profile(profile))
        return false;
    profile.set_value(profile_excel_settings, L"extract field names", flag(x_fnames));
    profile.set_value(profile_excel_settings, L"refine types", flag(refine_types));
    profile.set_value(profile_excel_settings, L"convert from xls", flag(from_xls));
    if (!from_xls) {
        profile.set_value(profile_excel_settings, profile_csv_table, tab_name);
        if (n_comma >= 0 && n_comma <= 3)
            profile.set_value(profile_excel_settings, profile_csv_delimiter,
                              std::wstring(1, static_cast<wchar_t>(L'0' + n_comma)));
    }
    profile.set_value(profile_mysql_settings, L"direct mode", flag(direct));
    profile.set_value(udb_generic_settings, L"character set", engine.get_char_set());
    profile.set_value(udb_generic_settings, L"storage engine", engine.get_tab_type());
    return true;
}

bool ravelin_converter::load_profile(const std::wstring& path)
{
    tk_logger::wlog(2, L"ravelin_converter::load_profile(%s)", path.c_str());
    note_file_read(L"profile", path);
    udb_profile profile;
    if (!profile.load(path)) {
        profile_unread = unreadable_profile(path, profile);
        return false;
    }
    if (std::string failure = profile_failure(profile, path); !failure.empty())
        throw tk_exception(failure, 1);
    load_from_profile(profile);
    return true;
}

std::wstring ravelin_converter::unreadable_profile(const std::wstring& path, const udb_profile& profile)
{
    return L"The profile " + path + L" cannot be read: " + profile.get_failure() + L".";
}

bool ravelin_converter::store_profile(const std::wstring& path) const
{
    tk_logger::wlog(2, L"ravelin_converter::store_profile(%s)", path.c_str());
    udb_profile profile;
    return store_to_profile(profile) && sql_db_mutator::store(profile) && profile.store(path);
}
