#include "platform/registry/pl_reg.hpp"

#include "platform/files/pl_files.hpp"
#include "platform/syserr/pl_syserr.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_utf8.hpp"

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

const mode_t file_mode = 0600;
const mode_t folder_mode = 0700;

struct reg_value {
    std::string name;
    uint32_t type = reg_sz;
    uint32_t number = 0;
    std::string text;
};

// ---- where keys live --------------------------------------------------------

// ${XDG_CONFIG_HOME:-$HOME/.config}; a relative XDG_CONFIG_HOME is ignored,
// as the base-directory rules ask.
std::string config_home()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* user = ::getpwuid(::getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    return home != nullptr && home[0] != '\0' ? std::string(home) + "/.config" : std::string();
}

// The key file's path below the configuration folder; empty for a key path
// that names no key or tries to leave the folder.
std::string key_file(const std::string& key_path)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = key_path.find('\\', start);
        std::string part = key_path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "." || part == ".." || part.find('/') != std::string::npos)
            return {};
        if (!part.empty())
            parts.push_back(std::move(part));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    if (!parts.empty() && compare_no_case(std::string_view(parts.front()), std::string_view("Software")) == 0)
        parts.erase(parts.begin());
    if (parts.empty())
        return {};
    std::string file;
    for (const std::string& part : parts)
        file += part + '/';
    file.back() = '.';
    return file + "reg";
}

// Creates every missing folder on the way to `file`, each 0700.
bool make_folders(const std::string& file)
{
    for (size_t slash = file.find('/', 1); slash != std::string::npos; slash = file.find('/', slash + 1)) {
        const std::string folder = file.substr(0, slash);
        if (::mkdir(folder.c_str(), folder_mode) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

// ---- open keys --------------------------------------------------------------

std::mutex keys_mutex;
std::map<reg_key, std::string> open_keys;  // handle -> key file
reg_key next_handle = 0x1000;

bool find_key(reg_key key, std::string& file)
{
    std::lock_guard lock(keys_mutex);
    const auto it = open_keys.find(key);
    if (it == open_keys.end())
        return false;
    file = it->second;
    return true;
}

// ---- the key file -----------------------------------------------------------
// One value a line: "dword NAME=DECIMAL" or "sz NAME=TEXT". In names and
// texts a backslash, a line feed, a carriage return and an equal sign are
// written \\, \n, \r and \=, so every text survives.

std::string escape(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '=': out += "\\="; break;
        default: out += c;
        }
    }
    return out;
}

// Reads escaped text from `at` up to an unescaped `stop` (or the end); `at`
// is left on the stop character.
std::string unescape(std::string_view line, size_t& at, char stop)
{
    std::string out;
    for (; at < line.size() && line[at] != stop; ++at) {
        char c = line[at];
        if (c == '\\' && at + 1 < line.size()) {
            c = line[++at];
            c = c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        }
        out += c;
    }
    return out;
}

// A line that does not parse is skipped: the file is ours, but a damaged
// line must not cost the others.
bool parse_line(std::string_view line, reg_value& value)
{
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return false;
    const std::string_view kind = line.substr(0, blank);
    size_t at = blank + 1;
    value.name = unescape(line, at, '=');
    if (at >= line.size())
        return false;
    ++at;
    if (kind == "sz") {
        value.type = reg_sz;
        value.text = unescape(line, at, '\0');
        return true;
    }
    if (kind != "dword")
        return false;
    value.type = reg_dword;
    const std::string_view digits = line.substr(at);
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value.number);
    return ec == std::errc() && end == digits.data() + digits.size();
}

// The key's file as it stands; empty for one that cannot be read or is not
// a plain file of at most reg_max_file bytes (opened without waiting, so a
// pipe put in its place does not hang the program).
std::string read_file(const std::string& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct stat st {};
    std::string content;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= reg_max_file) {
        content.resize(static_cast<size_t>(reg_max_file) + 1);
        size_t got = 0;
        while (got < content.size()) {
            const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        content.resize(got <= static_cast<size_t>(reg_max_file) ? got : 0);
    }
    ::close(fd);
    return content;
}

std::vector<reg_value> read_values(const std::string& file)
{
    const std::string content = read_file(file);
    std::vector<reg_value> values;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        reg_value value;
        if (parse_line(std::string_view(content).substr(start, end - start), value))
            values.push_back(std::move(value));
        start = end + 1;
    }
    return values;
}

std::string format_values(const std::vector<reg_value>& values)
{
    std::string out;
    for (const reg_value& v : values) {
        if (v.type == reg_dword)
            out += "dword " + escape(v.name) + '=' + std::to_string(v.number) + '\n';
        else
            out += "sz " + escape(v.name) + '=' + escape(v.text) + '\n';
    }
    return out;
}

reg_value* find_value(std::vector<reg_value>& values, std::string_view name)
{
    for (reg_value& v : values)
        if (compare_no_case(std::string_view(v.name), name) == 0)
            return &v;
    return nullptr;
}

// Holds the key's folder locked while one process reads, changes and
// rewrites its file, so that two writers do not lose each other's values.
class folder_lock {
public:
    explicit folder_lock(const std::string& file)
        : fd(::open(file.substr(0, file.rfind('/') + 1).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (fd >= 0)
            ::flock(fd, LOCK_EX);
    }
    ~folder_lock()
    {
        if (fd >= 0)
            ::close(fd);  // releases the lock
    }
    folder_lock(const folder_lock&) = delete;
    folder_lock& operator=(const folder_lock&) = delete;

private:
    int fd;
};

// ---- the calls --------------------------------------------------------------

// The stored form of a value as the query hands it out.
std::string value_bytes(const reg_value& value, bool wide)
{
    if (value.type == reg_dword)
        return std::string(reinterpret_cast<const char*>(&value.number), sizeof value.number);
    if (!wide)
        return value.text + '\0';
    const std::wstring text = from_utf8(value.text) + L'\0';
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

uint32_t query(reg_key key, const std::string& name, bool wide, uint32_t* type, void* data, uint32_t* size)
{
    std::string file;
    if (!find_key(key, file))
        return reg_invalid_handle;
    if (data != nullptr && size == nullptr)
        return reg_invalid_parameter;
    std::vector<reg_value> values = read_values(file);
    const reg_value* value = find_value(values, name);
    if (value == nullptr)
        return reg_not_found;
    const std::string bytes = value_bytes(*value, wide);
    const uint32_t needed = static_cast<uint32_t>(bytes.size());
    if (type != nullptr)
        *type = value->type;
    if (data != nullptr && *size < needed) {
        *size = needed;
        return reg_more_data;
    }
    if (data != nullptr)
        std::memcpy(data, bytes.data(), bytes.size());
    if (size != nullptr)
        *size = needed;
    return reg_ok;
}

uint32_t store(reg_key key, reg_value value)
{
    std::string file;
    if (!find_key(key, file))
        return reg_invalid_handle;
    folder_lock lock(file);
    std::vector<reg_value> values = read_values(file);
    if (reg_value* old = find_value(values, value.name))
        *old = std::move(value);
    else
        values.push_back(std::move(value));
    return replace_file(file, format_values(values), file_mode) ? reg_ok : last_error();
}

// Builds the value to store from the caller's bytes; false for a type this
// store does not keep or a number without its 4 bytes.
bool make_value(uint32_t type, const void* data, uint32_t size, bool wide, reg_value& value)
{
    value.type = type;
    if (type == reg_dword) {
        if (data == nullptr || size < sizeof value.number)
            return false;
        std::memcpy(&value.number, data, sizeof value.number);
        return true;
    }
    if (type != reg_sz || (data == nullptr && size != 0))
        return false;
    if (wide) {
        const wchar_t* text = static_cast<const wchar_t*>(data);
        const size_t units = size / sizeof(wchar_t);
        value.text = to_utf8(std::wstring_view(text, text ? wcsnlen(text, units) : 0));
    } else {
        const char* text = static_cast<const char*>(data);
        value.text.assign(text ? text : "", text ? strnlen(text, size) : 0);
    }
    return true;
}

uint32_t set(reg_key key, std::string name, uint32_t type, const void* data, uint32_t size, bool wide)
{
    reg_value value;
    value.name = std::move(name);
    if (!make_value(type, data, size, wide, value))
        return reg_invalid_parameter;
    return store(key, std::move(value));
}

} // namespace

std::string reg_key_file(reg_key root, const std::string& path)
{
    const std::string home = config_home();
    const std::string below = key_file(path);
    if (root != hkey_current_user || home.empty() || below.empty())
        return {};
    return home + '/' + below;
}

uint32_t reg_create_key(reg_key root, const std::string& path, reg_key& key, uint32_t* disposition)
{
    if (root != hkey_current_user)
        return reg_invalid_handle;
    const std::string file = reg_key_file(root, path);
    if (file.empty())
        return reg_invalid_parameter;
    if (!make_folders(file))
        return static_cast<uint32_t>(errno);
    struct stat st {};
    const bool existed = ::stat(file.c_str(), &st) == 0;
    if (existed && (!S_ISREG(st.st_mode) || st.st_size > reg_max_file))
        return reg_unusable_store;
    if (!existed && !replace_file(file, std::string_view(), file_mode))
        return last_error();
    if (disposition != nullptr)
        *disposition = existed ? reg_opened_existing_key : reg_created_new_key;
    std::lock_guard lock(keys_mutex);
    key = next_handle++;
    open_keys.emplace(key, file);
    return reg_ok;
}

uint32_t reg_close_key(reg_key key)
{
    std::lock_guard lock(keys_mutex);
    return open_keys.erase(key) == 1 ? reg_ok : reg_invalid_handle;
}

uint32_t reg_query_value(reg_key key, const std::string& name, uint32_t* type, void* data, uint32_t* size)
{
    return query(key, name, false, type, data, size);
}

uint32_t reg_query_value_w(reg_key key, const std::wstring& name, uint32_t* type, void* data, uint32_t* size)
{
    return query(key, to_utf8(name), true, type, data, size);
}

uint32_t reg_set_value(reg_key key, const std::string& name, uint32_t type, const void* data, uint32_t size)
{
    return set(key, name, type, data, size, false);
}

uint32_t reg_set_value_w(reg_key key, const std::wstring& name, uint32_t type, const void* data, uint32_t size)
{
    return set(key, to_utf8(name), type, data, size, true);
}

} // namespace platform
