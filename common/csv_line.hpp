// Records of a CSV file, cut into fields by one pass of a small state machine
// that looks only at the bytes that may end a run of text (delimiters, double
// quotes, CR and LF), found a block of bytes at a time; the runs between them
// are copied whole. A double quote opens a quoted field only where a field
// begins; there the delimiter and line ends are text, a doubled quote stands
// for one quote, and the text after the closing quote up to the next
// delimiter is kept as it stands. Anywhere else a double quote is a
// character. A line ends at LF, CR LF or CR alone; inside a quoted field
// they are the field's text, kept as they stand.
//
// A quote inside a quoted field that neither doubles nor closes it (as
// writers that escape quotes with a backslash leave it) ends the quoted text
// early; the rest up to the delimiter is kept as it stands, and the line
// notes the field so that the reading can be reported.
//
// The text handed out is UTF-8 as in the file: a UTF-8 byte-order mark at the
// start is skipped, and a UTF-16 one (little or big endian) makes the reader
// decode the rest of the file from UTF-16. There half a surrogate pair within
// the file reads as U+FFFD, and a character cut by the end of the file (an odd
// byte, half a pair) is left out; both are noted for the report.
//
// Memory is one buffer of fixed size and the record in hand, whose line may
// not grow beyond a limit: a file without line ends cannot take the memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

// One logical line cut into fields.
struct csv_line {
    // The kept fields' text, unquoted, one after another; the byte after each
    // but the last is the delimiter that ended it, so that runs of the file
    // with no quote in them are copied as they stand.
    std::string text;
    std::vector<size_t> ends;  // where each kept field ends in text
    size_t fields = 0;         // the line's fields, kept or not
    bool dropped_text = false; // a field beyond those kept was not empty
    bool blank = false;        // nothing at all between its line ends
    int64_t number = 0;        // the line of the file it begins on, from 1
    size_t stray_quote = 0;    // the first field (from 1) with text after its closing quote

    size_t size() const { return ends.size(); }
    std::string_view field(size_t i) const
    {
        const size_t from = i == 0 ? 0 : ends[i - 1] + 1;
        return std::string_view(text).substr(from, ends[i] - from);
    }
    void clear();
    // Member by member: lines change hands row after row.
    void swap(csv_line& other) noexcept
    {
        text.swap(other.text);
        ends.swap(other.ends);
        std::swap(fields, other.fields);
        std::swap(dropped_text, other.dropped_text);
        std::swap(blank, other.blank);
        std::swap(number, other.number);
        std::swap(stray_quote, other.stray_quote);
    }
};

// What reading a file met that its lines do not tell, each 0 when nothing.
struct csv_findings {
    int64_t unclosed_quote = 0;  // the line where a quoted field opened that only the end closed
    int64_t lone_surrogates = 0;       // halves of UTF-16 pairs within the file, read as U+FFFD
    int64_t first_lone_surrogate = 0;  // the line of the first
    int64_t cut_character = 0;   // the line where the end of a UTF-16 file cut a character
    // A plain file that ended before the size it had at the opening (it was
    // cut short meanwhile): the line that its new end cut, which get_line
    // did not hand out.
    int64_t cut_short = 0;
};

class csv_line_reader {
public:
    static constexpr int64_t default_line_limit = int64_t{256} << 20;

    // delimiter: one ASCII character other than a double quote, CR or LF;
    // '\0' for none, so that every line is one field. buffer_size: the most
    // bytes read at once. line_limit: the most bytes a logical line may take.
    explicit csv_line_reader(char delimiter, size_t buffer_size = 1 << 20,
                             int64_t line_limit = default_line_limit);
    ~csv_line_reader();
    csv_line_reader(const csv_line_reader&) = delete;
    csv_line_reader& operator=(const csv_line_reader&) = delete;

    // False, with the platform's last error set, when the file cannot be
    // opened for reading. A plain file is read up to its size at the opening,
    // or up to `read_limit` bytes when that is smaller: bytes that a writer
    // appends meanwhile are not read.
    bool open(const std::string& path, int64_t read_limit = -1);
    bool is_open() const { return fd >= 0; }
    // The name messages give the file; its path once opened.
    void set_shown_name(const std::string& name) { path = name; }
    // The bytes the file is read up to (its size when it was opened).
    int64_t file_size() const { return size; }

    // The next logical line, keeping its first `keep` fields. False when
    // nothing was left to read. A line longer than the limit raises a
    // level-1 tk_exception naming the file and the line.
    bool get_line(csv_line& line, size_t keep);
    // True when no byte is left to read: the end of the file, a read error,
    // or no open file.
    bool at_end();
    // Bytes of the file taken by the lines read so far.
    int64_t position() const { return consumed; }
    // What the lines read so far met: csv_findings tells.
    const csv_findings& findings() const { return found; }
    // Back to the start of the file; the byte-order mark is looked at again.
    void rewind();

private:
    enum class state : uint8_t { field_start, unquoted, quoted, after_quote };
    struct line_cut;

    bool fill();
    // read(2) of at most `wanted` bytes, none beyond `size` of a plain file.
    ssize_t read_bounded(char* to, size_t wanted);
    bool read_more();
    bool decode_utf16();
    void note_lone_surrogates();
    void note_findings(const csv_line& line);
    void look_at_start();
    void pass_line_end(const char*& p, const char* stop);
    bool cut(line_cut& carried, const char*& from, const char* stop, const char* line_start);
    void take(size_t bytes);
    [[noreturn]] void refuse_line(const csv_line& line, state at) const;

    char delimiter;
    int fd = -1;
    std::string path;
    int64_t size = 0;
    bool bounded = false;  // a plain file: nothing beyond `size` is read
    int64_t line_limit;
    int64_t consumed = 0;      // bytes of the file behind the lines read
    int64_t file_read = 0;     // bytes read from the file
    int64_t line_number = 1;   // the line of the file the next byte is on
    int64_t quote_line = 0;    // where the quoted field in hand opened
    csv_findings found;
    size_t buffer_size;
    // The file's text as UTF-8; no larger than the file, with room behind it
    // so that the bytes looked at in one step may be read from any byte in it.
    std::unique_ptr<char[]> buffer;
    size_t capacity = 0;
    size_t begin = 0;  // next unread byte of the buffer
    size_t end = 0;    // end of the bytes in the buffer
    bool exhausted = true;  // until a file is open
    bool at_start = true;
    bool lf_after_cr = false;  // a CR ended the last line: an LF next is part of it

    // UTF-16 files: bytes read but not decoded yet (half a character, half a
    // surrogate pair), and decoded text waiting for room in the buffer.
    enum class encoding : uint8_t { utf8, utf16le, utf16be } input = encoding::utf8;
    std::string raw;
    std::string decoded;
    size_t decoded_at = 0;
    std::wstring units;
    int64_t decoded_total = 0;   // bytes of text decoded before `decoded`
    int64_t text_taken = 0;      // bytes of text the lines read so far took
    int64_t first_lone_at = -1;  // where the first lone surrogate's U+FFFD is in the text
    int64_t cut_bytes = 0;       // of a character the end of the file cut
};
