// The type editor of one source table, over the active window.
#pragma once

#include <string>
#include <utility>
#include <vector>

class QWidget;

// Shows "Edit Table" for the table; a source or a types file that cannot be
// read raises its failure and shows nothing. taken: the table names the
// run's other sources have or will have, each with its source's name, which
// this table may not take.
void open_types_editor(QWidget* owner, const std::wstring& table,
                       std::vector<std::pair<std::wstring, std::wstring>> taken = {});
