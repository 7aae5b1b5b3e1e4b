#include "UDB/udb_sch.hpp"

#include "TK/tk_log.hpp"
#include "platform/text/pl_case.hpp"

udb_schema::udb_schema(bool flag_) : flag(flag_)
{
    tk_logger::log(1, "udb_schema::ctor");
}

udb_schema::~udb_schema()
{
    tk_logger::log(1, "udb_schema::dtor");
    clear();
    tk_logger::log(1, "udb_schema::dtor - at the end");
}

const std::shared_ptr<t_ftd>* udb_schema::find(const std::wstring& name) const
{
    for (const auto& column : *this) {
        if (column != nullptr && platform::equal_no_case(column->name, name))
            return &column;
    }
    return nullptr;
}

std::shared_ptr<t_ftd> udb_schema::make_empty()
{
    return std::make_shared<t_ftd>(0, std::wstring(), VT_EMPTY, false, false, ole_variant(), 0, std::wstring());
}

bool udb_schema::find_field(const std::wstring& name) const
{
    tk_logger::wlog(1, L"udb_schema::find_field(%s)", name.c_str());
    tk_logger::log(1, "Schema size=%d", static_cast<int>(size()));
    for (size_t i = 0; i < size(); ++i) {
        const t_ftd* column = (*this)[i].get();
        if (column == nullptr)
            continue;
        tk_logger::log(1, "Iterating field #%d", static_cast<int>(i));
        tk_logger::wlog(1, L"Compare with field: '%s'", column->name.c_str());
        if (platform::equal_no_case(column->name, name)) {
            tk_logger::log(1, "Field found!!!");
            return true;
        }
    }
    tk_logger::log(1, "Field NOT found!!!");
    return false;
}

const t_ftd& udb_schema::get_field1(const std::wstring& name) const
{
    tk_logger::wlog(1, L"udb_schema::get_field1(%s)", name.c_str());
    if (const auto* column = find(name))
        return **column;
    tk_logger::wlog(2, L"Field '%s' not found", name.c_str());
    static const std::shared_ptr<const t_ftd> missing = make_empty();
    return *missing;
}

std::shared_ptr<t_ftd> udb_schema::get_field2(const std::wstring& name) const
{
    tk_logger::wlog(1, L"udb_schema::get_field2(%s)", name.c_str());
    if (const auto* column = find(name))
        return *column;
    tk_logger::wlog(2, L"Field '%s' not found", name.c_str());
    return make_empty();
}

uint32_t udb_schema::get_field_size(const std::wstring& name) const
{
    tk_logger::wlog(1, L"udb_schema::get_field_size(%s)", name.c_str());
    if (const auto* column = find(name))
        return (*column)->size;
    tk_logger::wlog(3, L"Field '%s' not found", name.c_str());
    return 0xFFFFFFFF;
}

VARTYPE udb_schema::get_field_type(const std::wstring& name) const
{
    tk_logger::wlog(1, L"udb_schema::get_field_type(%s)", name.c_str());
    if (const auto* column = find(name))
        return (*column)->vartype;
    tk_logger::wlog(2, L"Field '%s' not found", name.c_str());
    return VT_NULL;
}
