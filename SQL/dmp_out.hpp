// The dump's output file: bytes written as given (no newline translation)
// through a large buffer. Write errors are remembered rather than lost, so a
// dump that did not reach the disk in full is reported when the file is
// closed, never left silently short.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

class dmp_out {
public:
    // Creates or empties the file; is_open() tells whether that worked, and
    // error() then holds the system's error number.
    explicit dmp_out(const std::string& path);
    dmp_out(const dmp_out&) = delete;
    dmp_out& operator=(const dmp_out&) = delete;

    bool is_open() const { return file != nullptr; }
    void write(std::string_view bytes);
    // Flushes and closes; false when any write since the opening failed.
    // Later writes are dropped.
    bool close();
    // The system's error number of the first failure, 0 while none.
    int error() const { return first_error; }
    // Bytes given to write so far.
    uint64_t written() const { return total; }

private:
    struct closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    void fail();

    std::unique_ptr<std::FILE, closer> file;
    std::unique_ptr<char[]> buffer;
    int first_error = 0;
    uint64_t total = 0;
};
