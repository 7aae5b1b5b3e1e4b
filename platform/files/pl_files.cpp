#include "platform/files/pl_files.hpp"

#include "platform/syserr/pl_syserr.hpp"

#include <filesystem>
#include <system_error>

namespace platform {

std::string module_file_name()
{
    std::error_code ec;
    auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) {
        set_last_error(static_cast<uint32_t>(ec.value()));
        return {};
    }
    return path.string();
}

} // namespace platform
