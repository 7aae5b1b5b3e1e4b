#include "DAO/dao_vvar.hpp"

#include "TK/tk_log.hpp"

namespace {

struct conversion {
    VARTYPE from;
    VARTYPE to;
    const char* log_line;
};

const conversion conversions[] = {
    {VT_I8, VT_R8, "Converting BIGINT value to double"},
    {VT_UI8, VT_R8, "Converting BIGINT value to double"},
    {VT_UI2, VT_I4, "Converting VT_UI2 value to integer"},
    {VT_UI4, VT_R8, "Converting VT_UI4 value to double"},
    {VT_I1, VT_I2, "Converting VT_I1 value to short"},
};

} // namespace

ole_variant dao_get_valid_variant(const ole_variant& value)
{
    tk_logger::log(1, "dao_get_valid_variant");
    tk_logger::log(1, "ole_variant::get_type");
    const VARTYPE type = value.get_type();
    for (const conversion& c : conversions) {
        if (c.from != type)
            continue;
        tk_logger::log(1, c.log_line);
        ole_variant result = ole_variant::from_string(value.to_string(), c.to);
        tk_logger::log(1, ">>> %s", result.to_string().c_str());
        return result;
    }
    return value;
}

bool dao_is_exact(const ole_variant& value, const ole_variant& converted)
{
    constexpr double two_63 = 9223372036854775808.0;
    const double d = converted.to_double();
    switch (value.get_type()) {
    case VT_I8: return d >= -two_63 && d < two_63 && static_cast<int64_t>(d) == value.get_i8();
    case VT_UI8: return d >= 0 && d < 2 * two_63 && static_cast<uint64_t>(d) == value.get_ui8();
    default: return true;
    }
}
