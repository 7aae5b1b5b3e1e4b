#include "platform/dao/pl_cfb.hpp"

#include "platform/dao/pl_rderr.hpp"

#include <cstring>

namespace platform::dao {

namespace {

constexpr uint32_t end_of_chain = 0xFFFFFFFE;
constexpr uint32_t no_stream = 0xFFFFFFFF;
constexpr uint32_t header_size = 512;
constexpr uint32_t mini_shift = 6;
constexpr uint32_t mini_cutoff = 4096;

uint16_t le16(std::string_view s, size_t at)
{
    return uint16_t(uint8_t(s[at]) | uint8_t(s[at + 1]) << 8);
}

uint32_t le32(std::string_view s, size_t at)
{
    return uint32_t(le16(s, at)) | uint32_t(le16(s, at + 2)) << 16;
}

bool same_name(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] >= 'a' && a[i] <= 'z' ? a[i] - 32 : a[i]) != (b[i] >= 'a' && b[i] <= 'z' ? b[i] - 32 : b[i]))
            return false;
    return true;
}

std::vector<uint32_t> table_of(std::string_view bytes)
{
    std::vector<uint32_t> out(bytes.size() / 4);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = le32(bytes, i * 4);
    return out;
}

} // namespace

compound_file::compound_file(std::string_view bytes) : file(bytes)
{
    if (file.size() < header_size || le16(file, 0x1C) != 0xFFFE)
        throw format_fault("not a compound file");
    shift = le16(file, 0x1E);
    if ((shift != 9 && shift != 12) || le16(file, 0x20) != mini_shift)
        throw format_fault("compound file with unusual sector sizes");
    // Sector 0 starts after the header, which takes a whole sector.
    const size_t sector_size = size_t(1) << shift;
    sector_count = file.size() <= sector_size ? 0 : uint32_t((file.size() - sector_size + sector_size - 1) >> shift);
    read_fat(le32(file, 0x2C), le32(file, 0x44), le32(file, 0x48));
    read_directory(le32(file, 0x30));
    const uint32_t mini_fat_start = le32(file, 0x3C);
    if (mini_fat_start != end_of_chain && mini_fat_start != no_stream)
        mini_fat = table_of(read_chain(mini_fat_start, uint64_t(chain(fat, mini_fat_start, sector_count).size()) << shift));
    const entry& root = entries.at(0);
    if (root.type != 5)
        throw format_fault("compound file without a root");
    if (root.start != end_of_chain && root.start != no_stream)
        mini_stream = read_chain(root.start, root.size);
}

std::string_view compound_file::sector(uint32_t index) const
{
    const size_t size = size_t(1) << shift;
    const size_t at = (size_t(index) + 1) << shift;
    return file.substr(at, size);  // the last sector may be cut short
}

std::vector<uint32_t> compound_file::chain(const std::vector<uint32_t>& table, uint32_t start, size_t limit) const
{
    std::vector<uint32_t> out;
    for (uint32_t s = start; s != end_of_chain;) {
        if (s >= table.size() || s >= limit || out.size() >= limit)
            throw format_fault("broken sector chain in the compound file");
        out.push_back(s);
        s = table[s];
    }
    return out;
}

void compound_file::read_fat(uint32_t fat_sectors, uint32_t first_difat, uint32_t difat_sectors)
{
    if (fat_sectors > sector_count)
        throw format_fault("compound file allocation table larger than the file");
    std::vector<uint32_t> where;
    for (uint32_t i = 0; i < 109 && where.size() < fat_sectors; ++i)
        where.push_back(le32(file, 0x4C + i * 4));
    const uint32_t per_sector = (uint32_t(1) << shift) / 4 - 1;
    uint32_t next = first_difat;
    for (uint32_t n = 0; where.size() < fat_sectors; ++n) {
        if (n >= difat_sectors || n > sector_count || next >= sector_count)
            throw format_fault("broken allocation list in the compound file");
        const std::string_view s = sector(next);
        if (s.size() < (size_t(per_sector) + 1) * 4)
            throw format_fault("allocation list beyond the file");
        for (uint32_t i = 0; i < per_sector && where.size() < fat_sectors; ++i)
            where.push_back(le32(s, i * 4));
        next = le32(s, per_sector * 4);
    }
    fat.reserve(size_t(fat_sectors) << (shift - 2));
    for (uint32_t s : where) {
        if (s >= sector_count)
            throw format_fault("allocation table sector beyond the file");
        std::string bytes(sector(s));
        bytes.resize(size_t(1) << shift, '\xFF');
        const auto part = table_of(bytes);
        fat.insert(fat.end(), part.begin(), part.end());
    }
}

void compound_file::read_directory(uint32_t first)
{
    const std::string dir = read_chain(first, uint64_t(chain(fat, first, sector_count).size()) << shift);
    for (size_t at = 0; at + 128 <= dir.size(); at += 128) {
        const std::string_view e(dir.data() + at, 128);
        entry out;
        const size_t name_bytes = std::min<size_t>(le16(e, 0x40), 64);
        for (size_t i = 0; i + 1 < name_bytes; i += 2) {
            const uint16_t c = le16(e, i);
            if (c == 0)
                break;
            out.name += c < 0x80 ? char(c) : '?';
        }
        out.type = uint8_t(e[0x42]);
        out.left = le32(e, 0x44);
        out.right = le32(e, 0x48);
        out.child = le32(e, 0x4C);
        out.start = le32(e, 0x74);
        out.size = shift == 9 ? le32(e, 0x78) : uint64_t(le32(e, 0x78)) | uint64_t(le32(e, 0x7C)) << 32;
        entries.push_back(std::move(out));
    }
    if (entries.empty())
        throw format_fault("compound file without a directory");
}

std::string compound_file::read_chain(uint32_t start, uint64_t size) const
{
    const auto sectors = chain(fat, start, sector_count);
    if (size > uint64_t(sectors.size()) << shift)
        throw format_fault("stream longer than its sectors in the compound file");
    std::string out;
    out.reserve(size_t(size));
    for (uint32_t s : sectors) {
        if (out.size() >= size)
            break;
        const size_t want = std::min<size_t>(size_t(1) << shift, size_t(size) - out.size());
        const std::string_view bytes = sector(s).substr(0, want);
        out.append(bytes);
        out.append(want - bytes.size(), '\0');  // the file's last sector cut short
    }
    return out;
}

std::string compound_file::read_mini_chain(uint32_t start, uint64_t size) const
{
    const size_t mini_sectors = mini_stream.size() >> mini_shift;
    const auto sectors = chain(mini_fat, start, mini_sectors);
    if (size > uint64_t(sectors.size()) << mini_shift)
        throw format_fault("stream longer than its sectors in the compound file");
    std::string out;
    out.reserve(size_t(size));
    for (uint32_t s : sectors)
        out.append(mini_stream, size_t(s) << mini_shift, std::min<size_t>(size_t(1) << mini_shift, size_t(size) - out.size()));
    return out;
}

// Walks the root storage's tree of children; every entry is visited at most
// once, so a damaged tree cannot loop.
const compound_file::entry* compound_file::find(std::string_view name) const
{
    std::vector<uint32_t> todo{entries[0].child};
    std::vector<bool> seen(entries.size());
    while (!todo.empty()) {
        const uint32_t i = todo.back();
        todo.pop_back();
        if (i >= entries.size() || seen[i])
            continue;
        seen[i] = true;
        const entry& e = entries[i];
        if (e.type == 2 && same_name(e.name, name))
            return &e;
        todo.push_back(e.left);
        todo.push_back(e.right);
    }
    return nullptr;
}

bool compound_file::has(std::string_view name) const
{
    return find(name) != nullptr;
}

std::string compound_file::read(std::string_view name) const
{
    const entry* e = find(name);
    if (e == nullptr)
        throw format_fault("no stream " + std::string(name) + " in the compound file");
    if (e->size == 0)
        return "";
    return e->size < mini_cutoff ? read_mini_chain(e->start, e->size) : read_chain(e->start, e->size);
}

} // namespace platform::dao
