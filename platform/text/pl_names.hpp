// The column names of a header made unique as the server compares names
// (equal_names): a header's name that no header before it has stays as it
// is; a repeated one, and the generated name of an empty header (F1...), is
// numbered from itself (1, 2, ...) until it is the name of no header at all
// and of no column before it, so no column is ever called what another
// column is headed. Characters no identifier holds are made '_' first
// (identifier_chars); a name so changed is numbered like a generated one
// when it meets a header's name ("\x01" beside "_" becomes "_1").
#pragma once

#include <string>
#include <vector>

namespace platform {

// The name with every character a MySQL identifier cannot hold made '_':
// NUL and the other control characters, characters outside the Basic
// Multilingual Plane (which older servers cannot store) and lone surrogates.
// Nothing is cut: a NUL never ends a name early.
std::wstring identifier_chars(std::wstring name);

// The name wanted, taken, with a number (from 1) of its own.
using name_numberer = std::wstring (*)(const std::wstring& wanted, unsigned number);

// names[i] is the header's name, or its generated name when generated[i].
void make_names_unique(std::vector<std::wstring>& names, const std::vector<bool>& generated, name_numberer number);

} // namespace platform
