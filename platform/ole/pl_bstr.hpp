// Length-prefixed wide strings. A BSTR points at its first character; its
// byte count is stored just before it and a zero character follows it, so it
// also reads as a zero-terminated text up to its first embedded zero.
#pragma once

#include "platform/ole/pl_oletp.hpp"

#include <cstdint>
#include <string_view>

// A copy of a zero-terminated text; null for a null text or when memory runs out.
BSTR SysAllocString(const OLECHAR* text);
// length characters from text (embedded zeros kept); a null text gives
// length zero characters. Null when memory runs out.
BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length);
// Makes *text a copy of length characters from `from` (which may lie inside
// *text), reusing *text's block when the copy fits in it. A null `from`
// leaves the characters for the caller to write, as on Windows. Nonzero on
// success; on failure *text is left as it was.
int SysReAllocStringLen(BSTR* text, const OLECHAR* from, uint32_t length);
// Null is accepted.
void SysFreeString(BSTR text);
// Characters; 0 for null.
uint32_t SysStringLen(BSTR text);
// Bytes; 0 for null.
uint32_t SysStringByteLen(BSTR text);

// The whole string, embedded zeros included; empty for null.
inline std::wstring_view bstr_view(BSTR text)
{
    return text == nullptr ? std::wstring_view() : std::wstring_view(text, SysStringLen(text));
}
