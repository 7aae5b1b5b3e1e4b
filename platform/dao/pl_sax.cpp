#include "platform/dao/pl_sax.hpp"

#include "platform/dao/pl_rderr.hpp"
#include "platform/dao/pl_zip.hpp"

#include <expat.h>

namespace platform::dao {

// One pass over the name: this runs for every element and attribute.
std::string_view local_name(const char* name)
{
    const char* start = name;
    const char* p = name;
    for (; *p != '\0'; ++p)
        if (*p == ':')
            start = p + 1;
    return std::string_view(start, size_t(p - start));
}

const char* attribute(const char** attributes, std::string_view name)
{
    for (; *attributes != nullptr; attributes += 2)
        if (local_name(attributes[0]) == name)
            return attributes[1];
    return nullptr;
}

void sax_parser::parser_free::operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }

sax_parser::sax_parser(sax_handler& handler) : handler(handler), parser(XML_ParserCreate(nullptr))
{
    if (!parser)
        throw std::bad_alloc();
    XML_SetUserData(parser.get(), this);
    XML_SetElementHandler(parser.get(), on_start, on_end);
    XML_SetCharacterDataHandler(parser.get(), on_text);
    XML_SetStartDoctypeDeclHandler(parser.get(), on_doctype);
}

// Handlers run inside expat's C code: an exception must not cross it, so it
// stops the parser and is raised again once expat has returned.
void sax_parser::fail(std::exception_ptr e)
{
    if (!failure)
        failure = e;
    XML_StopParser(parser.get(), XML_FALSE);
}

void sax_parser::on_start(void* self, const char* name, const char** attributes)
{
    auto* p = static_cast<sax_parser*>(self);
    try {
        p->handler.start(local_name(name), attributes);
    } catch (...) {
        p->fail(std::current_exception());
    }
}

void sax_parser::on_end(void* self, const char* name)
{
    auto* p = static_cast<sax_parser*>(self);
    try {
        p->handler.end(local_name(name));
    } catch (...) {
        p->fail(std::current_exception());
    }
}

void sax_parser::on_text(void* self, const char* text, int size)
{
    auto* p = static_cast<sax_parser*>(self);
    if (!p->handler.capture)
        return;
    try {
        p->handler.text(std::string_view(text, size_t(size)));
    } catch (...) {
        p->fail(std::current_exception());
    }
}

void sax_parser::on_doctype(void* self, const char*, const char*, const char*, int)
{
    static_cast<sax_parser*>(self)->fail(std::make_exception_ptr(format_fault("XML with a document type")));
}

void sax_parser::feed(const char* data, size_t size, bool last)
{
    while (true) {
        const int chunk = size > (1u << 30) ? (1 << 30) : int(size);
        const bool final_chunk = last && size_t(chunk) == size;
        const XML_Status status = XML_Parse(parser.get(), data, chunk, final_chunk);
        if (failure)
            std::rethrow_exception(failure);
        if (status != XML_STATUS_OK)
            throw format_fault(std::string("malformed XML: ") + XML_ErrorString(XML_GetErrorCode(parser.get())) +
                               " at line " + std::to_string(XML_GetCurrentLineNumber(parser.get())));
        data += chunk;
        size -= size_t(chunk);
        if (size == 0)
            return;
    }
}

void parse_part(const zip_package& package, const std::string& name, sax_handler& handler)
{
    sax_parser parser(handler);
    try {
        package.read(name, [&](const char* data, size_t size) { parser.feed(data, size, false); });
        parser.feed("", 0, true);
    } catch (const format_fault& e) {
        throw format_fault(name + ": " + e.what());
    }
}

} // namespace platform::dao
