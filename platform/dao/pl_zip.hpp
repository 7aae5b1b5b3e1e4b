// Read access to the parts of a zip package through libzip. Every failure,
// a truncated archive or a damaged compressed stream included, is a
// format_fault.
//
// The bytes a part inflates to are counted as they come: a part that grows
// past max_part_size at more than max_part_ratio times its compressed size
// is refused there, whatever the package's directory claims. No workbook
// writer comes near that (worksheets inflate 5 to 20 times), while a few
// megabytes of compressed zeros would otherwise cost gigabytes and minutes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <unordered_map>

struct zip;
struct zip_file;

namespace platform::dao {

class zip_package {
public:
    // bytes must outlive the package.
    zip_package(const void* bytes, size_t size);
    explicit zip_package(const std::string& path);

    static constexpr uint64_t max_part_size = uint64_t(256) << 20;
    static constexpr uint64_t max_part_ratio = 100;

    // Part names are matched without regard to case, and a package whose
    // writer parted its names with backslashes (xl\workbook.xml) is read as
    // if it had used slashes.
    bool has(const std::string& name) const;
    // Calls sink(data, size) with the part's bytes, a block at a time.
    template <class Sink> void read(const std::string& name, Sink&& sink) const
    {
        part p = open(name);
        char block[1 << 16];
        for (size_t n; (n = p.read(block, sizeof block)) > 0;)
            sink(block, n);
    }

    // One part being read; read returns 0 at its end.
    class part {
    public:
        part(zip_file* f, uint64_t compressed, uint64_t claimed = 0) : file(f), compressed(compressed), claimed(claimed) {}
        size_t read(char* out, size_t size);
        uint64_t compressed_size() const { return compressed; }
        // The inflated size the package's directory claims (0 when it has
        // none): a hint only, never trusted.
        uint64_t claimed_size() const { return claimed; }
    private:
        struct file_closer { void operator()(zip_file* f) const; };
        std::unique_ptr<zip_file, file_closer> file;
        uint64_t compressed;    // bytes of the part in the archive
        uint64_t claimed;
        uint64_t inflated = 0;  // bytes read so far
    };
    part open(const std::string& name) const;

private:
    struct zip_closer { void operator()(zip* z) const; };
    void index_backslashed_names();
    int64_t locate(const std::string& name) const;  // -1 when absent

    std::unique_ptr<zip, zip_closer> archive;
    uint64_t archive_size = 0;  // no part's compressed bytes can be more
    // Only for a package with backslashes in its names: each name with
    // slashes instead, lower case, to its entry.
    std::unordered_map<std::string, uint64_t> slashed_names;
};

// Reads a part on a thread of its own, a few blocks ahead of its reader, so
// that inflating a large worksheet and scanning it overlap; a small part is
// read as it is asked for. The package must not be used otherwise while
// this lives.
class read_ahead {
public:
    explicit read_ahead(zip_package::part part);
    read_ahead(const read_ahead&) = delete;
    read_ahead& operator=(const read_ahead&) = delete;
    // As part::read; a failure of the reading thread is raised here, once
    // the blocks read before it are used up.
    size_t read(char* out, size_t size);

    // For readers that scan a buffer of `size` bytes, in hand from pos to
    // end: moves the bytes in hand to its front and returns how many were
    // dropped before them.
    static size_t drop_read(char* buffer, size_t& pos, size_t& end);
    // Reads into the room after end; at_eof once nothing more comes. False
    // when nothing came.
    bool read_more(char* buffer, size_t size, size_t& end, bool& at_eof);

private:
    static constexpr size_t block_size = size_t(1) << 20;
    static constexpr uint64_t worth_a_thread = uint64_t(1) << 20;  // compressed bytes
    static constexpr size_t block_count = 4;
    struct block {
        std::unique_ptr<char[]> data;
        size_t size = 0;
    };
    void run(std::stop_token stop);

    zip_package::part part;
    std::mutex lock;
    std::condition_variable_any changed;
    std::deque<block> full, empty;
    block current;
    size_t at = 0;  // bytes of current handed out
    bool finished = false;
    std::exception_ptr failure;
    std::jthread worker;  // last: starts once the rest is built, stops first
};

} // namespace platform::dao
