// The dump's output file: bytes written as given (no newline translation).
// The bytes gather in a buffer of about a megabyte; a full buffer goes to a
// writer thread of the file's own while the next one fills, so building the
// statements and the system's copying of them to disk overlap. Write errors
// are remembered rather than lost, so a dump that did not reach the disk in
// full is reported when the file is closed, never left silently short; the
// file is then cut back to the last whole statement that reached it (a full
// disk or a file size limit stops writes inside a statement), so what is
// kept of it still loads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class dmp_out {
public:
    // Writes to the file open for writing on `fd`, which it owns; a negative
    // one is a file that could not be opened: is_open() is false and error()
    // holds the system's error number, errno when it was given. stopped:
    // true once the user asked to stop (any thread may be asked).
    explicit dmp_out(int fd, std::function<bool()> stopped = {});
    // Closes the file if close() was not called.
    ~dmp_out();
    dmp_out(const dmp_out&) = delete;
    dmp_out& operator=(const dmp_out&) = delete;

    bool is_open() const { return fd >= 0; }
    void write(std::string_view bytes);
    // The bytes given so far end with a whole statement: a file whose
    // writing fails is cut back to the last such point that reached it.
    void mark_whole()
    {
        if (fd >= 0)
            filling_marks.push_back(filling.size());
    }
    // Writes what is left, waits for the writer and closes; false when any
    // write since the opening failed. Later writes are dropped.
    bool close();
    // Bytes given from here on hold rows (only the first call counts).
    void note_rows()
    {
        if (!rows_at)
            rows_at = total;
    }
    // After close(): a row reached the file, in a whole statement.
    bool holds_rows() const { return rows_at && (first_error.load() == 0 ? total : whole_on_disk) > *rows_at; }
    // The system's error number of the first failure, 0 while none.
    int error() const { return first_error.load(); }
    // Bytes given to write so far.
    uint64_t written() const { return total; }

private:
    void hand_over();
    void write_all(const std::string& bytes, const std::vector<size_t>& marks);
    void writer_loop();
    void fail(int number);
    // Waits until the file takes bytes again; false when a stop came first.
    bool wait_writable() const;

    int fd = -1;
    std::function<bool()> stopped;
    // A pipe or socket, written without blocking so that a stop is seen.
    bool may_wait = false;
    std::string filling;  // the bytes being gathered, the caller's
    std::string writing;  // the bytes being written, the writer's while pending
    // Where whole statements end in each of them.
    std::vector<size_t> filling_marks;
    std::vector<size_t> writing_marks;
    // The writer's: bytes that reached the file, and how many of them end
    // with a whole statement.
    uint64_t on_disk = 0;
    uint64_t whole_on_disk = 0;
    std::mutex lock;
    std::condition_variable changed;
    bool pending = false;   // writing holds bytes for the writer
    bool stopping = false;  // no more bytes will come
    std::atomic<int> first_error{0};
    uint64_t total = 0;
    std::optional<uint64_t> rows_at;
    std::thread writer;
};
