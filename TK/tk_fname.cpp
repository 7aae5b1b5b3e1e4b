#include "TK/tk_fname.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "platform/files/pl_files.hpp"
#include "platform/text/pl_utf8.hpp"

namespace {

// The program's path functions report their failures under the name of the
// helpers' file, where they were first kept.
constexpr const char utils_file[] = "tk_utils.cpp";
constexpr const char fname_file[] = "tk_fname.cpp";

platform::path_parts split(const std::string& path, int failure_line)
{
    platform::path_parts parts;
    if (!platform::split_full_path(path, parts))
        throw tk_mail_assertion(fname_file, failure_line);
    return parts;
}

} // namespace

tk_file_name::tk_file_name(const std::string& path) : tk_file_name(path.c_str()) {}

tk_file_name::tk_file_name(const char* path)
{
    tk_logger::log(1, "tk_file_name::ctor(%s)", path);
    initialize(path);
}

void tk_file_name::initialize(const char* path)
{
    if (path == nullptr)
        throw tk_mail_assertion(fname_file, 31);
    const std::string given = *path != '\0' ? std::string(path) : tk_get_module_file_name();
    platform::path_parts parts = split(given, 39);
    ext = std::move(parts.ext);
    drive = std::move(parts.drive);
    name = std::move(parts.name);
    dir = std::move(parts.dir);
}

std::string tk_file_name::get_path() const { return drive + dir; }

tk_file_wname::tk_file_wname(const std::wstring& path) : tk_file_wname(path.c_str()) {}

tk_file_wname::tk_file_wname(const wchar_t* path)
{
    tk_logger::wlog(1, L"tk_file_name::ctor(%s)", path);
    initialize(path);
}

void tk_file_wname::initialize(const wchar_t* path)
{
    tk_logger::wlog(1, L"tk_file_wname::initialize(%s)", path);
    if (path == nullptr)
        throw tk_mail_assertion(fname_file, 83);
    const bool own_file = *path == L'\0';
    const std::string given = platform::to_utf8(own_file ? tk_get_module_file_wname() : std::wstring(path));
    const platform::path_parts parts = split(given, 91);
    ext = platform::from_utf8(parts.ext);
    drive = platform::from_utf8(parts.drive);
    name = own_file ? std::wstring() : platform::from_utf8(parts.name);
    dir = platform::from_utf8(parts.dir);
}

std::wstring tk_file_wname::make_path() const
{
    const platform::path_parts parts{platform::to_utf8(drive), platform::to_utf8(dir), platform::to_utf8(name),
                                     platform::to_utf8(ext)};
    return platform::from_utf8(platform::join_path(parts));
}

std::string tk_get_module_file_name()
{
    std::string path = platform::module_file_name();
    if (path.empty())
        throw tk_mail_assertion(utils_file, 119);
    return path;
}

std::wstring tk_get_module_file_wname()
{
    const std::string path = platform::module_file_name();
    if (path.empty())
        throw tk_mail_assertion(utils_file, 132);
    return platform::from_utf8(path);
}

std::string tk_get_module_dir()
{
    const std::string dir = tk_file_name(tk_get_module_file_name()).get_path();
    if (dir.empty())
        throw tk_mail_assertion(utils_file, 119);
    return dir;
}
