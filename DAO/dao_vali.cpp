#include "DAO/dao_vali.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_idx.hpp"
#include "UDB/udb_sch.hpp"

#include <iterator>

namespace {

// The characters Access uses to quote and qualify names.
const wchar_t refused_chars[] = {L'`', L'!', L'[', L']', L'.', L'/', L'\''};

} // namespace

dao_validator::dao_validator() : udb_validator(0)
{
    tk_logger::log(1, "dao_validator::ctor");
    illegal_chars.assign(std::begin(refused_chars), std::end(refused_chars));
}

bool dao_validator::is_acceptable(const std::wstring& name) const
{
    tk_logger::wlog(2, L"dao_validator::is_acceptable(%s)", name.c_str());
    if (name.empty() || name.front() == L' ' || name.back() == L' ')
        return false;
    return udb_validator::is_acceptable(name);
}

std::wstring dao_validator::get_safe_name(const std::wstring& name)
{
    tk_logger::wlog(2, L"dao_validator::get_safe_name(%s)", name.c_str());
    std::wstring text = name;
    tk_wstring::replace_all(text, L"[", L"");
    tk_wstring::replace_all(text, L"]", L"");
    return udb_validator::get_safe_name(tk_wtrim(text));
}

dao_fn_validator::dao_fn_validator(const udb_schema& source)
{
    tk_logger::log(1, "dao_fn_validator::ctor");
    for (const auto& column : source)
        add_existing_name(column->name);
}

dao_in_validator::dao_in_validator(const udb_indexes& source)
{
    tk_logger::log(1, "dao_in_validator::ctor");
    illegal_chars.push_back(L':');
    for (const udb_index& index : source)
        add_existing_name(index.name);
}
