#include "platform/dao/pl_zip.hpp"

#include "platform/dao/pl_rderr.hpp"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace platform::dao {

void zip_package::zip_closer::operator()(zip* z) const { zip_discard(z); }
void zip_package::part::file_closer::operator()(zip_file* f) const { zip_fclose(f); }

zip_package::zip_package(const void* bytes, size_t size) : archive_size(size)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes, size, 0, &error);
    if (source != nullptr) {
        archive.reset(zip_open_from_source(source, ZIP_RDONLY, &error));
        if (!archive)
            zip_source_free(source);
    }
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    if (!archive)
        throw format_fault("not a readable zip archive: " + text);
    index_backslashed_names();
}

zip_package::zip_package(const std::string& path)
{
    int code = 0;
    archive.reset(zip_open(path.c_str(), ZIP_RDONLY, &code));
    if (!archive) {
        zip_error_t error;
        zip_error_init_with_code(&error, code);
        const std::string text = zip_error_strerror(&error);
        zip_error_fini(&error);
        throw format_fault("not a readable zip archive: " + text);
    }
    std::error_code ec;
    archive_size = std::filesystem::file_size(path, ec);
    if (ec)
        throw format_fault("cannot read the size of the archive: " + ec.message());
    index_backslashed_names();
}

namespace {

std::string slashed_lower(std::string name)
{
    for (char& c : name)
        c = c == '\\' ? '/' : c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    return name;
}

} // namespace

void zip_package::index_backslashed_names()
{
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    bool any = false;
    for (zip_int64_t i = 0; i < count && !any; ++i) {
        const char* name = zip_get_name(archive.get(), zip_uint64_t(i), 0);
        any = name != nullptr && std::strchr(name, '\\') != nullptr;
    }
    if (!any)
        return;
    for (zip_int64_t i = 0; i < count; ++i)
        if (const char* name = zip_get_name(archive.get(), zip_uint64_t(i), 0))
            slashed_names.emplace(slashed_lower(name), uint64_t(i));
}

int64_t zip_package::locate(const std::string& name) const
{
    const zip_int64_t index = zip_name_locate(archive.get(), name.c_str(), ZIP_FL_NOCASE);
    if (index >= 0 || slashed_names.empty())
        return index;
    const auto it = slashed_names.find(slashed_lower(name));
    return it != slashed_names.end() ? int64_t(it->second) : -1;
}

bool zip_package::has(const std::string& name) const { return locate(name) >= 0; }

zip_package::part zip_package::open(const std::string& name) const
{
    const zip_int64_t index = locate(name);
    zip_file* f = index < 0 ? nullptr : zip_fopen_index(archive.get(), zip_uint64_t(index), 0);
    if (f == nullptr)
        throw format_fault("cannot open part " + name + ": " + zip_strerror(archive.get()));
    zip_stat_t stat;
    zip_stat_init(&stat);
    uint64_t compressed = archive_size, claimed = 0;
    if (zip_stat_index(archive.get(), zip_uint64_t(index), 0, &stat) == 0) {
        if ((stat.valid & ZIP_STAT_COMP_SIZE) != 0)
            compressed = std::min<uint64_t>(compressed, stat.comp_size);
        if ((stat.valid & ZIP_STAT_SIZE) != 0)
            claimed = stat.size;
    }
    return part(f, compressed, claimed);
}

size_t zip_package::part::read(char* out, size_t size)
{
    const zip_int64_t n = zip_fread(file.get(), out, size);
    if (n < 0)
        throw format_fault(std::string("damaged compressed data: ") + zip_file_strerror(file.get()));
    inflated += uint64_t(n);
    if (inflated > max_part_size && inflated > compressed * max_part_ratio)
        throw format_fault("the part inflates past " + std::to_string(max_part_size >> 20) + " MiB at more than " +
                           std::to_string(max_part_ratio) + " times its " + std::to_string(compressed) +
                           " compressed bytes; no workbook does that");
    return size_t(n);
}

read_ahead::read_ahead(zip_package::part p) : part(std::move(p))
{
    if (part.compressed_size() < worth_a_thread)
        return;
    for (size_t i = 0; i < block_count; ++i)
        empty.push_back(block{std::make_unique_for_overwrite<char[]>(block_size), 0});
    worker = std::jthread([this](std::stop_token stop) { run(stop); });
}

void read_ahead::run(std::stop_token stop)
{
    try {
        for (bool last = false; !last;) {
            block b;
            {
                std::unique_lock l(lock);
                if (!changed.wait(l, stop, [&] { return !empty.empty(); }))
                    return;
                b = std::move(empty.front());
                empty.pop_front();
            }
            b.size = 0;
            for (size_t n = 1; n > 0 && b.size < block_size; b.size += n)
                n = part.read(b.data.get() + b.size, block_size - b.size);
            last = b.size < block_size;
            const std::lock_guard l(lock);
            full.push_back(std::move(b));
            finished = last;
            changed.notify_all();
        }
    } catch (...) {
        const std::lock_guard l(lock);
        failure = std::current_exception();
        finished = true;
        changed.notify_all();
    }
}

size_t read_ahead::read(char* out, size_t size)
{
    if (!worker.joinable())
        return part.read(out, size);
    while (at == current.size) {
        std::unique_lock l(lock);
        if (current.data) {
            empty.push_back(std::move(current));
            changed.notify_all();
        }
        current = block();
        at = 0;
        changed.wait(l, [&] { return !full.empty() || finished; });
        if (full.empty()) {
            if (failure)
                std::rethrow_exception(failure);
            return 0;
        }
        current = std::move(full.front());
        full.pop_front();
    }
    const size_t n = std::min(size, current.size - at);
    std::memcpy(out, current.data.get() + at, n);
    at += n;
    return n;
}

size_t read_ahead::drop_read(char* buffer, size_t& pos, size_t& end)
{
    const size_t dropped = pos;
    if (pos > 0) {
        std::memmove(buffer, buffer + pos, end - pos);
        end -= pos;
        pos = 0;
    }
    return dropped;
}

bool read_ahead::read_more(char* buffer, size_t size, size_t& end, bool& at_eof)
{
    const size_t n = read(buffer + end, size - end);
    at_eof = n == 0;
    end += n;
    return n > 0;
}

} // namespace platform::dao
