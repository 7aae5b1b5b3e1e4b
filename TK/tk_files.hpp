// The tests the system asks before it touches a file. They look at the file
// system only (stat and access): none changes the current directory, which
// another thread may be using to open files by relative names.
#pragma once

#include <cstdint>
#include <string>

// Modes of tk_is_file_exist1 / tk_is_file_exist2.
constexpr uint32_t tk_exist_not_folder = 16384;  // exists and is not a folder
constexpr uint32_t tk_exist_writable = 1;        // ... and is not read-only either
// Any other mode creates the file, or empties it, and answers true; a file
// that cannot be created raises a level-1 tk_exception_ex.
bool tk_is_file_exist1(const std::string& path, uint32_t mode);
bool tk_is_file_exist2(const std::wstring& path, uint32_t mode);

// True when the path is a folder the user can enter.
bool tk_is_path_exist(const std::string& path);
bool tk_is_path_exist(const std::wstring& path);

// Generic access rights, as callers ask for them.
constexpr uint32_t tk_generic_read = 0x80000000;
constexpr uint32_t tk_generic_write = 0x40000000;
constexpr uint32_t tk_generic_execute = 0x20000000;
constexpr uint32_t tk_generic_all = 0x10000000;
// True when the current user is granted every right asked for on the path.
bool tk_has_write_access(const std::string& path, uint32_t desired_access);
bool tk_has_write_access(const std::wstring& path, uint32_t desired_access);

// True when the two paths name one file: the same device and inode when both
// exist, else the same absolute path with links, "." and ".." resolved as far
// as the path exists.
bool tk_is_same_file(const std::string& a, const std::string& b);
bool tk_is_same_file(const std::wstring& a, const std::wstring& b);
