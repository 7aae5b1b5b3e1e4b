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

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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
        part(zip_file* f, std::string name, uint64_t compressed) : file(f), name(std::move(name)), compressed(compressed) {}
        size_t read(char* out, size_t size);
    private:
        struct file_closer { void operator()(zip_file* f) const; };
        std::unique_ptr<zip_file, file_closer> file;
        std::string name;
        uint64_t compressed;    // bytes of the part in the archive
        uint64_t inflated = 0;  // bytes read so far
    };
    part open(const std::string& name) const;

private:
    struct zip_closer { void operator()(zip* z) const; };

    std::unique_ptr<zip, zip_closer> archive;
    uint64_t archive_size = 0;  // no part's compressed bytes can be more
};

} // namespace platform::dao
