// The workbook side of the converter: which worksheets a workbook offers,
// how their names become table names, and which of them the user chose.
// A worksheet's name is the one DAO lists ("Sheet1$", or "'My Sheet$'" when
// DAO quotes it); its table name is the simplified one (Sheet1, My Sheet).
#pragma once

#include "rvl_conv/rvl_ucnv.hpp"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class dao_database;
class dao_engine;
class udb_database;

class xls_reader : public udb_converter {
public:
    // Opens the workbook read-only through the engine; field_names: the first
    // row of each worksheet names its columns. The caller owns the result.
    static std::unique_ptr<dao_database> open_xls(dao_engine& engine, const std::wstring& path, bool field_names);
    // A DAO engine of the newest class available; null when there is none.
    static std::unique_ptr<dao_engine> create_dao_engine();

    // The table names of every worksheet of src, and `worksheets` rebuilt
    // from them; false when no DAO engine can be made.
    bool get_all_sheets(std::vector<std::wstring>& names);
    void get_all_sheets2(udb_database& workbook, std::vector<std::wstring>& names);
    static std::wstring simplify_name(const std::wstring& name);

    // Keeps only the named worksheets; names the workbook lacks are reported
    // through sheet_not_found and skipped. Names of which none is in the
    // workbook raise a level-1 tk_exception and change nothing.
    // set_sel_sheets1 also records the selection in sel_queries.
    void set_sel_sheets1(const std::vector<std::wstring>& names);
    void set_sel_sheets2(const std::vector<std::pair<std::wstring, std::wstring>>& names);
    // A loaded profile's choice: the workbook's worksheets listed, then those
    // of its "Selected Tables" kept, or every one when it names none; false
    // when no DAO engine can be made.
    bool select_profile_sheets();

    // Table name -> worksheet name, in code-unit order of the table names.
    std::map<std::wstring, std::wstring> worksheets;
    // Worksheets whose name no table can take (a NUL in it), as listed; they
    // are in neither the list nor `worksheets`.
    std::vector<std::wstring> unusable_sheets;

    // The file read for src: src itself here. The converter reads a source
    // that can be read only once (a pipe) from its private copy, taken at
    // the first call, so every reading, the listing of worksheets among
    // them, sees the same bytes.
    virtual const std::wstring& source_to_read() { return src; }

protected:
    // A selected name the workbook lacks; the front end may show it.
    virtual void sheet_not_found(const std::wstring& /*name*/) {}

private:
    // The listed name without DAO's quotes and "$", blanks kept.
    static std::wstring unquoted_name(const std::wstring& listed);
    template <class Names, class Name> void select_sheets(const Names& names, Name name_of);
};
