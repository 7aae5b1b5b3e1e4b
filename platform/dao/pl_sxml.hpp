// A small XML scanner made for worksheet parts, which hold most of a
// workbook's bytes: it reads the part straight into a buffer of its own and
// takes elements, attributes and text in place, where a general parser
// copies and converts every name, attribute and piece of text it meets.
//
// It takes what worksheets hold: elements with attributes, character data
// with the five predefined entities and character references, CDATA
// sections, comments and processing instructions, in UTF-8. It refuses as
// format_fault, like the general parser, a document type declaration (and
// so any other entity), tags that do not nest, text outside the root, and
// kept text that is no valid UTF-8 or holds characters XML does not allow.
// A worksheet written in another encoding is refused by name.
#pragma once

#include "platform/dao/pl_sax.hpp"
#include "platform/dao/pl_zip.hpp"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::dao {

class sheet_scanner {
public:
    explicit sheet_scanner(sax_handler& handler) : handler(handler) {}
    // Reads the part from start to end; failures name the part.
    void parse(const zip_package& package, const std::string& name);

private:
    static constexpr size_t initial_size = size_t(256) << 10;

    void run();
    bool fill();
    [[noreturn]] void fail(const std::string& what) const;
    void start_of_document();
    void text_until(size_t stop);
    void keep_text(std::string_view raw, bool entities);
    void check_entities(std::string_view raw) const;
    size_t find(size_t from, std::string_view terminator);
    bool markup();
    bool start_tag();
    bool end_tag();
    void special(size_t end_of_token);
    void declaration(std::string_view body) const;

    sax_handler& handler;
    std::unique_ptr<zip_package::part> in;
    std::unique_ptr<char[]> buf;
    size_t size = 0, pos = 0, end = 0;
    bool at_eof = false;
    size_t lines = 0;  // line breaks in the bytes already dropped from the buffer
    std::vector<std::string> open;  // names of the open elements; depth of them in use
    size_t depth = 0;
    bool root_seen = false;
    std::vector<size_t> marks;         // offsets of attribute names and values in the current tag
    std::vector<const char*> attributes;
    std::string decoded;               // kept text with its references undone
};

} // namespace platform::dao
