#include "UDB/udb_ftd.hpp"

#include "TK/tk_log.hpp"
#include "UDB/udb_fld.hpp"

t_ftd::t_ftd(const udb_field& field, const ole_variant& default_value_, uint32_t reserved_)
    : size(field.get_size()), name(field.name), vartype(field.get_type()), b_auto_increment(field.auto_increment),
      b_not_null(field.not_null), default_value(default_value_), reserved(reserved_)
{
    tk_logger::log(1, "t_ftd::ctor1");
    log_members();
}

t_ftd::t_ftd(uint32_t size_, const std::wstring& name_, VARTYPE vartype_, bool b_not_null_, bool b_auto_increment_,
             const ole_variant& default_value_, uint32_t reserved_, const std::wstring& native_type_)
    : size(size_), name(name_), vartype(vartype_), native_type(native_type_), b_auto_increment(b_auto_increment_),
      b_not_null(b_not_null_), default_value(default_value_), reserved(reserved_)
{
    tk_logger::log(1, "t_ftd::ctor2");
    log_members();
}

void t_ftd::log_members() const
{
    tk_logger::wlog(1, L"\tfield name='%s', vartype=%d, size=%d, b_not_null=%d, reserved=%d", name.c_str(), vartype,
                    size, static_cast<int>(b_not_null), reserved);
}
