#include "SQL/dmp_out.hpp"

#include <cerrno>

namespace {
// Large enough that rows reach the disk in few system calls.
constexpr size_t buffer_size = 1 << 20;
}

dmp_out::dmp_out(const std::string& path) : file(std::fopen(path.c_str(), "wb"))
{
    if (!file) {
        first_error = errno;
        return;
    }
    buffer = std::make_unique<char[]>(buffer_size);
    std::setvbuf(file.get(), buffer.get(), _IOFBF, buffer_size);
}

void dmp_out::fail()
{
    if (first_error == 0)
        first_error = errno != 0 ? errno : EIO;
}

void dmp_out::write(std::string_view bytes)
{
    if (!file || bytes.empty())
        return;
    total += bytes.size();
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        fail();
}

bool dmp_out::close()
{
    if (file) {
        errno = 0;
        if (std::fflush(file.get()) != 0 || std::ferror(file.get()))
            fail();
        if (std::fclose(file.release()) != 0)
            fail();
    }
    return first_error == 0;
}
