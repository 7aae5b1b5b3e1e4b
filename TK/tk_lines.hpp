// Reads a text file line by line, for the readers of list and profile files.
// Lines may be of any length. One carriage return before each line feed is
// dropped, so files written with CR LF line ends read like LF-only ones; a
// last line without a line feed is read too.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

class tk_line_reader {
public:
    // A folder is not a file that can be read.
    explicit tk_line_reader(const std::string& path);
    ~tk_line_reader();
    tk_line_reader(const tk_line_reader&) = delete;
    tk_line_reader& operator=(const tk_line_reader&) = delete;

    bool is_open() const { return file != nullptr; }
    // The next line without its line end; false at the end of the file or on
    // a read error.
    bool next(std::string& line);
    // True when a read error, not the end of the file, stopped next().
    bool failed() const;

private:
    struct closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, closer> file;
    char* buffer = nullptr;  // grown by getline(3); freed by the destructor
    size_t capacity = 0;
};
