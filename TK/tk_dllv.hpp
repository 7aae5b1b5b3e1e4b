// The version of a system library: major version in the high 16 bits, minor
// in the low 16 bits; 0 when it cannot be told. Here only the window library
// has a version, which the wizard tells (platform/mail/pl_libv.hpp); it is
// asked for by the common-controls library's name.
#pragma once

#include <cstdint>
#include <string>

uint32_t get_dll_version(const std::wstring& library);
