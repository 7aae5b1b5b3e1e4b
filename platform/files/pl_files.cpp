#include "platform/files/pl_files.hpp"

#include "platform/syserr/pl_syserr.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

// Owns one file descriptor; closing it in the destructor is for the failure
// paths only: a successful write checks close() itself through release().
class unique_fd {
public:
    explicit unique_fd(int fd_) : fd(fd_) {}
    ~unique_fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;
    int get() const { return fd; }
    bool valid() const { return fd >= 0; }
    // Closes now and tells whether the kernel accepted the close: on some
    // file systems a write error is reported only here.
    bool close()
    {
        const int result = ::close(fd);
        fd = -1;
        return result == 0;
    }
    // Hands the descriptor over to the caller.
    int release() { return std::exchange(fd, -1); }

private:
    int fd;
};

bool fail_with_errno()
{
    set_last_error_from_errno();
    return false;
}

bool write_all(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        content.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool write_in_place(const std::string& path, std::string_view content)
{
    unique_fd fd(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (!fd.valid() || !write_all(fd.get(), content) || !fd.close())
        return fail_with_errno();
    return true;
}

} // namespace

int create_exclusive(const std::string& target, std::string_view suffix, std::string& created, mode_t mode)
{
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = target.substr(folder.size());
    long name_max = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (name_max <= 0)
        name_max = NAME_MAX;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string unique = ".~" + std::to_string(::getpid()) + "." + std::to_string(counter++);
        unique += suffix;
        size_t keep = std::min(name.size(), static_cast<size_t>(std::max<long>(name_max - long(unique.size()), 0)));
        while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
            --keep;  // not inside a UTF-8 character
        created = folder + name.substr(0, keep) + unique;
        // O_EXCL also refuses a link of that name, dangling or not.
        const int fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

int create_replacement(const std::string& path, std::string_view suffix, std::string& target, std::string& created)
{
    target = path;
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
        if (real)
            target = real.get();
    }
    struct stat old {};
    const bool replaces = ::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
    // Nobody else may open the file before it has the old one's mode.
    const int fd = create_exclusive(target, suffix, created, replaces ? 0600 : 0666);
    if (fd < 0 || !replaces)
        return fd;
    // The owner first: changing it clears set-id bits the mode then gives.
    // A process that may not give the owner gives the group if it may.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // the process's own owner and group stay
    }
    if (::fchmod(fd, old.st_mode & 07777) == 0)
        return fd;
    const int error = errno;
    ::close(fd);
    ::unlink(created.c_str());
    errno = error;
    return -1;
}

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

bool split_full_path(const std::string& path, path_parts& parts)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec).lexically_normal();
    if (ec) {
        set_last_error(static_cast<uint32_t>(ec.value()));
        return false;
    }
    const std::string text = full.string();
    const size_t slash = text.rfind('/');
    const std::filesystem::path file = text.substr(slash + 1);
    parts.drive.clear();
    parts.dir = text.substr(0, slash + 1);
    parts.name = file.stem().string();
    parts.ext = file.extension().string();
    return true;
}

std::string join_path(const path_parts& parts)
{
    std::string path = parts.drive + parts.dir;
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += parts.name;
    if (!parts.ext.empty() && parts.ext.front() != '.')
        path += '.';
    return path + parts.ext;
}

bool get_file_status(const std::string& path, file_status& status)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return fail_with_errno();
    status.directory = S_ISDIR(st.st_mode);
    status.read_only = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ||
                       ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
    return true;
}

bool has_access(const std::string& path, int mode)
{
    if (::faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) != 0)
        return fail_with_errno();
    return true;
}

bool create_or_truncate(const std::string& path)
{
    unique_fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd.valid() || !fd.close())
        return fail_with_errno();
    return true;
}

bool replace_file(const std::string& path, std::string_view content, std::optional<mode_t> mode)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return write_in_place(path, content);
    std::string target, temp_name;
    unique_fd fd(create_replacement(path, "", target, temp_name));
    if (!fd.valid())
        return fail_with_errno();
    const bool chmod_ok = !mode || ::fchmod(fd.get(), *mode) == 0;
    if (chmod_ok && write_all(fd.get(), content) && ::fsync(fd.get()) == 0 && fd.close() &&
        ::rename(temp_name.c_str(), target.c_str()) == 0)
        return true;
    set_last_error_from_errno();
    ::unlink(temp_name.c_str());
    return false;
}

bool get_file_stamp(const std::string& path, file_stamp& stamp)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return fail_with_errno();
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.regular = S_ISREG(st.st_mode);
    stamp.size = st.st_size;
    stamp.modified_ns = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

std::string temporary_folder()
{
    const char* named = std::getenv("TMPDIR");
    return named != nullptr && *named != '\0' ? named : "/tmp";
}

namespace {

// A new file of the temporary folder that only the user may read, already
// removed from the folder: it lives as long as its descriptor.
int create_unnamed_temporary()
{
    std::string name = temporary_folder() + "/ravelin-source-XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);  // created 0600
    if (fd >= 0)
        ::unlink(name.c_str());
    return fd;
}

copy_failure failed(copy_failure side)
{
    set_last_error_from_errno();
    return side;
}

// Waits until the source has bytes or its end; false when the wait was
// stopped first. A named pipe opened without blocking has no end before a
// writer came and went, so its reader waits here, not in open(). Without
// `stopped`, a signal that interrupts the wait is the user's stop (EINTR).
bool wait_for_bytes(int fd, const std::function<bool()>& stopped)
{
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, 100);
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return true;  // bytes, the end, or a failure the read reports
        if (ready < 0 && !stopped)
            return false;
        if (stopped && stopped()) {
            errno = ECANCELED;
            return false;
        }
    }
}

} // namespace

copy_failure copy_to_temporary(const std::string& source, int64_t max_line, int& copy,
                               const std::function<bool()>& stopped)
{
    // A signal that interrupts a blocked read is the user's stop: EINTR is a
    // failure here, never a reason to wait on.
    unique_fd from(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!from.valid())
        return failed(copy_failure::source);
    unique_fd to(create_unnamed_temporary());
    if (!to.valid())
        return failed(copy_failure::copy);
    std::string buffer(1 << 20, '\0');
    int64_t line = 0;  // bytes of the last line copied so far
    while (line <= max_line) {
        if (!wait_for_bytes(from.get(), stopped))
            return failed(copy_failure::source);
        const ssize_t got = ::read(from.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EAGAIN)
            continue;
        if (got < 0)
            return failed(copy_failure::source);
        if (got == 0)
            break;
        std::string_view piece(buffer.data(), static_cast<size_t>(got));
        const size_t end = piece.find_last_of("\r\n");
        if (end != std::string_view::npos) {
            line = static_cast<int64_t>(piece.size() - end - 1);
        } else {
            if (line + static_cast<int64_t>(piece.size()) > max_line)
                piece = piece.substr(0, static_cast<size_t>(max_line + 1 - line));
            line += static_cast<int64_t>(piece.size());
        }
        if (!write_all(to.get(), piece))
            return failed(copy_failure::copy);
    }
    copy = to.release();
    return copy_failure::none;
}

} // namespace platform
