// The per-user settings store in place of the platform registry: one text
// file per key under ${XDG_CONFIG_HOME:-$HOME/.config}. The key path's
// backslash-separated parts become folders and the last part names the file
// ("Software\Brenvault\Tessaline" -> Brenvault/Tessaline.reg; the leading
// "Software" part is the configuration folder itself). Values are 32-bit
// numbers and texts; texts are kept as UTF-8.
//
// Every set writes the whole file through a temporary file and a rename, so
// other processes see either the old or the new content. Settings may hold a
// password in clear text: files are created 0600 and folders 0700.
//
// The calls answer status numbers with the platform registry's meanings.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using reg_key = uintptr_t;  // an open key; 0 is none
constexpr reg_key hkey_current_user = 0x80000001;

// Value types.
constexpr uint32_t reg_sz = 1;     // text
constexpr uint32_t reg_dword = 4;  // 32-bit number

// Status numbers. The registry answers them directly (not through the last
// error); a failure of the file system answers its errno value.
constexpr uint32_t reg_ok = 0;
constexpr uint32_t reg_not_found = 2;           // no such value
constexpr uint32_t reg_invalid_handle = 6;      // no such key handle or root
constexpr uint32_t reg_invalid_parameter = 87;  // an unknown value type
constexpr uint32_t reg_more_data = 234;         // the buffer is too small
constexpr uint32_t reg_unusable_store = 1009;   // the key's file is no plain file of at most reg_max_file bytes
constexpr uint32_t reg_unsupported_type = 1630; // the value is of another type

// Dispositions of reg_create_key.
constexpr uint32_t reg_created_new_key = 1;
constexpr uint32_t reg_opened_existing_key = 2;

// A key's file is read whole at each query: a larger one is not a key of
// ours.
constexpr int64_t reg_max_file = 1 << 20;

// Opens the key, creating its file (and folders) when missing. Only the
// current user's root is known. A file that is there but is no plain file
// (a folder, a device, a pipe, links followed) or is larger than
// reg_max_file answers reg_unusable_store, without reading it.
uint32_t reg_create_key(reg_key root, const std::string& path, reg_key& key, uint32_t* disposition);
// The file that holds the key, for messages and for comparing it with the
// files a program writes; empty when the path names no key.
std::string reg_key_file(reg_key root, const std::string& path);
uint32_t reg_close_key(reg_key key);

// Reads a value as the platform's query does: `type` and `size` (in bytes)
// are always answered when asked for; with a null `data` only the size is
// given; a buffer smaller than the value gets nothing and reg_more_data. A
// number is 4 bytes in host order; a text comes with its terminating zero,
// as UTF-8 here and as wchar_t units in reg_query_value_w.
uint32_t reg_query_value(reg_key key, const std::string& name, uint32_t* type, void* data, uint32_t* size);
uint32_t reg_query_value_w(reg_key key, const std::wstring& name, uint32_t* type, void* data, uint32_t* size);

// Stores a value, replacing one of the same name (names compare without
// regard to case). A number needs 4 bytes; a text ends at its first zero or
// at `size` bytes, whichever comes first.
uint32_t reg_set_value(reg_key key, const std::string& name, uint32_t type, const void* data, uint32_t size);
uint32_t reg_set_value_w(reg_key key, const std::wstring& name, uint32_t type, const void* data, uint32_t size);

} // namespace platform
