// The tables a run will write, known before it starts: the pages ask about
// an existing table by the name the run writes, and the finish page names
// what was made.
#include "rvl_conv/rvl_conv.hpp"

#include "UDB/udb_vali.hpp"

std::vector<std::pair<std::wstring, std::wstring>> ravelin_converter::sheet_dest_tables() const
{
    std::vector<std::wstring> sheet_tables;
    for (const auto& entry : worksheets)
        sheet_tables.push_back(entry.first);
    // The run's own rule (plan_sheet): a name the server cannot take, or one
    // an earlier worksheet's table took, is made safe and unique.
    const std::unique_ptr<udb_validator> validator = engine.create_tn_validator(sel_tables, sheet_tables);
    std::vector<std::pair<std::wstring, std::wstring>> tables;
    for (const auto& entry : worksheets) {
        std::wstring name = destination_name(entry.first);
        if (!validator->is_acceptable(name)) {
            name = validator->get_safe_name(name);
            validator->add_existing_name(name);
        }
        validator->restricted_names.push_back(name);
        tables.emplace_back(entry.first, name);
    }
    return tables;
}
