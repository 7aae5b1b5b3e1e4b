// A workbook opened for reading. Its format is known by its content, never by
// its name: a zip package is Office Open XML, a compound file holds a BIFF8
// or BIFF5 workbook. The sheet list is read when the workbook opens; each
// sheet is read once, on first use, and kept.
//
// Failures are read_error: a missing file, an encrypted workbook, or anything
// that is not a workbook we can read (a damaged one included).
#pragma once

#include "platform/dao/pl_pool.hpp"
#include "platform/dao/pl_rderr.hpp"
#include "platform/dao/pl_sheet.hpp"
#include "platform/dao/pl_table.hpp"

#include <memory>
#include <string>
#include <vector>

namespace platform::dao {

// Whether the file's content begins as a workbook does (a zip package, a
// compound file, or the bare stream of an Excel 2.x-4.0 worksheet, which is
// refused when opened), whatever its name; false for a file that cannot be
// read.
bool has_workbook_signature(const std::string& path);

class workbook {
public:
    // path is UTF-8. With header_row each sheet's first row names its columns.
    static std::unique_ptr<workbook> open(const std::string& path, bool header_row);
    // The same for a workbook already in memory; name stands for the file in
    // error descriptions.
    static std::unique_ptr<workbook> open_bytes(std::string bytes, const std::string& name, bool header_row);

    const std::string& path() const { return file_path; }
    const std::vector<std::string>& sheet_names() const { return source->names(); }
    const sheet_table& sheet(size_t index);

private:
    workbook(std::string path, bool header_row) : file_path(std::move(path)), header_row(header_row) {}
    void start(bool from_bytes);
    template <class F> void guarded(F&& f);

    std::string file_path;
    bool header_row;
    std::string bytes;  // the file, when it is read whole
    text_pool pool;
    std::unique_ptr<sheet_source> source;
    std::vector<std::unique_ptr<sheet_table>> tables;
};

} // namespace platform::dao
