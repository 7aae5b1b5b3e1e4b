// UTF-8 <-> wide text. Narrow "ANSI" text is UTF-8 on this platform and wide
// text holds one code point per wchar_t. Nothing is refused: invalid UTF-8,
// lone surrogates and values beyond U+10FFFF each become U+FFFD. A wide text
// that carries UTF-16 surrogate pairs is read as the characters they encode.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace platform {

constexpr wchar_t replacement_char = 0xFFFD;

void append_utf8(std::string& out, std::wstring_view in);
void append_wide(std::wstring& out, std::string_view in);

std::string to_utf8(std::wstring_view in);
std::wstring from_utf8(std::string_view in);

// True when every byte belongs to a well-formed UTF-8 sequence.
bool is_utf8(std::string_view in);

// Text that is UTF-8 but for some bytes of a single-byte code page: each
// well-formed sequence is its character, and each byte of 0x80 or above that
// belongs to none is the character `high_bytes` gives it (at b - 0x80).
void append_wide_mixed(std::wstring& out, std::string_view in, const std::array<wchar_t, 128>& high_bytes);

} // namespace platform
