// One open key of the per-user settings store (platform/registry), owned:
// destruction closes it. Reads and writes 32-bit numbers and texts. Every
// operation answers the store's status number (0 on success).
#pragma once

#include "platform/registry/pl_reg.hpp"

#include <cstdint>

constexpr platform::reg_key tk_hkey_current_user = platform::hkey_current_user;
constexpr uint32_t tk_key_all_access = 0xF003F;

class tk_reg_key {
public:
    tk_reg_key() = default;
    ~tk_reg_key();
    tk_reg_key(const tk_reg_key&) = delete;
    tk_reg_key& operator=(const tk_reg_key&) = delete;

    // Opens the key, creating it when missing. On failure the key held so far
    // stays open; on success it is closed first and the close's status is
    // answered. The class, options, access and security arguments are taken
    // for the platform's form of the call and do not change what the store
    // does. `disposition`, when given, is written also on failure.
    uint32_t create(platform::reg_key root, const char* subkey, const char* key_class = nullptr,
                    uint32_t options = 0, uint32_t access = tk_key_all_access, const void* security = nullptr,
                    uint32_t* disposition = nullptr);
    uint32_t close();
    bool is_open() const { return key != 0; }

    // Reads a number. Only a stored number of 4 bytes is taken; any other
    // value answers platform::reg_unsupported_type and leaves `value` as it
    // was.
    uint32_t get_value(uint32_t& value, const char* name);
    // Reads a text with its terminating zero into `buffer` of *size bytes;
    // with a null buffer only *size is answered.
    uint32_t get_value(char* buffer, const char* name, uint32_t* size);
    uint32_t get_value(wchar_t* buffer, const wchar_t* name, uint32_t* size);

    uint32_t set_value(uint32_t value, const char* name);
    uint32_t set_value(const char* text, const char* name);
    uint32_t set_value(const wchar_t* text, const wchar_t* name);

private:
    platform::reg_key key = 0;
};
