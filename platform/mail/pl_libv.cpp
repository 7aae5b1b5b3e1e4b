#include "platform/mail/pl_libv.hpp"

#include "platform/text/pl_case.hpp"

#include <atomic>

namespace platform {

namespace {
std::atomic<window_library_version> version_query{nullptr};
}

void set_window_library_version(window_library_version query) { version_query.store(query); }

window_library_version find_window_library_version() { return version_query.load(); }

bool is_window_library(std::wstring_view name) { return equal_no_case(name, L"comctl32.dll"); }

} // namespace platform
