#include "common/csv_line.hpp"

#include "TK/tk_excep.hpp"
#include "platform/syserr/pl_syserr.hpp"
#include "platform/text/pl_format.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The byte-order marks need this many bytes in the buffer to be recognised.
constexpr size_t min_capacity = 4;

unsigned char byte(char c) { return static_cast<unsigned char>(c); }

bool is_high_surrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

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

// Bytes compared at once for those a field may end at, and bytes looked at
// in one step: two blocks.
constexpr size_t block_size = 16;
constexpr size_t step_size = 2 * block_size;
using block = unsigned char __attribute__((vector_size(block_size)));

block splat(char c)
{
    block bytes;
    std::memset(&bytes, c, sizeof bytes);
    return bytes;
}

// A block's bytes compared: all ones where they matched, zero elsewhere.
using block_test = decltype(std::declval<block>() == std::declval<block>());

// The high bit of each byte of a block, the first byte's lowest: in one
// instruction where the processor has it, else gathered by multiplication.
uint32_t high_bits(block_test block_bytes)
{
#if defined(__SSE2__)
    __m128i whole;
    std::memcpy(&whole, &block_bytes, sizeof whole);
    return static_cast<uint32_t>(_mm_movemask_epi8(whole));
#else
    uint64_t halves[2];
    std::memcpy(halves, &block_bytes, sizeof halves);
    uint32_t bits = 0;
    for (int half = 0; half < 2; ++half)
        bits |= static_cast<uint32_t>(((halves[half] & 0x8080808080808080u) * 0x0002040810204081u) >> 56) << 8 * half;
    return bits;
#endif
}

// Marks the delimiters, quotes, CRs and LFs a block of bytes at a time:
// most bytes are text, and fields are too short for a scan started again for
// each of them to pay.
class cut_finder {
public:
    // With no delimiter, LF stands in for it: a NUL byte is text.
    explicit cut_finder(char delimiter)
        : delimiters(splat(delimiter == '\0' ? '\n' : delimiter)), quotes(splat('"')), crs(splat('\r')),
          lfs(splat('\n'))
    {
    }

    // A bit for each of them among the step's bytes from p on, the first
    // byte's lowest.
    uint64_t marks(const char* p) const { return block_marks(p) | uint64_t{block_marks(p + block_size)} << block_size; }

private:
    uint32_t block_marks(const char* p) const
    {
        block bytes;
        std::memcpy(&bytes, p, sizeof bytes);
        return high_bits((bytes == delimiters) | (bytes == quotes) | (bytes == crs) | (bytes == lfs));
    }

    const block delimiters;
    const block quotes;
    const block crs;
    const block lfs;
};

} // namespace

// The line in hand: its text is taken in runs, from the byte after the last
// one taken up to a byte that changes it (a quote) or ends the kept text.
// Fields beyond those kept are counted, not kept. Its steps are forced inline
// so that it lives in registers while a piece is cut.
struct csv_line_reader::line_cut {
    csv_line* line;
    size_t room;  // fields still to keep
    state at = state::field_start;
    size_t done = 0;        // bytes of the line's text taken, kept or not
    size_t field_from = 0;  // where the field in hand begins in that text, once none is kept
    const char* pending = nullptr;  // the first byte not taken yet
    const char* mark = nullptr;     // where a quote opens the field or is doubled
    int64_t* line_number = nullptr;  // the reader's
    size_t after_cr = SIZE_MAX;      // where the byte after a CR in quotes is in the line's text

    size_t offset(const char* p) const { return done + static_cast<size_t>(p - pending); }
    size_t field_begin() const
    {
        return room == 0 ? field_from : line->ends.empty() ? 0 : line->ends.back() + 1;
    }

    [[gnu::always_inline]] void flush(const char* to)
    {
        const auto length = static_cast<size_t>(to - pending);
        if (room > 0)
            line->text.append(pending, length);
        done += length;
        pending = to;
    }

    // A CR or LF inside quotes: a line of the file for the messages, a CR
    // LF pair one line.
    [[gnu::always_inline]] void count_line_end(const char* q)
    {
        const size_t at = offset(q);
        if (*q == '\r')
            after_cr = at + 1;
        else if (at == after_cr)
            return;
        ++*line_number;
    }

    // Text after the closing quote of a field, up to p: a quote in it that
    // was meant as a character.
    [[gnu::always_inline]] void note_stray_quote(const char* p)
    {
        if (at == state::after_quote && p != mark && line->stray_quote == 0)
            line->stray_quote = line->fields + 1;
    }

    [[gnu::always_inline]] void end_field(const char* p)
    {
        const size_t to = offset(p);
        ++line->fields;
        if (room > 1) {
            --room;
            line->ends.push_back(to);
            return;
        }
        if (room == 1) {
            // The kept text ends with the last field kept.
            flush(p);
            room = 0;
            line->ends.push_back(to);
        } else if (to != field_from) {
            line->dropped_text = true;
        }
        field_from = to + 1;
    }
};

void csv_line::clear()
{
    text.clear();
    ends.clear();
    fields = 0;
    dropped_text = false;
    blank = false;
    number = 0;
    stray_quote = 0;
}

csv_line_reader::csv_line_reader(char delimiter_, size_t buffer_size_, int64_t line_limit_)
    : delimiter(delimiter_), line_limit(line_limit_), buffer_size(std::max(buffer_size_, min_capacity))
{
}

csv_line_reader::~csv_line_reader()
{
    if (fd >= 0)
        ::close(fd);
}

bool csv_line_reader::open(const std::string& path_, int64_t read_limit)
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
    bounded = S_ISREG(info.st_mode);
    if (bounded && read_limit >= 0 && read_limit < size)
        size = read_limit;
    // A device or a pipe tells no size.
    const size_t wanted = size > 0 ? static_cast<size_t>(std::min<int64_t>(size, buffer_size)) : buffer_size;
    if (wanted != capacity) {
        capacity = std::max(wanted, min_capacity);
        buffer = std::make_unique_for_overwrite<char[]>(capacity + step_size);
        std::memset(buffer.get() + capacity, 0, step_size);
    }
    rewind();
    return true;
}

void csv_line_reader::rewind()
{
    begin = end = 0;
    consumed = file_read = 0;
    line_number = 1;
    quote_line = 0;
    found = csv_findings();
    decoded_total = text_taken = 0;
    first_lone_at = -1;
    cut_bytes = 0;
    lf_after_cr = false;
    input = encoding::utf8;
    raw.clear();
    decoded.clear();
    decoded_at = 0;
    exhausted = fd < 0 || ::lseek(fd, 0, SEEK_SET) != 0;
    at_start = true;
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

ssize_t csv_line_reader::read_bounded(char* to, size_t wanted)
{
    if (bounded)
        wanted = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(wanted), size - file_read));
    return wanted > 0 ? ::read(fd, to, wanted) : 0;
}

bool csv_line_reader::read_more()
{
    while (!exhausted) {
        const ssize_t got = read_bounded(buffer.get() + end, capacity - end);
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
// or half a surrogate pair waits for the rest; at the end of the file it is
// left out, its bytes kept in cut_bytes. False once the file is decoded to
// its end.
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
            got = read_bounded(raw.data() + held, capacity);
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
    if (!units.empty() && is_high_surrogate(units.back())) {
        // Its other half is in the next piece, or the end of the file cut it.
        units.pop_back();
        whole -= 2;
    }
    raw.erase(0, whole);
    if (exhausted && !raw.empty()) {
        cut_bytes = static_cast<int64_t>(raw.size());
        raw.clear();
    }
    note_lone_surrogates();
    platform::append_utf8(decoded, units);
    decoded_total += static_cast<int64_t>(decoded.size());
    return !decoded.empty() || !exhausted;
}

// Counts the halves of surrogate pairs in `units` that lack their other half,
// and keeps where the first one's U+FFFD goes in the text.
void csv_line_reader::note_lone_surrogates()
{
    for (size_t i = 0; i < units.size(); ++i) {
        if (is_high_surrogate(units[i]) && i + 1 < units.size() && is_low_surrogate(units[i + 1])) {
            ++i;
            continue;
        }
        if (!is_high_surrogate(units[i]) && !is_low_surrogate(units[i]))
            continue;
        if (found.lone_surrogates++ == 0)
            first_lone_at = decoded_total + static_cast<int64_t>(platform::to_utf8(std::wstring_view(units).substr(0, i)).size());
    }
}

void csv_line_reader::note_findings(const csv_line& line)
{
    if (first_lone_at >= 0 && found.first_lone_surrogate == 0 && text_taken > first_lone_at)
        found.first_lone_surrogate = line.number;
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
    text_taken = 0;
    input = little_endian ? encoding::utf16le : encoding::utf16be;
    raw.assign(buffer.get() + begin, end - begin);
    begin = end = 0;
}

void csv_line_reader::take(size_t bytes)
{
    consumed += input == encoding::utf8 ? static_cast<int64_t>(bytes) : utf16_size(buffer.get() + begin, bytes);
    text_taken += static_cast<int64_t>(bytes);
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

// Cuts the line in hand from `from` on, up to stop at most. True when the
// line ended; `from` is then behind its line end, else at stop.
bool csv_line_reader::cut(line_cut& carried, const char*& from, const char* stop, const char* line_start)
{
    line_cut c = carried;
    const char* p = from;
    const char delimiter_byte = delimiter;  // not read again after each store of text
    c.pending = c.mark = p;
    const cut_finder finder(delimiter);
    for (const char* base = p; base < stop; base += step_size) {
        uint64_t found = finder.marks(base);
        if (p > base)
            found &= ~uint64_t{0} << (p - base);
        if (stop - base < static_cast<ptrdiff_t>(step_size))
            found &= (uint64_t{1} << (stop - base)) - 1;
        while (found != 0) {
            const char* const q = base + std::countr_zero(found);
            found &= found - 1;
            p = q + 1;
            if (c.at == state::quoted) {
                if (*q == '"') {
                    c.flush(q);
                    c.pending = c.mark = p;
                    c.at = state::after_quote;
                } else if (*q != delimiter_byte) {
                    c.count_line_end(q);  // the field's own: kept as it stands
                }
            } else if (*q == delimiter_byte) {
                c.note_stray_quote(q);
                c.end_field(q);
                c.at = state::field_start;
                c.mark = p;
            } else if (*q == '"') {
                // A quote where a field begins opens it; right after a
                // closing quote it doubles it, and the second one is the
                // text. Anywhere else it is a character.
                if (q != c.mark || c.at == state::unquoted) {
                    c.note_stray_quote(q);
                    continue;
                }
                if (c.at == state::field_start) {
                    c.flush(q);
                    c.pending = p;
                    quote_line = line_number;
                }
                c.at = state::quoted;
            } else {
                c.note_stray_quote(q);
                c.end_field(q);
                c.flush(q);
                c.line->blank = q == line_start;
                p = q;
                pass_line_end(p, stop);
                from = p;
                carried = c;
                return true;
            }
        }
    }
    c.flush(stop);
    c.note_stray_quote(stop);
    if ((c.at == state::field_start || c.at == state::after_quote) && c.mark != stop)
        c.at = state::unquoted;
    from = stop;
    carried = c;
    return false;
}

bool csv_line_reader::get_line(csv_line& line, size_t keep)
{
    line.clear();
    if (at_end()) {
        if (cut_bytes > 0 && found.cut_character == 0) {
            // Left out, but read: the whole file was.
            found.cut_character = line_number;
            consumed += cut_bytes;
        }
        return false;
    }
    line.number = line_number;
    // A new line takes room for its fields at once rather than in steps.
    line.ends.reserve(std::min<size_t>(keep, 64));
    line_cut c{&line, keep};
    c.line_number = &line_number;
    const int64_t line_start = consumed;
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
        const bool line_ended = cut(c, p, stop, taken == 0 ? first : nullptr);
        const auto length = static_cast<size_t>(p - first);
        take(length);
        taken += static_cast<int64_t>(length);
        if (line_ended) {
            note_findings(line);
            return true;
        }
        if (taken > line_limit)
            refuse_line(line, c.at);
    }
    // A plain file that ended before the size it had at the opening was cut
    // short while it was read: its last line is what the cut left of a line,
    // no line of the file, and is not handed out.
    if (bounded && file_read < size) {
        found.cut_short = line.number;
        consumed = line_start;
        line.clear();
        return false;
    }
    // The end of the file ends the line. A quoted field it cuts holds the
    // rest of the file, but not the line end that closed the file.
    if (c.at == state::quoted) {
        found.unclosed_quote = quote_line;
        for (const char b : {'\n', '\r'}) {
            if (c.room > 0 && c.done > c.field_begin() && line.text.back() == b) {
                line.text.pop_back();
                --c.done;
            }
        }
    }
    c.end_field(c.pending);
    note_findings(line);
    return true;
}
