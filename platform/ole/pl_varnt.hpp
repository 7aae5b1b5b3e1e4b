// The life of a VARIANT: initialising, clearing (which frees what it owns),
// deep copying and converting between types.
#pragma once

#include "platform/ole/pl_oletp.hpp"

#include <cstdint>

// Flags of VariantChangeType.
constexpr uint16_t VARIANT_ALPHABOOL = 0x2;  // BOOL as "True"/"False" text, not "-1"/"0"

// VT_EMPTY with a zeroed union.
void VariantInit(VARIANT* var);
// Frees the string or array, releases an interface, then as VariantInit.
HRESULT VariantClear(VARIANT* var);
// Clears dest, then copies src into it: strings and arrays are duplicated,
// interfaces gain a reference.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Converts src to type vt into dest (dest may be src). On failure dest is
// unchanged. Pairs converted: the numbers, BOOL, CY, DECIMAL and DATE among
// each other (rounding half to even, DISP_E_OVERFLOW when the value does not
// fit), each of them to and from BSTR (text read by a decimal-only parser:
// "inf", "nan" and hexadecimal forms are DISP_E_TYPEMISMATCH), VT_EMPTY to
// anything (zero or empty text), VT_NULL only to itself.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t flags, VARTYPE vt);
