// The MySQL column type a user chose for one field: a name of the type-name
// table ("VARCHAR", "DECIMAL"...) with its length, scale and precision.
#pragma once

#include <cstdint>
#include <string>

struct sql_native_type {
    std::wstring type;
    uint32_t length = 0;
    uint32_t scale = 0;
    uint32_t precision = 0;
};
