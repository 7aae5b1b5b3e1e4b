#include "SQL/dmp_out.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Large enough that rows reach the disk in few system calls.
constexpr size_t buffer_size = 1 << 20;
}

dmp_out::dmp_out(int fd_, std::function<bool()> stopped_) : fd(fd_), stopped(std::move(stopped_))
{
    if (fd < 0) {
        first_error = errno != 0 ? errno : EIO;
        return;
    }
    struct stat status{};
    if (::fstat(fd, &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode))) {
        const int flags = ::fcntl(fd, F_GETFL);
        may_wait = flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
    }
    filling.reserve(buffer_size * 2);
    writing.reserve(buffer_size * 2);
    writer = std::thread([this] { writer_loop(); });
}

dmp_out::~dmp_out() { close(); }

void dmp_out::fail(int number)
{
    int none = 0;
    first_error.compare_exchange_strong(none, number != 0 ? number : EIO);
}

void dmp_out::write(std::string_view bytes)
{
    if (fd < 0 || bytes.empty())
        return;
    total += bytes.size();
    filling.append(bytes);
    if (filling.size() >= buffer_size)
        hand_over();
}

// Gives the gathered bytes to the writer once it is done with the last ones.
void dmp_out::hand_over()
{
    std::unique_lock<std::mutex> held(lock);
    changed.wait(held, [this] { return !pending; });
    std::swap(filling, writing);
    std::swap(filling_marks, writing_marks);
    pending = true;
    held.unlock();
    changed.notify_all();
    filling.clear();
    filling_marks.clear();
}

void dmp_out::write_all(const std::string& bytes, const std::vector<size_t>& marks)
{
    if (first_error.load() != 0)
        return;  // the file ended at the first failure
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && may_wait && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (wait_writable())
                continue;
            errno = EINTR;
        }
        if (n <= 0) {
            fail(n < 0 ? errno : EIO);
            break;
        }
        done += static_cast<size_t>(n);
    }
    const auto after = std::upper_bound(marks.begin(), marks.end(), done);
    if (after != marks.begin())
        whole_on_disk = on_disk + *(after - 1);
    on_disk += done;
}

bool dmp_out::wait_writable() const
{
    pollfd file{fd, POLLOUT, 0};
    for (;;) {
        if (stopped && stopped())
            return false;
        // An error or a closed reader shows in the next write.
        if (::poll(&file, 1, 100) != 0)
            return true;
    }
}

void dmp_out::writer_loop()
{
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        changed.wait(held, [this] { return pending || stopping; });
        if (!pending)
            return;
        held.unlock();
        write_all(writing, writing_marks);
        held.lock();
        pending = false;
        changed.notify_all();
    }
}

bool dmp_out::close()
{
    if (fd < 0)
        return first_error.load() == 0;
    if (!filling.empty())
        hand_over();
    {
        std::lock_guard<std::mutex> held(lock);
        stopping = true;
    }
    changed.notify_all();
    writer.join();
    // A device or a pipe cannot be cut back; a file can, to whole statements.
    if (first_error.load() != 0 && whole_on_disk < on_disk)
        static_cast<void>(::ftruncate(fd, static_cast<off_t>(whole_on_disk)));
    if (::close(fd) != 0)
        fail(errno);
    fd = -1;
    return first_error.load() == 0;
}
