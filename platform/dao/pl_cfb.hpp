// The streams at the root of a compound file (the container of .xls
// workbooks), read from the file's bytes. Every sector chain is checked as
// it is followed: a sector number beyond the file, a loop or a stream longer
// than its chain is a format_fault.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::dao {

class compound_file {
public:
    explicit compound_file(std::string_view file);

    // Names compare without regard to ASCII case, as the format wants.
    bool has(std::string_view name) const;
    std::string read(std::string_view name) const;

private:
    struct entry {
        std::string name;
        uint8_t type = 0;
        uint32_t left = 0, right = 0, child = 0, start = 0;
        uint64_t size = 0;
    };
    std::vector<uint32_t> chain(const std::vector<uint32_t>& table, uint32_t start, size_t limit) const;
    std::string read_chain(uint32_t start, uint64_t size) const;
    std::string read_mini_chain(uint32_t start, uint64_t size) const;
    std::string_view sector(uint32_t index) const;
    void read_fat(uint32_t fat_sectors, uint32_t first_difat, uint32_t difat_sectors);
    void read_directory(uint32_t first);
    const entry* find(std::string_view name) const;

    std::string_view file;
    uint32_t shift = 9;
    uint32_t sector_count = 0;
    std::vector<uint32_t> fat, mini_fat;
    std::vector<entry> entries;
    std::string mini_stream;
};

} // namespace platform::dao
