#include "platform/text/pl_format.hpp"

#include "platform/text/pl_utf8.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace platform {

int64_t fmt_arg::as_signed() const
{
    switch (kind_) {
    case kind::signed_int: return i_;
    case kind::unsigned_int: return static_cast<int64_t>(u_);
    case kind::floating:
        // Clamp first: converting NaN or an out-of-range double is undefined.
        if (std::isnan(d_)) return 0;
        if (d_ >= 9.2233720368547758e18) return std::numeric_limits<int64_t>::max();
        if (d_ <= -9.2233720368547758e18) return std::numeric_limits<int64_t>::min();
        return static_cast<int64_t>(d_);
    default: return static_cast<int64_t>(reinterpret_cast<uintptr_t>(p_));
    }
}

uint64_t fmt_arg::as_unsigned() const
{
    return static_cast<uint64_t>(as_signed());
}

double fmt_arg::as_double() const
{
    switch (kind_) {
    case kind::floating: return d_;
    case kind::unsigned_int: return static_cast<double>(u_);
    default: return static_cast<double>(as_signed());
    }
}

namespace {

enum class length { none, hh, h, l, ll, big_l, w, i32, i64 };

struct directive {
    std::string flags;
    int width = 0;
    int precision = -1;
    length len = length::none;
    char conv = 0;
};

// One directive's text for snprintf, with the given C length modifier.
std::string c_directive(const directive& d, const char* c_length)
{
    std::string s = "%" + d.flags;
    if (d.width > 0) s += std::to_string(d.width);
    if (d.precision >= 0) {
        s += '.';
        s += std::to_string(d.precision);
    }
    s += c_length;
    s += d.conv;
    return s;
}

template <class V>
std::string c_print(const std::string& spec, V value)
{
    char small[64];
    const int n = std::snprintf(small, sizeof small, spec.c_str(), value);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string big(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(big.data(), big.size(), spec.c_str(), value);
    big.resize(static_cast<size_t>(n));
    return big;
}

bool is_64(length len) { return len == length::ll || len == length::i64; }

std::string print_signed(const directive& d, int64_t v)
{
    switch (d.len) {
    case length::hh: v = static_cast<int8_t>(v); break;
    case length::h: v = static_cast<int16_t>(v); break;
    default: if (!is_64(d.len)) v = static_cast<int32_t>(v); break;
    }
    return c_print(c_directive(d, "ll"), static_cast<long long>(v));
}

std::string print_unsigned(const directive& d, uint64_t v)
{
    switch (d.len) {
    case length::hh: v = static_cast<uint8_t>(v); break;
    case length::h: v = static_cast<uint16_t>(v); break;
    default: if (!is_64(d.len)) v = static_cast<uint32_t>(v); break;
    }
    return c_print(c_directive(d, "ll"), static_cast<unsigned long long>(v));
}

// Text appended in the output's own width.
void put(std::string& out, std::string_view utf8) { out += utf8; }
void put(std::string& out, std::wstring_view wide) { append_utf8(out, wide); }
void put(std::wstring& out, std::string_view utf8) { append_wide(out, utf8); }
void put(std::wstring& out, std::wstring_view wide) { out += wide; }

// Cuts UTF-8 text to n characters without splitting one.
void cut(std::string& s, size_t n)
{
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) continue;
        if (chars++ == n) { s.resize(i); return; }
    }
}
void cut(std::wstring& s, size_t n) { if (s.size() > n) s.resize(n); }

template <class Ch>
class formatter {
public:
    using string = std::basic_string<Ch>;

    formatter(std::span<const fmt_arg> args) : args_(args) {}

    string run(const Ch* p)
    {
        if (p == nullptr) return out_;
        while (*p) {
            if (*p != Ch('%')) { out_ += *p++; continue; }
            const Ch* start = p++;
            if (*p == Ch('%')) { out_ += *p++; continue; }
            directive d;
            p = parse(p, d);
            if (d.conv == 0) {  // unknown or cut-off directive: keep its text
                out_.append(start, p);
                continue;
            }
            emit(d);
        }
        return out_;
    }

private:
    static bool ascii(Ch c, const char* set) { return c > 0 && c < 128 && std::strchr(set, static_cast<char>(c)); }
    static bool digit(Ch c) { return c >= Ch('0') && c <= Ch('9'); }

    const fmt_arg* take() { return next_ < args_.size() ? &args_[next_++] : nullptr; }

    int number(const Ch*& p)
    {
        if (*p == Ch('*')) {
            ++p;
            const fmt_arg* a = take();
            return a ? static_cast<int>(a->as_signed()) : 0;
        }
        int n = 0;
        while (digit(*p) && n < 100000) n = n * 10 + (*p++ - Ch('0'));
        return n;
    }

    static bool starts(const Ch* p, const char* s)
    {
        for (; *s; ++p, ++s) if (*p != Ch(*s)) return false;
        return true;
    }

    const Ch* parse(const Ch* p, directive& d)
    {
        while (ascii(*p, "-+ 0#")) d.flags += static_cast<char>(*p++);
        d.width = number(p);
        if (d.width < 0) { d.flags += '-'; d.width = -d.width; }
        if (*p == Ch('.')) { ++p; d.precision = number(p); }
        if (starts(p, "hh")) { d.len = length::hh; p += 2; }
        else if (starts(p, "ll")) { d.len = length::ll; p += 2; }
        else if (starts(p, "I64")) { d.len = length::i64; p += 3; }
        else if (starts(p, "I32")) { d.len = length::i32; p += 3; }
        else if (ascii(*p, "IjztLq")) { d.len = *p == Ch('L') ? length::big_l : length::i64; ++p; }
        else if (*p == Ch('h')) { d.len = length::h; ++p; }
        else if (*p == Ch('l')) { d.len = length::l; ++p; }
        else if (*p == Ch('w')) { d.len = length::w; ++p; }
        if (ascii(*p, "diuoxXeEfFgGaAcCsSpn")) d.conv = static_cast<char>(*p++);
        return p;
    }

    // Narrow is this output's own width for c and s, the other width for C and S;
    // h forces narrow, l and w force wide.
    bool wide_directive(const directive& d) const
    {
        if (d.len == length::h) return false;
        if (d.len == length::l || d.len == length::w) return true;
        const bool own = d.conv == 'c' || d.conv == 's';
        return own == (sizeof(Ch) == sizeof(wchar_t));
    }

    void pad(string text, const directive& d)
    {
        const size_t width = static_cast<size_t>(d.width);
        size_t size = text.size();
        if constexpr (sizeof(Ch) == 1) {
            size = 0;
            for (char c : text) size += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }
        const bool left = d.flags.find('-') != std::string::npos;
        if (!left && size < width) out_.append(width - size, Ch(' '));
        out_ += text;
        if (left && size < width) out_.append(width - size, Ch(' '));
    }

    void emit_text(const fmt_arg* a, const directive& d)
    {
        string text;
        if (a && a->narrow()) put(text, std::string_view(a->narrow()));
        else if (a && a->wide()) put(text, std::wstring_view(a->wide()));
        else put(text, std::string_view("(null)"));
        if (d.precision >= 0) cut(text, static_cast<size_t>(d.precision));
        pad(std::move(text), d);
    }

    void emit_char(const fmt_arg* a, const directive& d)
    {
        const uint64_t v = a ? a->as_unsigned() : 0;
        string text;
        if (wide_directive(d)) {
            const wchar_t c = static_cast<wchar_t>(v & 0xFFFFFFFF);
            put(text, std::wstring_view(&c, 1));
        } else {
            const char c = static_cast<char>(v & 0xFF);
            if constexpr (sizeof(Ch) == 1) text += c;
            else text += static_cast<unsigned char>(c) < 0x80 ? Ch(c) : Ch(replacement_char);
        }
        pad(std::move(text), d);
    }

    void emit(directive& d)
    {
        const fmt_arg* a = take();
        std::string number;
        switch (d.conv) {
        case 's': case 'S': emit_text(a, d); return;
        case 'c': case 'C': emit_char(a, d); return;
        case 'n': return;  // never writes through an argument
        case 'd': case 'i': number = print_signed(d, a ? a->as_signed() : 0); break;
        case 'u': case 'o': case 'x': case 'X': number = print_unsigned(d, a ? a->as_unsigned() : 0); break;
        case 'p':
            d.conv = 'X';
            d.precision = 16;
            d.len = length::i64;
            number = print_unsigned(d, a ? a->as_unsigned() : 0);
            break;
        default: number = c_print(c_directive(d, ""), a ? a->as_double() : 0.0); break;
        }
        put(out_, std::string_view(number));
    }

    std::span<const fmt_arg> args_;
    size_t next_ = 0;
    string out_;
};

} // namespace

std::string vformat(const char* format, std::span<const fmt_arg> args)
{
    return formatter<char>(args).run(format);
}

std::wstring vformat(const wchar_t* format, std::span<const fmt_arg> args)
{
    return formatter<wchar_t>(args).run(format);
}

namespace {

constexpr double exact_integers = 9007199254740992.0;  // 2^53: every integer up to it is a double

// "%.*g" with that many significant digits.
template <class T>
char* print_g(char* first, char* last, T value, int digits)
{
    return std::to_chars(first, last, value, std::chars_format::general, digits).ptr;
}

} // namespace

std::string general_number(double value)
{
    char buffer[48];
    char* const end = buffer + sizeof buffer;
    if (!std::isfinite(value))
        return std::string(buffer, std::to_chars(buffer, end, value).ptr);
    if (std::fabs(value) <= exact_integers && value == std::trunc(value))
        return std::string(buffer, std::to_chars(buffer, end, static_cast<int64_t>(value)).ptr);
    return std::string(buffer, print_g(buffer, end, value, std::numeric_limits<double>::digits10));
}

// A float has no 15 digits of its own: the fewest that read back as it, from
// the 6 it always keeps.
std::string general_number(float value)
{
    char buffer[48];
    char* const end = buffer + sizeof buffer;
    if (!std::isfinite(value))
        return std::string(buffer, std::to_chars(buffer, end, value).ptr);
    for (int digits = std::numeric_limits<float>::digits10;; ++digits) {
        char* const last = print_g(buffer, end, value, digits);
        float back{};
        std::from_chars(buffer, last, back);
        if (back == value || digits >= std::numeric_limits<float>::max_digits10)
            return std::string(buffer, last);
    }
}

} // namespace platform
