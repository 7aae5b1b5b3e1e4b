#include "TK/tk_files.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/files/pl_files.hpp"

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace {

bool file_exist(const std::string& path, uint32_t mode)
{
    platform::file_status status;
    const bool found = platform::get_file_status(path, status);
    if (mode == tk_exist_not_folder)
        return found && !status.directory;
    if (mode == tk_exist_writable)
        return found && !status.directory && !status.read_only;
    if (!platform::create_or_truncate(path))
        throw tk_exception_ex();
    return true;
}

int access_mode(uint32_t desired_access)
{
    int mode = F_OK;
    if (desired_access & (tk_generic_read | tk_generic_all))
        mode |= R_OK;
    if (desired_access & (tk_generic_write | tk_generic_all))
        mode |= W_OK;
    if (desired_access & (tk_generic_execute | tk_generic_all))
        mode |= X_OK;
    return mode;
}

} // namespace

bool tk_is_file_exist1(const std::string& path, uint32_t mode)
{
    tk_logger::log(1, "tk_is_file_exist1(%s,%d)", path.c_str(), mode);
    return file_exist(path, mode);
}

bool tk_is_file_exist2(const std::wstring& path, uint32_t mode)
{
    tk_logger::wlog(2, L"tk_is_file_exist2(%s,%08X)", path.c_str(), mode);
    std::string narrow;
    if (!tk_unicode_to_ansi3(path.c_str(), narrow))
        return false;
    return file_exist(narrow, mode);
}

bool tk_is_path_exist(const std::string& path)
{
    tk_logger::log(1, "tk_is_path_exist(%s)", path.c_str());
    platform::file_status status;
    return platform::get_file_status(path, status) && status.directory && platform::has_access(path, X_OK);
}

bool tk_is_path_exist(const std::wstring& path)
{
    std::string narrow;
    return tk_unicode_to_ansi3(path.c_str(), narrow) && tk_is_path_exist(narrow);
}

bool tk_has_write_access(const std::string& path, uint32_t desired_access)
{
    return platform::has_access(path, access_mode(desired_access));
}

bool tk_has_write_access(const std::wstring& path, uint32_t desired_access)
{
    std::string narrow;
    return tk_unicode_to_ansi3(path.c_str(), narrow) && tk_has_write_access(narrow, desired_access);
}

bool tk_is_same_file(const std::string& a, const std::string& b)
{
    platform::file_stamp first, second;
    const bool a_exists = platform::get_file_stamp(a, first);
    const bool b_exists = platform::get_file_stamp(b, second);
    if (a_exists && b_exists)
        return first.device == second.device && first.inode == second.inode;
    std::error_code ec;
    const std::filesystem::path resolved_a = std::filesystem::weakly_canonical(std::filesystem::absolute(a, ec), ec);
    if (ec)
        return false;
    const std::filesystem::path resolved_b = std::filesystem::weakly_canonical(std::filesystem::absolute(b, ec), ec);
    return !ec && resolved_a == resolved_b;
}

bool tk_is_same_file(const std::wstring& a, const std::wstring& b)
{
    std::string narrow_a, narrow_b;
    return tk_unicode_to_ansi3(a.c_str(), narrow_a) && tk_unicode_to_ansi3(b.c_str(), narrow_b) &&
           tk_is_same_file(narrow_a, narrow_b);
}
