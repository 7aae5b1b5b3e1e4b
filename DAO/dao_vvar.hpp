// Values as DAO stores them. The Access engine has no column type for signed
// bytes, unsigned 16- and 32-bit integers or 64-bit integers, so such values
// are turned, through their text form, into the next wider type it has:
// VT_I1 -> VT_I2, VT_UI2 -> VT_I4, VT_UI4, VT_I8 and VT_UI8 -> VT_R8 (a 64-bit
// value beyond 2^53 keeps only a double's precision, as its column does).
#pragma once

#include "OLE/ole_var.hpp"

// A new value of a type DAO stores; a value of any other type, an empty one
// included, comes back as it is.
ole_variant dao_get_valid_variant(const ole_variant& value);
// Whether converted, the value dao_get_valid_variant gave for value, still
// holds it exactly: a 64-bit integer beyond 2^53 does not survive as a
// double. Values of other types always do.
bool dao_is_exact(const ole_variant& value, const ole_variant& converted);
