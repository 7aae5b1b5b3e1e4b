// printf-style formatting with the platform's rules, which every log format of
// the system was written for: in a narrow format %s takes narrow text and %S
// wide text; in a wide format %s takes wide text and %S narrow text (%c and %C
// likewise for characters; %hs, %ls and %ws name the width outright). The size
// of an integer comes from the directive: none, h, hh and l read 32 bits or
// fewer, ll, I64, j, z, t and I read 64 bits. Text arguments are converted
// between UTF-8 and wide as the output needs; numbers always print with a
// point, whatever the C locale.
//
// Arguments are typed: a std::string or std::wstring where .c_str() was meant
// does not compile.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>

namespace platform {

class fmt_arg {
public:
    enum class kind : uint8_t { signed_int, unsigned_int, floating, narrow, wide, pointer };

    template <std::signed_integral T>
    fmt_arg(T v) : kind_(kind::signed_int), i_(v) {}
    template <std::unsigned_integral T>
    fmt_arg(T v) : kind_(kind::unsigned_int), u_(v) {}
    template <std::floating_point T>
    fmt_arg(T v) : kind_(kind::floating), d_(static_cast<double>(v)) {}
    template <class E> requires std::is_enum_v<E>
    fmt_arg(E v) : fmt_arg(static_cast<std::underlying_type_t<E>>(v)) {}

    template <class C> requires std::same_as<std::remove_cv_t<C>, char>
    fmt_arg(C* s) : kind_(kind::narrow), s_(s) {}
    template <class C> requires std::same_as<std::remove_cv_t<C>, wchar_t>
    fmt_arg(C* s) : kind_(kind::wide), ws_(s) {}
    template <class T>
    fmt_arg(T* p) : kind_(kind::pointer), p_(p) {}
    fmt_arg(std::nullptr_t) : kind_(kind::pointer), p_(nullptr) {}

    kind type() const { return kind_; }
    int64_t as_signed() const;
    uint64_t as_unsigned() const;
    double as_double() const;
    const char* narrow() const { return kind_ == kind::narrow ? s_ : nullptr; }
    const wchar_t* wide() const { return kind_ == kind::wide ? ws_ : nullptr; }

private:
    kind kind_;
    union {
        int64_t i_;
        uint64_t u_;
        double d_;
        const char* s_;
        const wchar_t* ws_;
        const void* p_;
    };
};

std::string vformat(const char* format, std::span<const fmt_arg> args);
std::wstring vformat(const wchar_t* format, std::span<const fmt_arg> args);

// A number as a sheet shows it in General format, how a number goes into a
// text column: an integer up to 2^53 with all its digits, any other double
// rounded to 15 significant digits (1.1*1.1 is 1.21, not the binary noise of
// its 17), in plain decimal form where "%g" writes one (an exponent from
// 1e15 on, below 1e-4); a float with the fewest digits that read back as it.
std::string general_number(double value);
std::string general_number(float value);

template <class... A>
std::string format(const char* fmt, const A&... args)
{
    const fmt_arg list[] = {fmt_arg(args)..., fmt_arg(0)};
    return vformat(fmt, std::span<const fmt_arg>(list, sizeof...(A)));
}

template <class... A>
std::wstring format(const wchar_t* fmt, const A&... args)
{
    const fmt_arg list[] = {fmt_arg(args)..., fmt_arg(0)};
    return vformat(fmt, std::span<const fmt_arg>(list, sizeof...(A)));
}

} // namespace platform
