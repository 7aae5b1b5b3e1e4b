// A quick reader for the plain XML that workbook writers put in most parts:
// elements, attributes of ASCII text, and UTF-8 character data with the five
// predefined entities. It reads a part in place, a buffer at a time, and
// calls a sax_handler as expat would, where expat spends most of a large
// shared strings table's reading on its own generality.
//
// It never decides about XML it does not take: at the first thing outside
// that subset (a comment, a CDATA section, a document type, a character
// reference, a carriage return, a token longer than its buffer) or anything
// malformed, or when the handler throws, it gives up. The part is then to be
// read again by expat from the start, with a new handler, so that what is
// accepted and every refusal's words stay expat's.
#pragma once

#include "platform/dao/pl_sax.hpp"
#include "platform/dao/pl_zip.hpp"

#include <string>

namespace platform::dao {

// True when the whole part was read; false when the reader gave up, and the
// handler, which has seen part of the events, is to be thrown away.
bool quick_parse_part(const zip_package& package, const std::string& name, sax_handler& handler);

} // namespace platform::dao
