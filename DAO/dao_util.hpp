// What every reader of the workbook side repeats around a DAO call: a failed
// call becomes the engine's error, collection items are asked for by a
// zero-based VT_UI2 index, and a costly log argument is built only when the
// line will be written.
#pragma once

#include "DAO/dao_engi.hpp"
#include "OLE/ole_var.hpp"
#include "TK/tk_log.hpp"

#include <cstdint>

inline void dao_call(HRESULT hr)
{
    if (FAILED(hr))
        throw dao_exception();
}

// An owned VARIANT filled by a DAO call.
struct dao_value {
    VARIANT v{};
    dao_value() = default;
    dao_value(const dao_value&) = delete;
    dao_value& operator=(const dao_value&) = delete;
    ~dao_value() { VariantClear(&v); }
};

inline ole_variant dao_index(uint16_t index) { return ole_variant(static_cast<unsigned short>(index)); }

