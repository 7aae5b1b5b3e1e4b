#include "SQL/sql_fkp.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_rel.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>

namespace {

char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// The first occurrence of an ASCII keyword at or after from, ignoring case.
size_t find_no_case(const std::string& text, const std::string& word, size_t from)
{
    if (from > text.size())
        return std::string::npos;
    const auto it = std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), word.begin(),
                                word.end(), [](char a, char b) { return ascii_lower(a) == ascii_lower(b); });
    return it == text.end() ? std::string::npos : static_cast<size_t>(it - text.begin());
}

size_t skip_blanks(const std::string& text, size_t pos)
{
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    return pos;
}

// The backquoted identifier that starts at pos (on its opening backquote),
// with doubled backquotes read as one; pos ends just past the closing one.
std::string read_quoted(const std::string& text, size_t& pos)
{
    std::string name;
    for (++pos; pos < text.size(); ++pos) {
        if (text[pos] != '`') {
            name += text[pos];
        } else if (pos + 1 < text.size() && text[pos + 1] == '`') {
            name += '`';
            ++pos;
        } else {
            ++pos;
            break;
        }
    }
    return name;
}

// The ")" that closes the list opened at open, parentheses inside backquoted
// names not counting; npos when the line ends first.
size_t closing_parenthesis(const std::string& text, size_t open)
{
    bool quoted = false;
    for (size_t pos = open + 1; pos < text.size(); ++pos) {
        if (text[pos] == '`')
            quoted = !quoted;
        else if (text[pos] == ')' && !quoted)
            return pos;
    }
    return std::string::npos;
}

// A table reference: `table` or `database`.`table` (bare names too); the
// table's part is the one that counts.
std::string read_table(const std::string& text, size_t& pos)
{
    std::string name;
    for (;;) {
        pos = skip_blanks(text, pos);
        if (pos < text.size() && text[pos] == '`') {
            name = read_quoted(text, pos);
        } else {
            const size_t end = text.find_first_of(" .(", pos);
            name = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
            pos = end == std::string::npos ? text.size() : end;
        }
        pos = skip_blanks(text, pos);
        if (pos >= text.size() || text[pos] != '.')
            return name;
        ++pos;
    }
}

std::wstring wide(const std::string& text)
{
    return platform::from_utf8(text);
}

} // namespace

sql_fk_parser::sql_fk_parser(const std::wstring& table_name_, const std::string& text)
    : table_name(table_name_), lines(tk_split(text, '\n'))
{
    tk_logger::wlog(1, L"sql_fk_parser::ctor(%s)", table_name.c_str());
}

void sql_fk_parser::do_parse(udb_relationships& out) const
{
    for (const std::string& line : lines)
        parse_line(line, out);
}

void sql_fk_parser::parse_line(const std::string& line, udb_relationships& out) const
{
    const std::string fk_info = tk_trim(line);
    const size_t p1 = find_no_case(fk_info, "CONSTRAINT ", 0);
    if (p1 == std::string::npos) {
        tk_logger::log(1, "CONSTRAINT is not found");
        return;
    }
    // A quoted name is read whole, so a name holding the words that follow
    // cannot cut the line short.
    size_t pos = skip_blanks(fk_info, p1 + 11);
    const bool quoted_name = pos < fk_info.size() && fk_info[pos] == '`';
    std::string name = quoted_name ? read_quoted(fk_info, pos) : std::string();
    const size_t p2 = find_no_case(fk_info, " FOREIGN KEY", pos);
    if (p2 == std::string::npos) {
        tk_logger::log(1, "FOREIGN KEY is not found");
        return;
    }
    name = tk_trim(quoted_name ? name : fk_info.substr(pos, p2 - pos));
    tk_logger::log(1, "Got FK name: %s", name.c_str());

    pos = skip_blanks(fk_info, p2 + 12);
    size_t child_end = pos;
    if (pos < fk_info.size() && fk_info[pos] == '(') {
        child_end = closing_parenthesis(fk_info, pos);
        if (child_end == std::string::npos)
            child_end = pos;
    }
    const size_t p3 = find_no_case(fk_info, "REFERENCES ", child_end);
    if (p3 == std::string::npos) {
        tk_logger::log(1, "REFERENCES is not found");
        return;
    }
    const std::string fk_columns = tk_trim(fk_info.substr(p2 + 12, p3 - p2 - 12));
    tk_logger::log(1, "Got FK columns: %s", fk_columns.c_str());

    pos = p3 + 11;
    const std::string pk_table = tk_trim(read_table(fk_info, pos));
    tk_logger::log(1, "Got PK table: %s", pk_table.c_str());
    if (pos >= fk_info.size() || fk_info[pos] != '(') {
        tk_logger::log(1, "PK columns are not found");
        return;
    }
    size_t close = closing_parenthesis(fk_info, pos);
    const size_t pk_end = close == std::string::npos ? fk_info.size() : close;
    const std::string pk_columns = tk_trim(fk_info.substr(pos + 1, pk_end - pos - 1));
    tk_logger::log(1, "Got PK columns: %s", pk_columns.c_str());

    std::string rule = pk_end < fk_info.size() ? fk_info.substr(pk_end + 1) : std::string();
    if (!rule.empty() && rule.back() == ',')
        rule.pop_back();
    rule = tk_trim(rule);
    tk_logger::log(1, "Got FK rule: %s", rule.c_str());

    std::vector<std::wstring> fk_flds;
    std::vector<std::wstring> pk_flds;
    get_columns(wide(fk_columns), fk_flds);
    get_columns(wide(pk_columns), pk_flds);
    out.push_back(udb_relationship(wide(name), std::wstring(), table_name, wide(pk_table), fk_flds, pk_flds,
                                   wide(rule)));
}

bool sql_fk_parser::get_columns(const std::wstring& text, std::vector<std::wstring>& out)
{
    bool inside = false;
    std::wstring name;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c != L'`') {
            if (inside)
                name += c;
            continue;
        }
        if (inside && i + 1 < text.size() && text[i + 1] == L'`') {
            name += c;  // a doubled backquote stands for one inside the name
            ++i;
            continue;
        }
        if (inside) {
            tk_logger::wlog(1, L"GOT FK COLUMN: %s", name.c_str());
            out.push_back(name);
            name.clear();
        }
        inside = !inside;
    }
    return true;
}
