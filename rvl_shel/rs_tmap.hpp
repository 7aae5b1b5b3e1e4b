// The type editor of one source table, over the active window.
#pragma once

#include <string>

class QWidget;

// Shows "Edit Table" for the table; a source or a types file that cannot be
// read raises its failure and shows nothing.
void open_types_editor(QWidget* owner, const std::wstring& table);
