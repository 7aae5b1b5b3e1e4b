#include "TK/tk_lines.hpp"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

tk_line_reader::tk_line_reader(const std::string& path) : file(std::fopen(path.c_str(), "rb"))
{
    struct stat st {};
    if (file && (::fstat(::fileno(file.get()), &st) != 0 || S_ISDIR(st.st_mode))) {
        file.reset();
        errno = EISDIR;
    }
}

tk_line_reader::~tk_line_reader() { std::free(buffer); }

bool tk_line_reader::next(std::string& line)
{
    if (!file)
        return false;
    const ssize_t length = ::getline(&buffer, &capacity, file.get());
    if (length < 0)
        return false;
    size_t end = static_cast<size_t>(length);
    if (end > 0 && buffer[end - 1] == '\n') {
        --end;
        if (end > 0 && buffer[end - 1] == '\r')
            --end;
    }
    line.assign(buffer, end);
    return true;
}

bool tk_line_reader::failed() const { return file && std::ferror(file.get()) != 0; }
