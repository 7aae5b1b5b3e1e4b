#include "UDB/udb_fld.hpp"

#include "TK/tk_log.hpp"
#include "platform/ole/pl_bstr.hpp"
#include "platform/ole/pl_safar.hpp"

udb_field::udb_field()
{
    tk_logger::log(1, "udb_field::empty ctor");
}

udb_field::udb_field(const udb_field& that)
    : ole_variant(that), size(that.size), name(that.name), not_null(that.not_null), auto_increment(that.auto_increment)
{
    tk_logger::log(1, "udb_field::copy ctor");
}

udb_field::udb_field(const std::wstring& name_, uint32_t size_, const ole_variant& value, bool not_null_,
                     bool auto_increment_)
    : ole_variant(value), size(size_), name(name_), not_null(not_null_), auto_increment(auto_increment_)
{
    tk_logger::log(1, "udb_field::ctor #2");
    tk_logger::wlog(1, L"name=%s, size=%d", name.c_str(), size);
}

VARTYPE udb_field::get_type() const
{
    tk_logger::log(1, "ole_variant::get_type");
    return ole_variant::get_type();
}

uint32_t udb_field::get_size() const
{
    const VARTYPE own = ole_variant::get_type();
    if (own == VT_BSTR)
        return SysStringLen(var.bstrVal);  // a value held: every back end types it as it is
    if ((own == ole_vt_bytes || own == VT_BLOB || own == VT_SAFEARRAY) && var.parray != nullptr
        && SafeArrayGetDim(var.parray) == 1)
        return ole_variant::get_safe_array_size(var.parray);
    if (get_type() == VT_BSTR)
        return SysStringLen(var.bstrVal);
    return size;
}

bool udb_field::get_utf8(std::string_view&) const
{
    return false;
}
