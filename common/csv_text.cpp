#include "common/csv_text.hpp"

#include "platform/dao/pl_cpage.hpp"
#include "platform/text/pl_utf8.hpp"

csv_decoder::csv_decoder() = default;
csv_decoder::~csv_decoder() = default;

bool csv_decoder::choose(const csv_line& line)
{
    // Field by field: the text of the fields is joined without delimiters.
    ansi = false;
    for (size_t i = 0; i < line.size() && !ansi; ++i)
        ansi = !platform::is_utf8(line.field(i));
    if (ansi && windows_1252 == nullptr)
        windows_1252 = std::make_unique<platform::dao::codepage_text>(1252);
    return ansi;
}

void csv_decoder::decode(std::string_view field, std::wstring& out) const
{
    if (ansi) {
        out = platform::from_utf8(windows_1252->to_utf8(field));
        return;
    }
    // Most of a CSV file is ASCII, copied byte by byte into storage that is
    // kept from field to field.
    out.resize(field.size());
    size_t i = 0;
    for (; i < field.size() && static_cast<unsigned char>(field[i]) < 0x80; ++i)
        out[i] = static_cast<unsigned char>(field[i]);
    out.resize(i);
    if (i < field.size())
        platform::append_wide(out, field.substr(i));
}
