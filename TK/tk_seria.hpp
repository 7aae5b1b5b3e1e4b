// Loads or stores one named setting over a registry key, so that an owner
// describes its settings once, as a list of serialize calls, and runs the
// same list in both directions. The owner opens `key` itself before the list.
#pragma once

#include "TK/tk_regk.hpp"

#include <string>

class tk_serializer {
public:
    explicit tk_serializer(const char* path);
    virtual ~tk_serializer() = default;
    tk_serializer(const tk_serializer&) = delete;
    tk_serializer& operator=(const tk_serializer&) = delete;

    // store: write the value; false when the write fails.
    // load: read it; false when it is missing or unreadable, and then the
    // value keeps what it held (its default).
    // Every form answers false at once when no key is open.
    bool serialize(const char* name, bool& value, bool store);
    bool serialize(const char* name, uint32_t& value, bool store);
    bool serialize(const char* name, std::string& value, bool store);
    bool serialize(const wchar_t* name, std::wstring& value, bool store);

    // The file of the per-user store that holds the key.
    std::string store_file() const;

protected:
    tk_reg_key key;
    std::string path;  // the key path below the root
};
