#include "common/csv_text.hpp"

#include "platform/dao/pl_cpage.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

bool is_ascii(std::string_view text)
{
    uint64_t high = 0;  // the high bits of every byte, eight at a time
    size_t i = 0;
    for (; i + sizeof high <= text.size(); i += sizeof high) {
        uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        high |= word;
    }
    for (; i < text.size(); ++i)
        high |= static_cast<unsigned char>(text[i]);
    return (high & 0x8080808080808080u) == 0;
}

std::unique_ptr<std::array<wchar_t, 128>> high_bytes_of_1252()
{
    const platform::dao::codepage_text windows_1252(1252);
    auto table = std::make_unique<std::array<wchar_t, 128>>();
    for (int b = 0x80; b <= 0xFF; ++b) {
        const std::wstring c = platform::from_utf8(windows_1252.to_utf8(std::string(1, static_cast<char>(b))));
        (*table)[static_cast<size_t>(b - 0x80)] = c.size() == 1 ? c[0] : platform::replacement_char;
    }
    return table;
}

} // namespace

csv_decoder::csv_decoder() = default;
csv_decoder::~csv_decoder() = default;

bool csv_decoder::choose(const csv_line& line)
{
    ascii = is_ascii(line.text);
    // Field by field: the text of the fields is joined without delimiters.
    ansi = false;
    for (size_t i = 0; i < line.size() && !ansi && !ascii; ++i)
        ansi = !platform::is_utf8(line.field(i));
    if (ansi && windows_1252 == nullptr)
        windows_1252 = high_bytes_of_1252();
    return ansi;
}

void csv_decoder::decode(std::string_view field, std::wstring& out) const
{
    if (ansi) {
        out.clear();
        platform::append_wide_mixed(out, field, *windows_1252);
        return;
    }
    // Most of a CSV file is ASCII, widened straight into storage that is
    // kept from field to field.
    auto is_high = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
    const size_t plain =
        ascii ? field.size() : static_cast<size_t>(std::find_if(field.begin(), field.end(), is_high) - field.begin());
    // Assigning the chars would build a wide copy first.
    out.resize(plain);
    std::copy(field.begin(), field.begin() + static_cast<ptrdiff_t>(plain), out.begin());
    if (plain < field.size())
        platform::append_wide(out, field.substr(plain));
}
