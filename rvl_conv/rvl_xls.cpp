// Listing a workbook's worksheets and keeping the ones the user chose. The
// listing opens the workbook without field names: only the names of its
// tables matter here.
#include "rvl_conv/rvl_xls.hpp"

#include "DAO/dao_db.hpp"
#include "TK/tk_log.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_conv/rvl_errh.hpp"

#include <algorithm>
#include <iterator>

namespace {

const char no_sheet_selected[] = "None of the selected worksheets is in the workbook.";

} // namespace

std::unique_ptr<dao_database> xls_reader::open_xls(dao_engine& engine, const std::wstring& path, bool field_names)
{
    tk_logger::wlog(2, L"xls_reader::open_xls(%s)", path.c_str());
    std::wstring connect = L"Excel 5.0;";
    if (!field_names)
        connect += L" HDR=No;";
    connect += L" IMEX=1;";
    return open_dao_src(engine, path, connect, udb_database::mode_read_only);
}

std::unique_ptr<dao_engine> xls_reader::create_dao_engine()
{
    auto engine = std::make_unique<dao_engine>(false);
    if (engine->set_version_if(3) || engine->set_version_if(0))
        return engine;
    return nullptr;
}

bool xls_reader::get_all_sheets(std::vector<std::wstring>& names)
{
    tk_logger::log(1, "xls_reader::get_all_sheets");
    names.clear();
    std::unique_ptr<dao_engine> engine = create_dao_engine();
    if (!engine)
        return false;
    // Listing needs no field names, whatever the run will use.
    std::unique_ptr<dao_database> workbook = open_xls(*engine, source_to_read(), false);
    get_all_sheets2(*workbook, names);
    return true;
}

void xls_reader::get_all_sheets2(udb_database& workbook, std::vector<std::wstring>& names)
{
    tk_logger::log(1, "xls_reader::get_all_sheets(2)");
    worksheets.clear();
    unusable_sheets.clear();
    std::vector<std::pair<std::wstring, std::wstring>> sheets;  // (listed, simplified)
    std::map<std::wstring, int> simplified_count;
    for (const std::wstring& listed : workbook.get_tables()) {
        tk_logger::wlog(1, L"non_system (%s)", listed.c_str());
        const size_t n = listed.size();
        const bool sheet = (n >= 2 && listed[n - 1] == L'$') || (n >= 2 && listed[n - 1] == L'\'' && listed[n - 2] == L'$');
        if (!sheet)
            continue;
        std::wstring table = simplify_name(listed);
        if (table.find(L'\0') != std::wstring::npos) {
            unusable_sheets.push_back(listed);
            continue;
        }
        ++simplified_count[table];
        sheets.emplace_back(listed, std::move(table));
    }
    // Worksheets whose names differ only by blanks at their ends would share
    // a table name: each keeps its blanks instead, so every worksheet has a
    // name of its own, and the run makes table names of them.
    for (const auto& [listed, simplified] : sheets) {
        const std::wstring table = simplified_count[simplified] > 1 ? unquoted_name(listed) : simplified;
        names.push_back(table);
        worksheets.emplace(table, listed);
    }
}

std::wstring xls_reader::unquoted_name(const std::wstring& listed)
{
    std::wstring name = listed;
    if (name.size() > 2 && name.front() == L'\'' && name.back() == L'\'')
        name = name.substr(1, name.size() - 2);
    if (name.size() > 1 && name.back() == L'$')
        name.pop_back();
    return name;
}

std::wstring xls_reader::simplify_name(const std::wstring& listed)
{
    tk_logger::wlog(1, L"xls_reader::simplify_name(%s)", listed.c_str());
    std::wstring name = unquoted_name(listed);
    name.erase(name.find_last_not_of(L' ') + 1);  // npos + 1 is 0: all blanks
    name.erase(0, std::min(name.find_first_not_of(L' '), name.size()));
    tk_logger::wlog(1, L"Simplified name: %s", name.c_str());
    return name;
}

template <class Names, class Name> void xls_reader::select_sheets(const Names& names, Name name_of)
{
    std::map<std::wstring, std::wstring> selected;
    for (const auto& item : names) {
        const std::wstring& name = name_of(item);
        const auto found = worksheets.find(name);
        if (found == worksheets.end()) {
            tk_logger::wlog(3, L"Worksheet %s not found", name.c_str());
            sheet_not_found(name);
            continue;
        }
        tk_logger::wlog(1, L"Worksheet %s is selected", found->second.c_str());
        selected.insert(*found);
    }
    // A choice of which nothing is left is no choice of every worksheet.
    if (selected.empty() && !std::empty(names))
        throw tk_exception(no_sheet_selected, 1);
    worksheets = std::move(selected);
}

void xls_reader::set_sel_sheets1(const std::vector<std::wstring>& names)
{
    tk_logger::log(1, "xls_reader::set_sel_sheets1(%d)", static_cast<int>(names.size()));
    tk_logger::log(1, "Total worksheets: %d", static_cast<int>(worksheets.size()));
    select_sheets(names, [](const std::wstring& name) -> const std::wstring& { return name; });
    sel_queries.clear();
    for (const std::wstring& name : names)
        if (worksheets.count(name) != 0)
            sel_queries.emplace_back(name, std::wstring());
    tk_logger::log(1, "xls_reader::set_sel_sheets1 - END");
}

void xls_reader::set_sel_sheets2(const std::vector<std::pair<std::wstring, std::wstring>>& names)
{
    tk_logger::log(1, "xls_reader::set_sel_sheets2(%d)", static_cast<int>(names.size()));
    tk_logger::log(1, "Total worksheets: %d", static_cast<int>(worksheets.size()));
    // A query is no worksheet to look for: the run names it as not converted.
    std::vector<std::pair<std::wstring, std::wstring>> sheets;
    std::copy_if(names.begin(), names.end(), std::back_inserter(sheets),
                 [](const auto& pair) { return pair.second.empty(); });
    if (sheets.empty() && !names.empty())
        throw tk_exception(no_sheet_selected, 1);
    select_sheets(sheets, [](const auto& pair) -> const std::wstring& { return pair.first; });
    tk_logger::log(1, "xls_reader::set_sel_sheets2 - END");
}

bool xls_reader::select_profile_sheets()
{
    std::vector<std::wstring> all;
    if (!get_all_sheets(all))
        return false;
    if (sel_queries.empty()) {
        set_sel_sheets1(all);  // a profile that names none converts every worksheet
        return true;
    }
    const auto chosen = sel_queries;
    set_sel_sheets2(chosen);
    return true;
}
