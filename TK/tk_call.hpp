// Where a word of an SQL text is the name of a function being called: the
// view rewriting renames function names only there, so a column, a keyword
// or a longer name that holds the same letters stays as it is.
#pragma once

#include <cstddef>
#include <string>

// True when the length characters at start stand as a word of their own (no
// letter, digit or "_" just before) and a "(" follows, after optional blanks.
bool tk_is_call(const std::wstring& text, size_t start, size_t length);
