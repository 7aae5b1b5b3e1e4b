// Small .xlsx packages made in memory: one worksheet "S" and, when given,
// its shared strings, or several worksheets of inline texts, deflated as a
// spreadsheet program would store them (or stored as they are, for the
// fuzzer).
#pragma once

#include <zip.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

inline const char* const xlsx_main_ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

inline std::string xlsx_sheet(const std::string& rows)
{
    return std::string("<worksheet xmlns=\"") + xlsx_main_ns + "\"><sheetData>" + rows + "</sheetData></worksheet>";
}

// The zip package of these parts (name, text), each deflated or stored by
// method.
inline std::string xlsx_zip(const std::vector<std::pair<std::string, std::string>>& parts,
                               int32_t method = ZIP_CM_DEFAULT)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(buffer);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    if (archive == nullptr)
        throw std::runtime_error("cannot make a package");
    for (const auto& [name, text] : parts) {
        const zip_int64_t index = zip_file_add(archive, name.c_str(), zip_source_buffer(archive, text.data(), text.size(), 0), 0);
        if (index < 0 || zip_set_file_compression(archive, zip_uint64_t(index), method, 0) < 0)
            throw std::runtime_error("cannot add " + name);
    }
    std::string out;
    if (zip_close(archive) < 0 || zip_source_open(buffer) != 0)
        throw std::runtime_error("cannot write the package");
    char block[1 << 16];
    for (zip_int64_t n; (n = zip_source_read(buffer, block, sizeof block)) > 0;)
        out.append(block, size_t(n));
    zip_source_close(buffer);
    zip_source_free(buffer);
    return out;
}

// A package of several worksheets (name, sheet XML), in that order, without
// shared strings: cells hold their texts inline.
inline std::string xlsx_workbook(const std::vector<std::pair<std::string, std::string>>& sheets)
{
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string pkg = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    std::string book = std::string("<workbook xmlns=\"") + xlsx_main_ns + "\" xmlns:r=\"" + rel + "\"><sheets>";
    std::string book_rels = pkg;
    std::vector<std::pair<std::string, std::string>> parts = {
        {"_rels/.rels", pkg + "<Relationship Id=\"r1\" Type=\"" + rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"}};
    for (size_t i = 0; i < sheets.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        book += "<sheet name=\"" + sheets[i].first + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        book_rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + rel + "/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        parts.emplace_back("xl/worksheets/sheet" + n + ".xml", sheets[i].second);
    }
    parts.emplace_back("xl/workbook.xml", book + "</sheets></workbook>");
    parts.emplace_back("xl/_rels/workbook.xml.rels", book_rels + "</Relationships>");
    return xlsx_zip(parts);
}

inline std::string xlsx_package(const std::string& sheet, const std::string& strings = "",
                                int32_t method = ZIP_CM_DEFAULT)
{
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string pkg = "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    std::string book_rels = pkg + "<Relationship Id=\"rId1\" Type=\"" + rel + "/worksheet\" Target=\"worksheets/sheet1.xml\"/>";
    if (!strings.empty())
        book_rels += "<Relationship Id=\"rId2\" Type=\"" + rel + "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    std::vector<std::pair<std::string, std::string>> parts = {
        {"_rels/.rels", pkg + "<Relationship Id=\"r1\" Type=\"" + rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
        {"xl/workbook.xml", std::string("<workbook xmlns=\"") + xlsx_main_ns + "\" xmlns:r=\"" + rel +
                                "\"><sheets><sheet name=\"S\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels", book_rels + "</Relationships>"},
        {"xl/worksheets/sheet1.xml", sheet}};
    if (!strings.empty())
        parts.emplace_back("xl/sharedStrings.xml", strings);

    return xlsx_zip(parts, method);
}
