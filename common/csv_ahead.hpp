// The lines of a CSV file cut on a thread of their own, ahead of the reader
// that turns them into records: cutting lines and reading the file from disk
// overlap with the rest of the work on every record.
//
// Lines go over in batches. A batch ends after 1024 lines or 256 KiB of
// text, and the cutting thread waits while a megabyte of lines waits to be
// taken: memory stays flat however large the file (a few of its longest lines
// at worst), and the lines are still in the cache when they are taken. Lines are handed over by swapping, so their storage goes
// back and forth between the threads and is reused.
#pragma once

#include "common/csv_line.hpp"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class csv_read_ahead {
public:
    // Starts cutting the lines of input after those already read, keeping
    // their first `keep` fields. input is not owned and must not be used by
    // anyone else until this object is gone.
    csv_read_ahead(csv_line_reader& input, size_t keep);
    // Stops the cutting thread and waits for it (no longer than the line it
    // is cutting takes).
    ~csv_read_ahead();
    csv_read_ahead(const csv_read_ahead&) = delete;
    csv_read_ahead& operator=(const csv_read_ahead&) = delete;

    // The next line, as csv_line_reader::get_line gives it; false at the end.
    // What the cutting raised (a line over the limit) is raised here, after
    // every line before it was handed out.
    bool get_line(csv_line& line);
    // Bytes of the file behind the lines handed out.
    int64_t position() const { return at_position; }
    // As csv_line_reader::unclosed_quote_line, once the end was handed out.
    int64_t unclosed_quote_line() const { return unclosed_quote; }
    // As csv_line_reader::cut_short_line, once the end was handed out.
    int64_t cut_short_line() const { return cut_line; }

private:
    struct batch {
        std::vector<csv_line> lines;      // the first `count` hold lines
        std::vector<int64_t> positions;   // the file's position after each
        size_t count = 0;
        size_t bytes = 0;
        bool last = false;                // the end of the file or a failure
        std::exception_ptr failure;
        int64_t unclosed_quote = 0;
        int64_t cut_line = 0;
    };

    void cut_lines();
    void fill(batch& b);
    std::unique_ptr<batch> take_full();

    csv_line_reader& input;
    const size_t keep;

    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::unique_ptr<batch>> full;   // cut, waiting to be taken
    std::vector<std::unique_ptr<batch>> spare; // taken and given back
    size_t waiting_bytes = 0;                  // text of the lines in full
    bool stopping = false;

    // The reader's side.
    std::unique_ptr<batch> current;
    size_t next = 0;
    bool ended = false;
    std::exception_ptr failure;
    int64_t at_position = 0;
    int64_t unclosed_quote = 0;
    int64_t cut_line = 0;

    std::thread cutter;  // last: starts once everything above is built
};
