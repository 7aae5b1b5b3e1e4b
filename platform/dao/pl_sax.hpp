// Streamed XML through expat. Elements and attributes are matched by local
// name (the part after a prefix), so "x:c" and "c", and the transitional and
// strict namespaces alike, reach the handler as "c". A document type
// declaration, malformed XML or a failing handler is a format_fault.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <string_view>

struct XML_ParserStruct;

namespace platform::dao {

class zip_package;

class sax_handler {
public:
    virtual ~sax_handler() = default;
    virtual void start(std::string_view name, const char** attributes) = 0;
    virtual void end(std::string_view name) = 0;
    // Only called while the handler captures: most of a part's text is
    // indentation nobody reads.
    virtual void text(std::string_view) {}
    bool capture = false;
};

std::string_view local_name(const char* name);
// The value of the attribute with that local name, or null.
const char* attribute(const char** attributes, std::string_view name);

class sax_parser {
public:
    explicit sax_parser(sax_handler& handler);
    void feed(const char* data, size_t size, bool last);

private:
    struct parser_free { void operator()(XML_ParserStruct* p) const; };
    static void on_start(void* self, const char* name, const char** attributes);
    static void on_end(void* self, const char* name);
    static void on_text(void* self, const char* text, int size);
    static void on_doctype(void* self, const char*, const char*, const char*, int);
    void fail(std::exception_ptr e);

    sax_handler& handler;
    std::unique_ptr<XML_ParserStruct, parser_free> parser;
    std::exception_ptr failure;
};

// Parses one part of a package from start to end.
void parse_part(const zip_package& package, const std::string& name, sax_handler& handler);

} // namespace platform::dao
