#include "common/csv_wstr.hpp"

#include "platform/text/pl_case.hpp"

bool wstr_ends_with(const std::wstring& text, const std::wstring& suffix, bool case_sensitive)
{
    if (suffix.size() > text.size())
        return false;
    const std::wstring_view tail = std::wstring_view(text).substr(text.size() - suffix.size());
    return case_sensitive ? tail == suffix : platform::equal_no_case(tail, suffix);
}
