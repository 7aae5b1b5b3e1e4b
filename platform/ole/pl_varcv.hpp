// Conversions between the numeric types of OLE Automation. Results are
// rounded half to even; a value that does not fit the target, NaN and the
// infinities give DISP_E_OVERFLOW and leave the output untouched. Texts are
// read with a point as decimal separator by a decimal-only parser: optional
// blanks, a sign, digits with one point, an optional exponent; anything else
// is DISP_E_TYPEMISMATCH. Locale and flag arguments are accepted and ignored.
#pragma once

#include "platform/ole/pl_oletp.hpp"

#include <cstdint>
#include <string_view>

HRESULT VarI1FromDec(const DECIMAL* in, int8_t* out);
HRESULT VarUI1FromDec(const DECIMAL* in, uint8_t* out);
HRESULT VarI2FromDec(const DECIMAL* in, int16_t* out);
HRESULT VarUI2FromDec(const DECIMAL* in, uint16_t* out);
HRESULT VarI4FromDec(const DECIMAL* in, int32_t* out);
HRESULT VarUI4FromDec(const DECIMAL* in, uint32_t* out);
HRESULT VarI8FromDec(const DECIMAL* in, int64_t* out);
HRESULT VarUI8FromDec(const DECIMAL* in, uint64_t* out);
HRESULT VarR4FromDec(const DECIMAL* in, float* out);
HRESULT VarR8FromDec(const DECIMAL* in, double* out);
HRESULT VarCyFromDec(const DECIMAL* in, CY* out);

HRESULT VarI4FromCy(CY in, int32_t* out);
HRESULT VarI8FromCy(CY in, int64_t* out);
HRESULT VarR4FromCy(CY in, float* out);
HRESULT VarR8FromCy(CY in, double* out);
HRESULT VarDecFromCy(CY in, DECIMAL* out);

HRESULT VarI4FromR8(double in, int32_t* out);
HRESULT VarI8FromR4(float in, int64_t* out);
HRESULT VarI8FromR8(double in, int64_t* out);
HRESULT VarUI8FromR4(float in, uint64_t* out);
HRESULT VarUI8FromR8(double in, uint64_t* out);
HRESULT VarCyFromR8(double in, CY* out);
HRESULT VarCyFromI8(int64_t in, CY* out);
HRESULT VarDecFromI8(int64_t in, DECIMAL* out);
HRESULT VarDecFromUI8(uint64_t in, DECIMAL* out);
HRESULT VarDecFromR8(double in, DECIMAL* out);

HRESULT VarCyFromStr(const OLECHAR* text, LCID lcid, uint32_t flags, CY* out);
// Up to 29 significant digits are kept exactly; further digits are rounded.
HRESULT VarDecFromStr(const OLECHAR* text, LCID lcid, uint32_t flags, DECIMAL* out);
HRESULT VarR8FromStr(const OLECHAR* text, LCID lcid, uint32_t flags, double* out);
// The digits of the value with a point before the last scale digits, a minus
// sign when negative; a new BSTR in *out.
HRESULT VarBstrFromDec(const DECIMAL* in, LCID lcid, uint32_t flags, BSTR* out);

namespace pl_ole {

// VarR8FromStr on narrow text.
HRESULT r8_from_text(std::string_view text, double& out);

} // namespace pl_ole
