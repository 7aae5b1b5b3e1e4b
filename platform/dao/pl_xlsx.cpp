#include "platform/dao/pl_xlsx.hpp"

#include "platform/dao/pl_qxml.hpp"
#include "platform/dao/pl_rderr.hpp"
#include "platform/dao/pl_sax.hpp"
#include "platform/dao/pl_sxml.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <charconv>
#include <exception>
#include <future>
#include <map>

namespace platform::dao {

namespace {

bool ends_with(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

std::string_view folder_of(std::string_view part)
{
    const size_t slash = part.rfind('/');
    return slash == part.npos ? std::string_view() : part.substr(0, slash + 1);
}

// The code unit of an escape "_xHHHH_" at pos, or -1.
int escape_at(std::string_view s, size_t pos)
{
    if (pos + 7 > s.size() || s[pos] != '_' || s[pos + 1] != 'x' || s[pos + 6] != '_')
        return -1;
    int v = 0;
    for (size_t i = pos + 2; i < pos + 6; ++i) {
        const char c = s[i];
        const int d = c >= '0' && c <= '9' ? c - '0' : (c | 0x20) >= 'a' && (c | 0x20) <= 'f' ? (c | 0x20) - 'a' + 10 : -1;
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    return v;
}

// Relationships of one part: id -> (type, resolved target).
struct relationship {
    std::string type, target;
};

class rels_handler : public sax_handler {
public:
    explicit rels_handler(std::string_view base) : base(base) {}
    std::map<std::string, relationship> by_id;
    void start(std::string_view name, const char** a) override
    {
        if (name != "Relationship")
            return;
        const char *id = attribute(a, "Id"), *type = attribute(a, "Type"), *target = attribute(a, "Target"),
                   *mode = attribute(a, "TargetMode");
        if (id && type && target && !(mode && std::string_view(mode) == "External"))
            by_id[id] = {type, resolve_target(base, target)};
    }
    void end(std::string_view) override {}

private:
    std::string base;
};

std::map<std::string, relationship> read_rels(const zip_package& package, std::string_view part)
{
    const std::string folder(folder_of(part));
    const std::string rels = folder + "_rels/" + std::string(part.substr(folder.size())) + ".rels";
    rels_handler h(folder);
    if (package.has(rels))
        parse_part(package, rels, h);
    return std::move(h.by_id);
}

class workbook_handler : public sax_handler {
public:
    bool date1904 = false;
    std::vector<std::pair<std::string, std::string>> sheets;  // name, relationship id
    void start(std::string_view name, const char** a) override
    {
        if (!root_seen && name != "workbook")
            throw format_fault("the main part is no workbook");  // a document or a presentation
        root_seen = true;
        ++depth;
        // Only the workbook's own properties choose the date system: an
        // extension's element of the same local name (x14:workbookPr, which
        // current writers add) says nothing of it.
        if (name == "workbookPr" && depth == 2) {
            const char* v = attribute(a, "date1904");
            date1904 = v && (std::string_view(v) == "1" || std::string_view(v) == "true");
        } else if (name == "sheet") {
            const char *sheet = attribute(a, "name"), *id = attribute(a, "id");
            if (sheet && id)
                sheets.emplace_back(sheet, id);
        }
    }
    void end(std::string_view) override { --depth; }

private:
    bool root_seen = false;
    int depth = 0;
};

class strings_handler : public sax_handler {
public:
    strings_handler(text_pool& pool, std::vector<text_ref>& out) : pool(pool), out(out) {}
    void start(std::string_view name, const char** a) override
    {
        if (name == "si")
            item.clear();
        else if (name == "sst")
            expect(attribute(a, "uniqueCount"));
        else if (name == "rPh")
            ++phonetic;
        else if (name == "t" && phonetic == 0)
            capture = true;
    }
    void end(std::string_view name) override
    {
        if (name == "t") {
            capture = false;
        } else if (name == "rPh") {
            --phonetic;
        } else if (name == "si") {
            decode_xml_escapes(item);
            out.push_back(pool.add(item));
        }
    }
    void text(std::string_view t) override
    {
        if (item.size() + t.size() > text_pool::max_length)
            text_pool::refuse_long("shared string " + std::to_string(out.size()));
        item.append(t);
    }

    text_pool& pool;
    std::vector<text_ref>& out;
    std::string item;
    int phonetic = 0;

private:
    // The table says how many strings it holds: room for them is made once
    // instead of growing again and again. A hint only: a wrong or unreadable
    // count costs address space, never a refusal.
    void expect(const char* count)
    {
        constexpr uint32_t most = uint32_t(1) << 24;
        uint32_t n = 0;
        const std::string_view text = count != nullptr ? count : "";
        if (std::from_chars(text.data(), text.data() + text.size(), n).ec == std::errc() && n > 0)
            out.reserve(std::min(n, most));
    }
};

class styles_handler : public sax_handler {
public:
    std::map<uint32_t, cell_kind> custom;
    std::vector<uint32_t> cell_formats;
    void start(std::string_view name, const char** a) override
    {
        if (name == "numFmt") {
            const char *id = attribute(a, "numFmtId"), *code = attribute(a, "formatCode");
            if (id && code)
                custom[parse_index(id, "number format")] = classify_format_code(code);
        } else if (name == "cellXfs") {
            in_cell_xfs = true;
        } else if (name == "xf" && in_cell_xfs) {
            const char* id = attribute(a, "numFmtId");
            cell_formats.push_back(id ? parse_index(id, "number format") : 0);
        }
    }
    void end(std::string_view name) override
    {
        if (name == "cellXfs")
            in_cell_xfs = false;
    }

private:
    bool in_cell_xfs = false;
};

} // namespace

void decode_xml_escapes(std::string& text)
{
    size_t pos = text.find("_x");
    if (pos == text.npos)
        return;
    std::string out(text, 0, pos);
    std::wstring units;  // a run of escapes, which may pair surrogates
    while (pos < text.size()) {
        const int unit = escape_at(text, pos);
        if (unit >= 0) {
            units += wchar_t(unit);
            pos += 7;
            continue;
        }
        append_utf8(out, units);
        units.clear();
        out += text[pos++];
    }
    append_utf8(out, units);
    text = std::move(out);
}

std::string resolve_target(std::string_view base_folder, std::string_view target)
{
    std::string path(target);
    std::replace(path.begin(), path.end(), '\\', '/');  // as a package parted with backslashes writes them
    if (path.starts_with('/'))
        path.erase(0, 1);
    else
        path.insert(0, base_folder);
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == path.npos)
            slash = path.size();
        const std::string part = path.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : "/") + p;
    return out;
}

xlsx_reader::xlsx_reader(std::function<zip_package()> open, text_pool& pool)
    : open_package(std::move(open)), package(open_package()), pool(pool)
{
    for (const auto& [id, rel] : read_rels(package, ""))
        if (ends_with(rel.type, "/officeDocument")) {
            read_workbook(rel.target);
            return;
        }
    throw format_fault("no workbook in the package");
}

void xlsx_reader::read_workbook(const std::string& part)
{
    if (!package.has(part))
        throw format_fault("no workbook part " + part);
    const auto rels = read_rels(package, part);
    workbook_handler h;
    parse_part(package, part, h);
    date1904 = h.date1904;
    for (const auto& [name, id] : h.sheets) {
        const auto it = rels.find(id);
        if (it == rels.end() || !ends_with(it->second.type, "/worksheet"))
            continue;  // a chart, dialog or macro sheet
        sheet_names.push_back(name);
        sheet_parts.push_back(it->second.target);
    }
    for (const auto& [id, rel] : rels) {
        if (ends_with(rel.type, "/sharedStrings"))
            strings_part = rel.target;
        else if (ends_with(rel.type, "/styles"))
            styles_part = rel.target;
    }
}

void xlsx_reader::read_styles()
{
    style_kinds.clear();
    if (styles_part.empty() || !package.has(styles_part))
        return;
    styles_handler h;
    parse_part(package, styles_part, h);
    for (uint32_t id : h.cell_formats) {
        const auto it = h.custom.find(id);
        style_kinds.push_back(it != h.custom.end() ? it->second : classify_builtin_format(id));
    }
}

// The strings table is the one large part besides the worksheets, and plain
// XML as writers write it: the quick reader takes it. What it gives up on,
// expat reads again from the start, into a pool without the texts of the
// first attempt.
xlsx_reader::strings_read xlsx_reader::read_strings() const
{
    strings_read out;
    const zip_package own = open_package();
    const text_pool::mark before = out.pool.position();
    {
        strings_handler h(out.pool, out.refs);
        if (quick_parse_part(own, strings_part, h))
            return out;
    }
    out.pool.drop_after(before);
    out.refs.clear();
    strings_handler h(out.pool, out.refs);
    parse_part(own, strings_part, h);
    return out;
}

void xlsx_reader::keep_strings(strings_read read)
{
    const size_t base = pool.adopt(std::move(read.pool));
    shared_strings = std::move(read.refs);
    for (text_ref& ref : shared_strings)
        ref = text_pool::moved(ref, base);
}

// A failure of the strings comes first, as when they were read before the
// worksheet.
void xlsx_reader::read_sheet_with_strings(const std::string& part, table_builder& out)
{
    read_styles();
    std::future<strings_read> strings;
    if (!strings_part.empty() && package.has(strings_part))
        strings = std::async(std::launch::async, [this] { return read_strings(); });
    std::exception_ptr failure;
    try {
        read_sheet(package, part, sheet_context{style_kinds}, out);
    } catch (...) {
        failure = std::current_exception();
    }
    if (strings.valid())
        keep_strings(strings.get());
    shared_parts_read = true;
    if (failure)
        std::rethrow_exception(failure);
}

void xlsx_reader::load(size_t index, table_builder& out)
{
    const std::string& part = sheet_parts.at(index);
    out.set_date1904(date1904);
    if (shared_parts_read)
        read_sheet(package, part, sheet_context{style_kinds}, out);
    else
        read_sheet_with_strings(part, out);
    try {
        out.resolve_shared(shared_strings);
    } catch (const format_fault& e) {
        throw format_fault(part + ": " + e.what());
    }
}

} // namespace platform::dao
