#include "platform/dao/pl_qxml.hpp"

#include "platform/dao/pl_sxml.hpp"

#include <cstring>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::dao {

namespace {

// Raised inside the reader at the first thing it does not take.
struct gave_up {};

void take(bool ok)
{
    if (!ok)
        throw gave_up();
}

// The declarations workbook writers write, taken as they stand: expat checks
// every part of any other.
constexpr std::string_view declarations[] = {
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)",
    R"(<?xml version="1.0" encoding="UTF-8"?>)",
};

constexpr std::pair<std::string_view, char> predefined[] = {
    {"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}};

// The namespaces no prefix may be bound to but their own.
constexpr std::string_view xml_namespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view xmlns_namespace = "http://www.w3.org/2000/xmlns/";

bool is_space(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }
bool is_name_start(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_name_char(char c) { return is_name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':'; }
// Attribute values of printable ASCII need no normalizing.
bool is_plain_value_char(char c) { return c >= 0x20 && c < 0x7F && c != '<' && c != '&'; }

std::string_view local_of(std::string_view name)
{
    const size_t colon = name.rfind(':');
    return colon == name.npos ? name : name.substr(colon + 1);
}

// The predefined entity at text[at] ('&'): its character and length.
std::pair<char, size_t> entity_at(std::string_view text, size_t at)
{
    const std::string_view rest = text.substr(at + 1);
    for (const auto& [name, c] : predefined)
        if (rest.starts_with(name))
            return {c, name.size() + 1};
    throw gave_up();
}

// Declarations of namespaces are plain attributes to a parser without
// namespaces, but those a namespace-aware reader would refuse are left to
// expat.
void check_namespace(std::string_view name, std::string_view value)
{
    if (name != "xmlns" && !name.starts_with("xmlns:"))
        return;
    take(value != xml_namespace && value != xmlns_namespace);
    if (name.starts_with("xmlns:"))
        take(!value.empty() && name != "xmlns:xml" && name != "xmlns:xmlns");
}

class quick_reader {
public:
    quick_reader(zip_package::part part, sax_handler& handler)
        : in(std::move(part)), handler(handler), buf(std::make_unique_for_overwrite<char[]>(buffer_size)) {}
    void run();

private:
    // A text or a tag must fit the buffer whole; a longer one is left to expat.
    static constexpr size_t buffer_size = size_t(1) << 20;

    bool fill();
    void declaration();
    void text(std::string_view raw);
    bool tag();
    bool start_tag();
    bool end_tag();
    size_t name_end(size_t from) const;
    void keep_attribute(size_t index, std::string_view name, std::string_view value);

    read_ahead in;
    sax_handler& handler;
    std::unique_ptr<char[]> buf;
    size_t pos = 0, end = 0;
    bool at_eof = false;
    std::vector<std::string> open;  // names of the open elements; depth of them in use
    size_t depth = 0;
    bool root_seen = false;
    std::string decoded;  // a text with its entities undone
    // A start tag's attributes as the handler takes them: name, value, ...,
    // then a null; the texts are kept from tag to tag.
    std::vector<std::string> attribute_text;
    std::vector<const char*> attributes;
};

// Drops what has been read and reads more; false when nothing more came or
// the buffer is full.
bool quick_reader::fill()
{
    read_ahead::drop_read(buf.get(), pos, end);
    if (at_eof || end == buffer_size)
        return false;
    return in.read_more(buf.get(), buffer_size, end, at_eof);
}

void quick_reader::run()
{
    while (end < declarations[0].size() && fill()) {
    }
    declaration();
    while (true) {
        const char* lt = static_cast<const char*>(std::memchr(buf.get() + pos, '<', end - pos));
        if (lt == nullptr) {
            if (fill())
                continue;
            take(at_eof);
            text(std::string_view(buf.get() + pos, end - pos));
            break;
        }
        text(std::string_view(buf.get() + pos, size_t(lt - (buf.get() + pos))));
        pos = size_t(lt - buf.get());
        if (!tag())
            take(fill());
    }
    take(root_seen && depth == 0);
}

void quick_reader::declaration()
{
    const std::string_view head(buf.get(), end);
    if (!head.starts_with("<?"))
        return;
    for (const std::string_view d : declarations)
        if (head.starts_with(d)) {
            pos = d.size();
            return;
        }
    throw gave_up();
}

// Character data: checked as expat checks it, and handed to the handler
// when it captures.
void quick_reader::text(std::string_view raw)
{
    if (raw.empty())
        return;
    if (depth == 0) {  // before or after the root: white space only
        for (const char c : raw)
            take(is_space(c));
        return;
    }
    bool plain = true;
    const auto* s = reinterpret_cast<const unsigned char*>(raw.data());
    for (size_t i = 0; i < raw.size();) {
        const unsigned char c = s[i];
        if (c >= 0x20 && c < 0x80 && c != '&' && c != ']') {
            ++i;
        } else if (c == '&') {
            i += entity_at(raw, i).second;
            plain = false;
        } else if (c == ']') {
            take(raw.substr(i, 3) != "]]>");
            ++i;
        } else {
            const size_t n = xml_char_length(s + i, raw.size() - i);
            take(n > 0);
            plain = plain && c != '\r';
            i += n;
        }
    }
    if (!handler.capture)
        return;
    if (plain) {
        handler.text(raw);
        return;
    }
    // Entities undone; a line ends with a line feed alone, as XML reads it.
    decoded.clear();
    for (size_t i = 0; i < raw.size();) {
        if (raw[i] == '&') {
            const auto [c, length] = entity_at(raw, i);
            decoded += c;
            i += length;
        } else if (raw[i] == '\r') {
            decoded += '\n';
            i += i + 1 < raw.size() && raw[i + 1] == '\n' ? 2 : 1;
        } else {
            decoded += raw[i++];
        }
    }
    handler.text(decoded);
}

// At a '<'. False when the tag does not end within the buffer yet.
bool quick_reader::tag()
{
    if (end - pos < 2)
        return false;
    const char next = buf[pos + 1];
    if (next == '/')
        return end_tag();
    take(next != '!' && next != '?');  // comments, CDATA, instructions, document types
    return start_tag();
}

size_t quick_reader::name_end(size_t from) const
{
    while (from < end && is_name_char(buf[from]))
        ++from;
    return from;
}

void quick_reader::keep_attribute(size_t index, std::string_view name, std::string_view value)
{
    check_namespace(name, value);
    for (size_t k = 0; k < index; ++k)
        take(attribute_text[2 * k] != name);  // a repeated attribute
    if (attribute_text.size() < 2 * (index + 1))
        attribute_text.resize(2 * (index + 1));
    attribute_text[2 * index].assign(name);
    attribute_text[2 * index + 1].assign(value);
}

bool quick_reader::start_tag()
{
    const char* b = buf.get();
    size_t i = name_end(pos + 1);
    if (i == end)
        return false;
    take(is_name_start(b[pos + 1]));
    const std::string_view name(b + pos + 1, i - pos - 1);
    size_t count = 0;
    bool empty = false;
    while (true) {
        const size_t gap = i;
        while (i < end && is_space(b[i]))
            ++i;
        if (i == end)
            return false;
        if (b[i] == '>')
            break;
        if (b[i] == '/') {
            if (i + 1 == end)
                return false;
            take(b[i + 1] == '>');
            empty = true;
            ++i;
            break;
        }
        take(i > gap && is_name_start(b[i]));
        const size_t attribute_start = i;
        i = name_end(i);
        const std::string_view attribute(b + attribute_start, i - attribute_start);
        while (i < end && is_space(b[i]))
            ++i;
        if (i == end)
            return false;
        take(b[i] == '=');
        ++i;
        while (i < end && is_space(b[i]))
            ++i;
        if (i == end)
            return false;
        const char quote = b[i];
        take(quote == '"' || quote == '\'');
        const size_t value_start = ++i;
        for (; i < end && b[i] != quote; ++i)
            take(is_plain_value_char(b[i]));
        if (i == end)
            return false;
        keep_attribute(count++, attribute, std::string_view(b + value_start, i - value_start));
        ++i;
    }
    take(depth > 0 || !root_seen);  // a second root
    root_seen = true;
    pos = i + 1;
    attributes.clear();
    for (size_t k = 0; k < 2 * count; ++k)
        attributes.push_back(attribute_text[k].c_str());
    attributes.push_back(nullptr);
    const std::string_view local = local_of(name);
    if (empty) {
        handler.start(local, attributes.data());
        handler.end(local);
        return true;
    }
    if (open.size() == depth)
        open.emplace_back();
    open[depth++].assign(name);
    handler.start(local, attributes.data());
    return true;
}

bool quick_reader::end_tag()
{
    size_t i = name_end(pos + 2);
    const std::string_view name(buf.get() + pos + 2, i - pos - 2);
    while (i < end && is_space(buf[i]))
        ++i;
    if (i == end)
        return false;
    take(buf[i] == '>' && depth > 0 && open[depth - 1] == name);
    --depth;
    pos = i + 1;
    handler.end(local_of(name));
    return true;
}

} // namespace

bool quick_parse_part(const zip_package& package, const std::string& name, sax_handler& handler)
{
    // Whatever stops the reader, its own doubt, the handler or the package,
    // expat meets again when it reads the part: it is the one to report it.
    try {
        quick_reader(package.open(name), handler).run();
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace platform::dao
