// Read access to the parts of a zip package through libzip. Every failure,
// a truncated archive or a damaged compressed stream included, is a
// format_fault.
#pragma once

#include <cstddef>
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

    bool has(const std::string& name) const;
    // Calls sink(data, size) with the part's bytes, a block at a time.
    template <class Sink> void read(const std::string& name, Sink&& sink) const
    {
        part p = open(name);
        char block[1 << 16];
        for (size_t n; (n = p.read(block, sizeof block)) > 0;)
            sink(block, n);
    }

private:
    struct zip_closer { void operator()(zip* z) const; };
    struct file_closer { void operator()(zip_file* f) const; };
    class part {
    public:
        explicit part(zip_file* f) : file(f) {}
        size_t read(char* out, size_t size);
    private:
        std::unique_ptr<zip_file, file_closer> file;
    };
    part open(const std::string& name) const;

    std::unique_ptr<zip, zip_closer> archive;
};

} // namespace platform::dao
