#include "common/csv_line.hpp"

#include "platform/syserr/pl_syserr.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The byte-order mark needs this many bytes in the buffer to be recognised.
constexpr size_t min_capacity = 4;
constexpr char utf8_bom[] = "\xEF\xBB\xBF";

} // namespace

csv_line_reader::csv_line_reader(size_t buffer_size)
    : buffer(new char[std::max(buffer_size, min_capacity)]), capacity(std::max(buffer_size, min_capacity))
{
}

csv_line_reader::~csv_line_reader()
{
    close();
}

void csv_line_reader::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool csv_line_reader::open(const std::string& path)
{
    close();
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        platform::set_last_error_from_errno();
        close();
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        platform::set_last_error(EISDIR);
        close();
        return false;
    }
    size = info.st_size;
    rewind();
    return true;
}

void csv_line_reader::rewind()
{
    begin = end = 0;
    consumed = 0;
    exhausted = fd < 0 || ::lseek(fd, 0, SEEK_SET) != 0;
    at_start = true;
}

// Moves the unread bytes to the front and reads more behind them. False when
// nothing more can be read; a read error counts as the end of the file.
bool csv_line_reader::fill()
{
    if (exhausted)
        return false;
    if (begin > 0) {
        std::memmove(buffer.get(), buffer.get() + begin, end - begin);
        end -= begin;
        begin = 0;
    }
    for (;;) {
        const ssize_t got = ::read(fd, buffer.get() + end, capacity - end);
        if (got > 0) {
            end += static_cast<size_t>(got);
            return true;
        }
        if (got < 0 && errno == EINTR)
            continue;
        exhausted = true;
        return false;
    }
}

void csv_line_reader::skip_bom()
{
    at_start = false;
    while (end - begin < 3 && fill()) {
    }
    if (end - begin >= 3 && std::memcmp(buffer.get() + begin, utf8_bom, 3) == 0) {
        begin += 3;
        consumed += 3;
    }
}

bool csv_line_reader::at_end()
{
    if (at_start)
        skip_bom();
    return begin == end && !fill();
}

bool csv_line_reader::get_line(std::string& line)
{
    line.clear();
    if (at_end())
        return false;
    bool quoted = false;
    while (begin < end || fill()) {
        const char* from = buffer.get() + begin;
        const size_t available = end - begin;
        const auto* lf = static_cast<const char*>(std::memchr(from, '\n', available));
        const size_t length = lf != nullptr ? static_cast<size_t>(lf - from) : available;
        // Each double quote opens or closes a quoted part; only the parity
        // matters for where the line ends.
        quoted ^= (std::count(from, from + length, '"') & 1) != 0;
        line.append(from, length);
        const size_t taken = length + (lf != nullptr ? 1 : 0);
        begin += taken;
        consumed += static_cast<int64_t>(taken);
        if (lf == nullptr)
            continue;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!quoted)
            return true;
        line += '\n';
    }
    // The file ends without a line end, or inside quotes: the line ends here.
    // A line end just before the end of the file closes the file, it is no
    // part of the quoted text.
    if (quoted && !line.empty() && line.back() == '\n')
        line.pop_back();
    return true;
}
