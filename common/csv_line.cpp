#include "common/csv_line.hpp"

#include "TK/tk_excep.hpp"
#include "platform/syserr/pl_syserr.hpp"
#include "platform/text/pl_format.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The byte-order marks need this many bytes in the buffer to be recognised.
constexpr size_t min_capacity = 4;

// What a byte ends: an unquoted run of text, a quoted one, or both.
enum : unsigned char { ends_unquoted = 1, ends_quoted = 2 };

unsigned char byte(char c) { return static_cast<unsigned char>(c); }

bool is_high_surrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Bytes of a UTF-16 file that decoded UTF-8 text came from: two for each
// character of the basic plane, four for one beyond it.
int64_t utf16_size(const char* text, size_t length)
{
    int64_t bytes = 0;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char b = byte(text[i]);
        if ((b & 0xC0) != 0x80)
            bytes += b >= 0xF0 ? 4 : 2;
    }
    return bytes;
}

} // namespace

void csv_line::clear()
{
    text.clear();
    ends.clear();
    fields = 0;
    dropped_text = false;
    blank = false;
    number = 0;
}

csv_line_reader::csv_line_reader(char delimiter, size_t buffer_size_, int64_t line_limit_)
    : line_limit(line_limit_), buffer_size(std::max(buffer_size_, min_capacity))
{
    std::fill(std::begin(classes), std::end(classes), 0);
    classes[byte('"')] = ends_quoted;
    classes[byte('\n')] = classes[byte('\r')] = ends_quoted | ends_unquoted;
    if (delimiter != '\0')
        classes[byte(delimiter)] = ends_unquoted;
}

csv_line_reader::~csv_line_reader()
{
    if (fd >= 0)
        ::close(fd);
}

bool csv_line_reader::open(const std::string& path_)
{
    if (fd >= 0)
        ::close(fd);
    path = path_;
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    const bool usable = fd >= 0 && ::fstat(fd, &info) == 0;
    if (usable && S_ISDIR(info.st_mode))
        platform::set_last_error(EISDIR);
    else if (!usable)
        platform::set_last_error_from_errno();
    if (!usable || S_ISDIR(info.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        rewind();
        return false;
    }
    size = info.st_size;
    // A device or a pipe tells no size.
    const size_t wanted = size > 0 ? static_cast<size_t>(std::min<int64_t>(size, buffer_size)) : buffer_size;
    if (wanted != capacity) {
        capacity = std::max(wanted, min_capacity);
        buffer.reset(new char[capacity]);
    }
    rewind();
    return true;
}

void csv_line_reader::rewind()
{
    begin = end = 0;
    consumed = file_read = 0;
    line_number = 1;
    quote_line = unclosed_quote = 0;
    lf_after_cr = false;
    input = encoding::utf8;
    raw.clear();
    decoded.clear();
    decoded_at = 0;
    exhausted = fd < 0 || ::lseek(fd, 0, SEEK_SET) != 0;
    at_start = true;
}

int64_t csv_line_reader::position() const
{
    // A lone byte at the end of a UTF-16 file decodes to a whole character.
    return input == encoding::utf8 ? consumed : std::min(consumed, file_read);
}

// Reads more of the file behind the unread bytes, which move to the front of
// the buffer. False when nothing more can be read; a read error counts as the
// end of the file.
bool csv_line_reader::fill()
{
    if (begin > 0) {
        std::memmove(buffer.get(), buffer.get() + begin, end - begin);
        end -= begin;
        begin = 0;
    }
    if (input == encoding::utf8)
        return read_more();
    while (decoded_at == decoded.size()) {
        if (!decode_utf16())
            return false;
    }
    const size_t length = std::min(capacity - end, decoded.size() - decoded_at);
    std::memcpy(buffer.get() + end, decoded.data() + decoded_at, length);
    end += length;
    decoded_at += length;
    return true;
}

bool csv_line_reader::read_more()
{
    while (!exhausted) {
        const ssize_t got = ::read(fd, buffer.get() + end, capacity - end);
        if (got > 0) {
            end += static_cast<size_t>(got);
            file_read += got;
            return true;
        }
        exhausted = got == 0 || errno != EINTR;
    }
    return false;
}

// The next piece of a UTF-16 file as UTF-8 into `decoded`. Half a character
// or half a surrogate pair waits for the rest; at the end of the file it
// becomes U+FFFD. False once the file is decoded to its end.
bool csv_line_reader::decode_utf16()
{
    decoded.clear();
    decoded_at = 0;
    if (exhausted && raw.empty())
        return false;
    if (!exhausted) {
        const size_t held = raw.size();
        raw.resize(held + capacity);
        ssize_t got = -1;
        do
            got = ::read(fd, raw.data() + held, capacity);
        while (got < 0 && errno == EINTR);
        raw.resize(held + static_cast<size_t>(std::max<ssize_t>(got, 0)));
        if (got > 0)
            file_read += got;
        else
            exhausted = true;
    }
    const size_t low = input == encoding::utf16le ? 0 : 1;
    units.clear();
    size_t whole = 0;
    for (; whole + 1 < raw.size(); whole += 2)
        units += static_cast<wchar_t>(byte(raw[whole + low]) | byte(raw[whole + 1 - low]) << 8);
    if (!exhausted && !units.empty() && is_high_surrogate(units.back())) {
        units.pop_back();
        whole -= 2;
    }
    raw.erase(0, whole);
    if (exhausted && !raw.empty()) {
        units += platform::replacement_char;
        raw.clear();
    }
    platform::append_utf8(decoded, units);
    return !decoded.empty() || !exhausted;
}

void csv_line_reader::look_at_start()
{
    at_start = false;
    while (end - begin < 3 && fill()) {
    }
    const std::string_view head(buffer.get() + begin, end - begin);
    if (head.starts_with("\xEF\xBB\xBF")) {
        take(3);
        return;
    }
    const bool little_endian = head.starts_with("\xFF\xFE");
    if (!little_endian && !head.starts_with("\xFE\xFF"))
        return;
    take(2);
    input = little_endian ? encoding::utf16le : encoding::utf16be;
    raw.assign(buffer.get() + begin, end - begin);
    begin = end = 0;
}

void csv_line_reader::take(size_t bytes)
{
    consumed += input == encoding::utf8 ? static_cast<int64_t>(bytes) : utf16_size(buffer.get() + begin, bytes);
    begin += bytes;
}

bool csv_line_reader::at_end()
{
    if (at_start)
        look_at_start();
    for (;;) {
        if (begin == end && !fill())
            return true;
        if (!lf_after_cr)
            return false;
        lf_after_cr = false;
        if (buffer[begin] == '\n')
            take(1);
    }
}

void csv_line_reader::refuse_line(const csv_line& line, state at) const
{
    std::string message = platform::format("Line %I64d of the CSV file '%s' is longer than %I64d bytes", line.number,
                                           path.c_str(), line_limit);
    if (at == state::quoted)
        message += platform::format(": the quoted field opened at line %I64d may lack its closing quote", quote_line);
    throw tk_exception(message + ".", 1);
}

// One line end: LF, CR LF or CR alone. The LF after a CR may still be unread.
void csv_line_reader::pass_line_end(const char*& p, const char* stop)
{
    ++line_number;
    if (*p++ != '\r')
        return;
    if (p == stop)
        lf_after_cr = true;
    else if (*p == '\n')
        ++p;
}

bool csv_line_reader::get_line(csv_line& line, size_t keep)
{
    line.clear();
    if (at_end())
        return false;
    line.number = line_number;
    // Fields beyond those kept are only looked at for text.
    auto put = [&](const char* from, size_t length) {
        if (line.ends.size() < keep)
            line.text.append(from, length);
        else if (length > 0)
            line.dropped_text = true;
    };
    auto end_field = [&] {
        ++line.fields;
        if (line.ends.size() < keep)
            line.ends.push_back(line.text.size());
    };
    state at = state::field_start;
    int64_t taken = 0;  // bytes of the line so far
    while (begin < end || fill()) {
        const char* const first = buffer.get() + begin;
        const char* p = first;
        // No more than one byte beyond the limit is looked at.
        const char* const stop = first + std::min<int64_t>(end - begin, line_limit + 1 - taken);
        if (lf_after_cr) {
            lf_after_cr = false;
            p += *p == '\n' ? 1 : 0;
        }
        bool line_ended = false;
        while (p < stop && !line_ended) {
            switch (at) {
            case state::field_start:
                if (*p == '"') {
                    at = state::quoted;
                    quote_line = line_number;
                    ++p;
                    break;
                }
                at = state::unquoted;
                [[fallthrough]];
            case state::unquoted: {
                const char* const run = p;
                while (p < stop && (classes[byte(*p)] & ends_unquoted) == 0)
                    ++p;
                put(run, static_cast<size_t>(p - run));
                if (p == stop)
                    break;
                if (classes[byte(*p)] == ends_unquoted) {
                    end_field();
                    at = state::field_start;
                    ++p;
                    break;
                }
                line.blank = taken == 0 && p == first;
                pass_line_end(p, stop);
                line_ended = true;
                break;
            }
            case state::quoted: {
                const char* const run = p;
                while (p < stop && (classes[byte(*p)] & ends_quoted) == 0)
                    ++p;
                put(run, static_cast<size_t>(p - run));
                if (p == stop)
                    break;
                if (*p == '"') {
                    at = state::after_quote;
                    ++p;
                    break;
                }
                put("\n", 1);
                pass_line_end(p, stop);
                break;
            }
            case state::after_quote:
                // A doubled quote is one quote; anything else after the
                // closing quote is plain text up to the delimiter.
                if (*p == '"') {
                    put("\"", 1);
                    at = state::quoted;
                    ++p;
                } else {
                    at = state::unquoted;
                }
                break;
            }
        }
        const auto length = static_cast<size_t>(p - first);
        take(length);
        taken += static_cast<int64_t>(length);
        if (line_ended) {
            end_field();
            return true;
        }
        if (taken > line_limit)
            refuse_line(line, at);
    }
    // The end of the file ends the line. A quoted field it cuts holds the
    // rest of the file, but not the line end that closed the file.
    if (at == state::quoted) {
        unclosed_quote = quote_line;
        const size_t field_from = line.ends.empty() ? 0 : line.ends.back();
        if (line.ends.size() < keep && line.text.size() > field_from && line.text.back() == '\n')
            line.text.pop_back();
    }
    end_field();
    return true;
}
