#include "platform/text/pl_utf8.hpp"

#include <cstdint>
#include <cstring>

namespace platform {

namespace {

bool is_high_surrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool is_low_surrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void put_code_point(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Length of the sequence a lead byte opens, 0 for a byte that cannot lead.
int sequence_length(unsigned char b)
{
    if (b < 0x80) return 1;
    if (b >= 0xC2 && b <= 0xDF) return 2;
    if (b >= 0xE0 && b <= 0xEF) return 3;
    if (b >= 0xF0 && b <= 0xF4) return 4;
    return 0;
}

// Decodes one well-formed sequence at in[i]; on an ill-formed one returns
// U+FFFD and consumes one byte, so the next byte is looked at afresh.
uint32_t decode_one(std::string_view in, size_t& i)
{
    const auto b0 = static_cast<unsigned char>(in[i]);
    const int len = sequence_length(b0);
    if (len == 1) { ++i; return b0; }
    if (len == 0 || i + len > in.size()) { ++i; return replacement_char; }
    uint32_t c = b0 & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(in[i + k]);
        if ((b & 0xC0) != 0x80) { ++i; return replacement_char; }
        c = (c << 6) | (b & 0x3F);
    }
    static constexpr uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return replacement_char;
    }
    i += len;
    return c;
}

} // namespace

void append_utf8(std::string& out, std::wstring_view in)
{
    // ASCII, most of any text, goes in one pass into room made for it.
    const size_t at = out.size();
    out.resize(at + in.size());
    char* const to = out.data() + at;
    size_t i = 0;
    for (; i < in.size() && static_cast<uint32_t>(in[i]) < 0x80; ++i)
        to[i] = static_cast<char>(in[i]);
    out.resize(at + i);
    for (; i < in.size(); ++i) {
        auto c = static_cast<uint32_t>(in[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        if (is_high_surrogate(c) && i + 1 < in.size()
            && is_low_surrogate(static_cast<uint32_t>(in[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(in[++i]) - 0xDC00);
        } else if (is_high_surrogate(c) || is_low_surrogate(c) || c > 0x10FFFF) {
            c = replacement_char;
        }
        put_code_point(out, c);
    }
}

void append_wide(std::wstring& out, std::string_view in)
{
    out.reserve(out.size() + in.size());
    for (size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) { out += static_cast<wchar_t>(b); ++i; continue; }
        out += static_cast<wchar_t>(decode_one(in, i));
    }
}

void append_wide_mixed(std::wstring& out, std::string_view in, const std::array<wchar_t, 128>& high_bytes)
{
    out.reserve(out.size() + in.size());
    for (size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) { out += static_cast<wchar_t>(b); ++i; continue; }
        const size_t from = i;
        const uint32_t c = decode_one(in, i);
        // A U+FFFD that was written takes three bytes, a byte of no sequence one.
        out += c == replacement_char && i - from == 1 ? high_bytes[b - 0x80] : static_cast<wchar_t>(c);
    }
}

std::string to_utf8(std::wstring_view in)
{
    std::string out;
    append_utf8(out, in);
    return out;
}

std::wstring from_utf8(std::string_view in)
{
    std::wstring out;
    append_wide(out, in);
    return out;
}

bool is_utf8(std::string_view in)
{
    for (size_t i = 0; i < in.size();) {
        // ASCII, most of any text, eight bytes at a time.
        uint64_t word = 0;
        if (i + sizeof word <= in.size()) {
            std::memcpy(&word, in.data() + i, sizeof word);
            if ((word & 0x8080808080808080u) == 0) {
                i += sizeof word;
                continue;
            }
        }
        if (static_cast<unsigned char>(in[i]) < 0x80) {
            ++i;
            continue;
        }
        // A U+FFFD that was written takes three bytes, one that stands for
        // an ill-formed sequence one.
        const size_t from = i;
        if (decode_one(in, i) == replacement_char && i - from == 1)
            return false;
    }
    return true;
}

} // namespace platform
