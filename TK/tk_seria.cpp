#include "TK/tk_seria.hpp"

#include <algorithm>
#include <memory>
#include <string_view>

namespace {

// Reads a text value: its size first, then the text up to its terminating
// zero, never past the bytes the store answered.
template <class Ch>
bool load_text(tk_reg_key& key, const Ch* name, std::basic_string<Ch>& value)
{
    uint32_t size = 0;
    if (key.get_value(static_cast<Ch*>(nullptr), name, &size) != platform::reg_ok || size == 0)
        return false;
    const size_t units = (size + sizeof(Ch) - 1) / sizeof(Ch);
    std::unique_ptr<Ch[]> buffer = std::make_unique<Ch[]>(units);
    if (key.get_value(buffer.get(), name, &size) != platform::reg_ok)
        return false;
    const std::basic_string_view<Ch> text(buffer.get(), std::min<size_t>(units, size / sizeof(Ch)));
    value = std::basic_string<Ch>(text.substr(0, text.find(Ch(0))));
    return true;
}

} // namespace

tk_serializer::tk_serializer(const char* path_) : path(path_ != nullptr ? path_ : "") {}

std::string tk_serializer::store_file() const { return platform::reg_key_file(tk_hkey_current_user, path); }

bool tk_serializer::serialize(const char* name, bool& value, bool store)
{
    uint32_t number = value ? 1 : 0;
    if (!serialize(name, number, store))
        return false;
    value = number != 0;
    return true;
}

bool tk_serializer::serialize(const char* name, uint32_t& value, bool store)
{
    if (!key.is_open())
        return false;
    if (store)
        return key.set_value(value, name) == platform::reg_ok;
    return key.get_value(value, name) == platform::reg_ok;
}

bool tk_serializer::serialize(const char* name, std::string& value, bool store)
{
    if (!key.is_open())
        return false;
    if (store)
        return key.set_value(value.c_str(), name) == platform::reg_ok;
    return load_text(key, name, value);
}

bool tk_serializer::serialize(const wchar_t* name, std::wstring& value, bool store)
{
    if (!key.is_open())
        return false;
    if (store)
        return key.set_value(value.c_str(), name) == platform::reg_ok;
    return load_text(key, name, value);
}
