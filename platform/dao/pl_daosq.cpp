#include "platform/dao/pl_daosq.hpp"

#include "platform/text/pl_case.hpp"

#include <cwctype>

namespace platform::dao {

namespace {

class sql_reader {
public:
    explicit sql_reader(std::wstring_view text) : s(text) {}

    // A keyword, not the start of a longer word.
    bool word(std::wstring_view w)
    {
        blanks();
        if (s.size() - i < w.size() || !equal_no_case(s.substr(i, w.size()), w))
            return false;
        const size_t end = i + w.size();
        if (end < s.size() && (std::iswalnum(static_cast<wint_t>(s[end])) || s[end] == L'_'))
            return false;
        i = end;
        return true;
    }
    bool symbol(wchar_t c)
    {
        blanks();
        if (i == s.size() || s[i] != c)
            return false;
        ++i;
        return true;
    }
    // "[name]" with a name that is not empty.
    bool bracketed(std::wstring& name)
    {
        if (!symbol(L'['))
            return false;
        const size_t close = s.find(L']', i);
        if (close == std::wstring_view::npos || close == i)
            return false;
        name.assign(s.substr(i, close - i));
        i = close + 1;
        return true;
    }
    bool at_end()
    {
        symbol(L';');
        blanks();
        return i == s.size();
    }

private:
    void blanks()
    {
        while (i < s.size() && std::iswspace(static_cast<wint_t>(s[i])))
            ++i;
    }

    std::wstring_view s;
    size_t i = 0;
};

// What follows "SELECT" in "SELECT * FROM [name]".
bool select_all(sql_reader& r, std::wstring& table)
{
    return r.symbol(L'*') && r.word(L"from") && r.bracketed(table);
}

} // namespace

int32_t dao_parse_select(std::wstring_view sql, dao_select& out)
{
    sql_reader r(sql);
    if (!r.word(L"select"))
        return 3129;
    sql_reader rows = r;
    if (select_all(rows, out.table) && rows.at_end()) {
        out.count = false;
        return 0;
    }
    if (r.word(L"count") && r.symbol(L'(') && r.symbol(L'*') && r.symbol(L')') && r.word(L"from") &&
        r.symbol(L'(') && r.word(L"select") && select_all(r, out.table) && r.symbol(L')') && r.at_end()) {
        out.count = true;
        return 0;
    }
    return 3141;
}

const wchar_t* dao_select_error(int32_t number)
{
    return number == 3129 ? L"The statement is not one this engine runs: it must begin with SELECT."
                          : L"The SELECT statement is not one of the forms this engine reads.";
}

} // namespace platform::dao
