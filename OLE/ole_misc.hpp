// Small helpers of the value types.
#pragma once

#include "platform/ole/pl_oletp.hpp"
#include "platform/ole/pl_unkn.hpp"

#include <cstdint>

// The reference count an object had before the call (AddRef then Release).
// A null pointer is an internal error.
uint32_t ole_get_ref_count(IUnknown* object);
// The types whose SQL text is a quoted string: VT_DATE and VT_BSTR.
bool ole_is_date_or_string_type(VARTYPE vt);
