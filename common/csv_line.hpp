// Logical lines of a CSV file. A logical line ends at a line end outside
// double quotes, so a quoted field may span several physical lines; those
// inner line ends are kept as LF. CR LF reads as LF, a UTF-8 byte-order mark
// at the start of the file is skipped, and a file that ends inside an open
// quote ends its last line there. Lines may be of any length: the reader
// holds one buffer of fixed size and the line being built, whatever the size
// of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class csv_line_reader {
public:
    explicit csv_line_reader(size_t buffer_size = 1 << 20);
    ~csv_line_reader();
    csv_line_reader(const csv_line_reader&) = delete;
    csv_line_reader& operator=(const csv_line_reader&) = delete;

    // False, with the platform's last error set, when the file cannot be
    // opened for reading.
    bool open(const std::string& path);
    bool is_open() const { return fd >= 0; }
    // The file's size in bytes when it was opened.
    int64_t file_size() const { return size; }

    // The next logical line, UTF-8 as in the file, without its line end.
    // False when nothing was left to read.
    bool get_line(std::string& line);
    // True when no byte is left to read: the end of the file, a read error,
    // or no open file.
    bool at_end();
    // Bytes of the file taken by the lines read so far.
    int64_t position() const { return consumed; }
    // Back to the start of the file; the byte-order mark is skipped again.
    void rewind();

private:
    bool fill();
    void skip_bom();
    void close();

    int fd = -1;
    int64_t size = 0;
    int64_t consumed = 0;
    std::unique_ptr<char[]> buffer;
    size_t capacity;
    size_t begin = 0;  // next unread byte of the buffer
    size_t end = 0;    // end of the bytes read into the buffer
    bool exhausted = true;  // until a file is open
    bool at_start = true;
};
