#include "platform/dao/pl_brec.hpp"

#include "platform/dao/pl_rderr.hpp"
#include "platform/text/pl_utf8.hpp"

#include <cstring>

namespace platform::dao {

namespace {

constexpr uint16_t continue_record = 0x003C;

uint16_t le16(std::string_view s, size_t at)
{
    return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8);
}

} // namespace

bool record_stream::next(biff_record& out)
{
    if (pos + 4 > stream.size())
        return false;
    const uint16_t size = le16(stream, pos + 2);
    if (pos + 4 + size > stream.size())
        throw format_fault("record beyond the end of its stream");
    out.type = le16(stream, pos);
    out.data = stream.substr(pos + 4, size);
    pos += 4 + size;
    return true;
}

std::vector<std::string_view> record_stream::continues()
{
    std::vector<std::string_view> out;
    biff_record r;
    for (size_t at = pos; next(r); at = pos) {
        if (r.type != continue_record) {
            pos = at;  // not ours: the next call of next() reads it again
            break;
        }
        out.push_back(r.data);
    }
    return out;
}

bool record_reader::fill()
{
    while (pos == parts[part].size()) {
        if (part + 1 == parts.size())
            return false;
        ++part;
        pos = 0;
    }
    return true;
}

std::string_view record_reader::take(size_t n)
{
    if (!fill() || parts[part].size() - pos < n)
        throw format_fault("record shorter than its content");
    const std::string_view out = parts[part].substr(pos, n);
    pos += n;
    return out;
}

uint8_t record_reader::u8() { return uint8_t(take(1)[0]); }

uint16_t record_reader::u16()
{
    const uint16_t lo = u8();
    return uint16_t(lo | u8() << 8);
}

uint32_t record_reader::u32()
{
    const uint32_t lo = u16();
    return lo | uint32_t(u16()) << 16;
}

double record_reader::f64()
{
    uint64_t bits = u32();
    bits |= uint64_t(u32()) << 32;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void record_reader::skip(size_t n)
{
    while (n > 0) {
        if (!fill())
            throw format_fault("record shorter than its content");
        const size_t step = std::min(n, parts[part].size() - pos);
        pos += step;
        n -= step;
    }
}

bool record_reader::at_end() { return !fill(); }

std::string record_reader::unicode_text(bool wide_count) { return read_unicode(wide_count, nullptr); }

std::string record_reader::unicode_text_upto_end(bool wide_count, size_t& missing)
{
    return read_unicode(wide_count, &missing);
}

std::string record_reader::byte_text(bool wide_count, const codepage_text& codepage)
{
    return read_bytes(wide_count, codepage, nullptr);
}

std::string record_reader::byte_text_upto_end(bool wide_count, const codepage_text& codepage, size_t& missing)
{
    return read_bytes(wide_count, codepage, &missing);
}

std::string record_reader::read_unicode(bool wide_count, size_t* missing)
{
    size_t left = wide_count ? u16() : u8();
    uint8_t options = u8();
    const size_t runs = options & 0x08 ? u16() : 0;
    const size_t extra = options & 0x04 ? u32() : 0;
    std::wstring units;  // UTF-16, joined into characters at the end
    units.reserve(left);
    while (left > 0) {
        if (!fill()) {
            if (missing == nullptr)
                throw format_fault("text beyond the end of its record");
            break;
        }
        if (pos == 0) {
            options = u8();  // a CONTINUE record restates the width
            continue;
        }
        const size_t width = options & 0x01 ? 2 : 1;
        const size_t n = std::min(left, (parts[part].size() - pos) / width);
        if (n == 0) {
            if (missing == nullptr)
                throw format_fault("text split inside a character");
            break;
        }
        const std::string_view chars = take(n * width);
        for (size_t i = 0; i < n; ++i)
            units += width == 1 ? wchar_t(uint8_t(chars[i]))
                                : wchar_t(uint8_t(chars[2 * i]) | uint8_t(chars[2 * i + 1]) << 8);
        left -= n;
    }
    if (missing != nullptr)
        *missing = left;
    else
        skip(runs * 4 + extra);
    std::string out;
    append_utf8(out, units);
    return out;
}

std::string record_reader::read_bytes(bool wide_count, const codepage_text& codepage, size_t* missing)
{
    const size_t n = wide_count ? u16() : u8();
    std::string bytes;
    while (bytes.size() < n) {
        if (!fill()) {
            if (missing == nullptr)
                throw format_fault("text beyond the end of its record");
            break;
        }
        bytes.append(take(std::min(n - bytes.size(), parts[part].size() - pos)));
    }
    if (missing != nullptr)
        *missing = n - bytes.size();
    return codepage.to_utf8(bytes);
}

} // namespace platform::dao
