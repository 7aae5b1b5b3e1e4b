#include "TK/tk_regk.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"

#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr const char regk_file[] = "tk_regk.cpp";

// A null value name is the key's default value.
std::string name_or_default(const char* name) { return name != nullptr ? name : ""; }
std::wstring name_or_default(const wchar_t* name) { return name != nullptr ? name : L""; }

} // namespace

tk_reg_key::~tk_reg_key() { close(); }

uint32_t tk_reg_key::create(platform::reg_key root, const char* subkey, const char* /*key_class*/,
                            uint32_t /*options*/, uint32_t /*access*/, const void* /*security*/,
                            uint32_t* disposition)
{
    if (root == 0)
        throw tk_mail_assertion(regk_file, 64);
    platform::reg_key opened = 0;
    uint32_t ignored = 0;
    const uint32_t status =
        platform::reg_create_key(root, name_or_default(subkey), opened, disposition ? disposition : &ignored);
    if (status != platform::reg_ok)
        return status;
    const uint32_t closed = close();
    key = opened;
    return closed;
}

uint32_t tk_reg_key::close()
{
    if (key == 0)
        return platform::reg_ok;
    const uint32_t status = platform::reg_close_key(key);
    key = 0;
    return status;
}

uint32_t tk_reg_key::get_value(uint32_t& value, const char* name)
{
    if (name == nullptr)
        throw tk_mail_assertion(regk_file, 98);
    tk_logger::log(2, "tk_reg_key::get_value(ulong, %s)", name);
    uint32_t type = 0;
    uint32_t number = 0;
    uint32_t size = sizeof number;
    uint32_t status = platform::reg_query_value(key, name, &type, &number, &size);
    tk_logger::log(1, "type=%d, size=%d", type, size);
    if (status == platform::reg_ok && (type != platform::reg_dword || size != sizeof number))
        status = platform::reg_unsupported_type;
    if (status == platform::reg_ok)
        value = number;
    return status;
}

uint32_t tk_reg_key::get_value(char* buffer, const char* name, uint32_t* size)
{
    if (size == nullptr)
        throw tk_mail_assertion(regk_file, 115);
    if (name == nullptr)
        throw tk_mail_assertion(regk_file, 116);
    tk_logger::log(2, "tk_reg_key::get_value(LPSTR, %s)", name);
    uint32_t type = 0;
    const uint32_t status = platform::reg_query_value(key, name, &type, buffer, size);
    tk_logger::log(1, "type=%d, size=%d", type, *size);
    return status;
}

uint32_t tk_reg_key::get_value(wchar_t* buffer, const wchar_t* name, uint32_t* size)
{
    if (size == nullptr)
        throw tk_mail_assertion(regk_file, 132);
    if (name == nullptr)
        throw tk_mail_assertion(regk_file, 133);
    tk_logger::wlog(2, L"tk_reg_key::get_value(LPWSTR, %s)", name);
    return platform::reg_query_value_w(key, name, nullptr, buffer, size);
}

uint32_t tk_reg_key::set_value(uint32_t value, const char* name)
{
    if (key == 0)
        throw tk_mail_assertion(regk_file, 149);
    return platform::reg_set_value(key, name_or_default(name), platform::reg_dword, &value, sizeof value);
}

uint32_t tk_reg_key::set_value(const char* text, const char* name)
{
    if (text == nullptr)
        throw tk_mail_assertion(regk_file, 156);
    if (key == 0)
        throw tk_mail_assertion(regk_file, 157);
    const uint32_t size = static_cast<uint32_t>(std::strlen(text) + 1);
    return platform::reg_set_value(key, name_or_default(name), platform::reg_sz, text, size);
}

uint32_t tk_reg_key::set_value(const wchar_t* text, const wchar_t* name)
{
    if (text == nullptr)
        throw tk_mail_assertion(regk_file, 164);
    if (key == 0)
        throw tk_mail_assertion(regk_file, 165);
    const uint32_t size = static_cast<uint32_t>((std::wcslen(text) + 1) * sizeof(wchar_t));
    return platform::reg_set_value_w(key, name_or_default(name), platform::reg_sz, text, size);
}
