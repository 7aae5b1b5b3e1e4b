// The statements a workbook answers: there is no SQL engine behind the
// layer, only the two forms the reading side sends, "SELECT * FROM [name]"
// and "select count(*) from (SELECT * FROM [name])", keywords in any case,
// blanks anywhere between the parts, an optional ";" at the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::dao {

struct dao_select {
    std::wstring table;  // the name between the brackets
    bool count = false;  // the count of the rows rather than the rows
};

// 0 when sql is one of the two forms (out filled), else the engine's error
// number for the statement: 3129 when it is no SELECT, 3141 otherwise.
int32_t dao_parse_select(std::wstring_view sql, dao_select& out);
// The description of an error number of dao_parse_select.
const wchar_t* dao_select_error(int32_t number);

} // namespace platform::dao
