#include "common/csv_splt.hpp"

bool csv_splitter::delimiter_at(size_t at) const
{
    return !delimiter.empty() && line[at] == delimiter[0]
           && (delimiter.size() == 1 || line.compare(at, delimiter.size(), delimiter) == 0);
}

bool csv_splitter::next(std::wstring& token)
{
    if (done)
        return false;
    token.clear();
    bool quoted = false;
    while (pos < line.size()) {
        // Plain characters are copied as one run up to the next quote or
        // possible delimiter.
        size_t run = pos;
        const wchar_t stop = delimiter.empty() ? L'"' : delimiter[0];
        while (run < line.size() && line[run] != L'"' && (quoted || line[run] != stop))
            ++run;
        token.append(line.data() + pos, run - pos);
        pos = run;
        if (pos == line.size())
            break;
        if (line[pos] == L'"') {
            if (quoted && pos + 1 < line.size() && line[pos + 1] == L'"') {
                token += L'"';
                pos += 2;
            } else {
                quoted = !quoted;
                ++pos;
            }
        } else if (delimiter_at(pos)) {
            pos += delimiter.size();
            return true;
        } else {
            token += line[pos++];
        }
    }
    done = true;
    return true;
}
