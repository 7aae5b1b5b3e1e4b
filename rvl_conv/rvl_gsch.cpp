// A source table's columns for the type editor, read apart from any run: the
// worksheets chosen for the run and the workbook a run holds stay as they are.
#include "rvl_conv/rvl_conv.hpp"

#include "DAO/dao_db.hpp"
#include "DAO/dao_engi.hpp"
#include "TK/tk_log.hpp"
#include "common/csv_util.hpp"

udb_schema ravelin_converter::get_schema(const std::wstring& table)
{
    tk_logger::wlog(1, L"ravelin_converter::get_schema(%s)", table.c_str());
    if (!from_xls)
        return open_csv_source()->schema;
    const std::unique_ptr<dao_engine> dao = create_dao_engine();
    if (!dao)
        throw tk_exception(dao_missing_message, 1);
    const std::unique_ptr<dao_database> workbook = open_xls(*dao, src, x_fnames);
    const auto chosen = worksheets;
    const auto unusable = unusable_sheets;
    std::vector<std::wstring> names;
    get_all_sheets2(*workbook, names);
    const auto found = worksheets.find(table);
    const std::wstring sheet = found != worksheets.end() ? found->second : std::wstring();
    worksheets = chosen;
    unusable_sheets = unusable;
    if (sheet.empty())
        throw tk_exception(L"The worksheet " + table + L" is no longer in the workbook " + src + L".", 1);
    return workbook->get_table(sheet, udb_database::mode_read_only)->schema;
}
