// The converter's settings in the per-user registry key. The wizard keeps
// every setting of its last use there; the console program reads only the
// character set, the storage engine and the dump options.
#include "rvl_conv/rvl_conv.hpp"

#include "SQL/sql_vali.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_format.hpp"

void ravelin_converter::apply_defaults()
{
    direct = true;
    from_xls = true;
    n_comma = 1;
    port = "3306";
    refine_types = true;
    skip_empty_rows = true;
    tab_def = false;
    x_fnames = true;
    dump_opts.n_line_break = 0;
    dump_opts.b_new_ver = true;
    dump_opts.b_lock_write = true;
    dump_opts.b_ins_comments = true;
    dump_opts.b_ins_db = false;
    dump_opts.b_ins_tables = true;
}

bool ravelin_converter::serialize(bool store)
{
    tk_logger::log(1, "serialize( %d )", store ? 1 : 0);
    const uint32_t status = key.create(tk_hkey_current_user, path.c_str(), nullptr, 0, tk_key_all_access);
    // Not a file the program wrote (a folder, a device, a huge file): reading
    // it would never end or end the program.
    if (status == platform::reg_unusable_store)
        hooks.notice(platform::format(L"The settings store '%s' is no plain file of at most %d bytes and is "
                                      L"ignored; the defaults are used.",
                                      tk_to_unicode(store_file()).c_str(), static_cast<int>(platform::reg_max_file)));
    if (status != 0)
        return false;
    if (!store)
        apply_defaults();
    const bool ok = form == converter_form::console ? serialize_console() : serialize_all(store);
    key.close();
    return ok;
}

bool ravelin_converter::serialize_dump_options(bool store)
{
    bool ok = tk_serializer::serialize("dmp_line_br", dump_opts.n_line_break, store);
    ok = tk_serializer::serialize("dmp_new_ver", dump_opts.b_new_ver, store) && ok;
    ok = tk_serializer::serialize("dmp_loc_wri", dump_opts.b_lock_write, store) && ok;
    ok = tk_serializer::serialize("dmp_ins_com", dump_opts.b_ins_comments, store) && ok;
    ok = tk_serializer::serialize("dmp_ins_db", dump_opts.b_ins_db, store) && ok;
    return tk_serializer::serialize("dmp_ins_tab", dump_opts.b_ins_tables, store) && ok;
}

// A stored name goes into statements as it stands: one that is no plain name
// is refused as the command line and profiles refuse it.
bool ravelin_converter::accepts_stored_name(const wchar_t* value_name, const std::wstring& value)
{
    if (value.empty() || sql_is_plain_name(value))
        return true;
    hooks.notice(platform::format(L"The stored setting %s '%s' is not a plain name and is ignored; the default is "
                                  L"used.",
                                  value_name, value.c_str()));
    return false;
}

bool ravelin_converter::serialize_engine_texts(bool store)
{
    std::wstring char_set = engine.get_char_set();
    std::wstring tab_type = engine.get_tab_type();
    const bool char_set_ok = tk_serializer::serialize(L"char_set", char_set, store);
    const bool tab_type_ok = tk_serializer::serialize(L"tab_type", tab_type, store);
    if (!store && char_set_ok && accepts_stored_name(L"char_set", char_set))
        engine.set_char_set(char_set);
    if (!store && tab_type_ok && accepts_stored_name(L"tab_type", tab_type))
        engine.set_tab_type(tab_type);
    return char_set_ok && tab_type_ok;
}

bool ravelin_converter::serialize_console()
{
    const bool ok = serialize_engine_texts(false);
    return serialize_dump_options(false) && ok;
}

bool ravelin_converter::serialize_all(bool store)
{
    uint32_t delimiter = static_cast<uint32_t>(n_comma);
    bool ok = tk_serializer::serialize(L"dest", dest, store);
    ok = tk_serializer::serialize("direct", direct, store) && ok;
    ok = serialize_engine_texts(store) && ok;
    ok = serialize_dump_options(store) && ok;
    ok = tk_serializer::serialize("from_xls", from_xls, store) && ok;
    ok = tk_serializer::serialize("host", host, store) && ok;
    ok = tk_serializer::serialize("log_file", log_file, store) && ok;
    // A delimiter never chosen is not stored, and none stored is no fault:
    // the delimiter page then reads it off the file.
    const bool delimiter_known = n_comma >= 0 && n_comma <= 3;
    const bool delimiter_kept = (store && !delimiter_known) || tk_serializer::serialize("n_comma", delimiter, store);
    ok = (delimiter_kept || !store) && ok;
    ok = tk_serializer::serialize("port", port, store) && ok;
    ok = tk_serializer::serialize("pswd", pswd, store) && ok;
    ok = tk_serializer::serialize("refine_types", refine_types, store) && ok;
    ok = tk_serializer::serialize("skip_empty_rows", skip_empty_rows, store) && ok;
    ok = tk_serializer::serialize(L"src", src, store) && ok;
    ok = tk_serializer::serialize(L"tab name", tab_name, store) && ok;
    ok = tk_serializer::serialize("tab_def", tab_def, store) && ok;
    ok = tk_serializer::serialize("user", user, store) && ok;
    ok = tk_serializer::serialize("x_fnames", x_fnames, store) && ok;
    // A stored delimiter outside the table loads as the default; none
    // stored is none given.
    if (!store) {
        n_comma = !delimiter_kept ? -1 : delimiter <= 3 ? static_cast<int32_t>(delimiter) : 1;
        // The last run's table name is that of its own CSV file only.
        tab_name_for = from_xls ? std::wstring() : src;
    }
    return ok;
}
