// The translation of view SQL from the workbook engine's dialect into MySQL's,
// shared by the live server and the dump writer: whitespace folded, names
// rewritten to the destination's, brackets made backquotes, and the functions
// MySQL spells otherwise renamed.
#pragma once

#include <string>

class udb_names_map;
class udb_validator;

struct sql_view_converter {
    // Every run of CR, LF, TAB and space outside quoted strings becomes one
    // space; quoted strings are copied as they stand.
    static std::wstring fold_whitespace(const std::wstring& text);

    // True when the call that follows the function name at position (one of
    // isnull, dateadd, replicate) has exactly two arguments, counting commas
    // of nested calls too. False for npos or a position outside the text.
    static bool check_isnull_for_replace(const std::wstring& text, size_t position);

    // The view's SQL in MySQL's dialect, ended by ";". Table and field names
    // are replaced by their destination names from the map. A level-0
    // tk_exception when the view uses what MySQL has no match for.
    static std::wstring refine_view_in(const udb_names_map& names, const std::wstring& sql);

    // The renames of functions alone (the last steps of refine_view_in):
    // only where the name is called, so columns and keywords that share its
    // letters stay.
    static std::wstring rename_functions(std::wstring text);

    // Only queries whose text begins with "select" (any case, nothing before
    // it) become views.
    static bool is_select(const std::wstring& sql);

    // The view's name on the destination: the source's when the validator
    // accepts it, else a safe one made from it without its outer blanks, which
    // the names map then gives for the source name (so later views that name
    // it are rewritten) and the validator counts as taken. stored_log: the
    // wide log format that records the new name.
    static std::wstring make_view_name(udb_validator& validator, udb_names_map& names, const std::wstring& name,
                                       const wchar_t* stored_log);

    // "CREATE OR REPLACE VIEW name AS " and the rewritten SELECT.
    static std::wstring create_statement(const std::wstring& name, const std::wstring& refined_sql);

    // A definition as the server stores it, made plain again: its first
    // comment removed and the database's name taken off the references the
    // server qualified with it.
    static std::wstring refine_view_out(const std::wstring& database, const std::wstring& sql);
};
