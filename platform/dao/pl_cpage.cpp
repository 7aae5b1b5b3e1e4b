#include "platform/dao/pl_cpage.hpp"

#include "platform/text/pl_utf8.hpp"

#include <unicode/ucnv.h>

namespace platform::dao {

namespace {

std::string converter_name(uint16_t cp)
{
    switch (cp) {
    case 367: return "US-ASCII";
    case 10000: case 32768: return "macintosh";
    case 65001: return "UTF-8";
    case 874: case 932: case 936: case 949: case 950: return "windows-" + std::to_string(cp);
    default: break;
    }
    if (cp >= 1250 && cp <= 1258)
        return "windows-" + std::to_string(cp);
    if (cp < 1000)
        return "ibm-" + std::to_string(cp);
    return "windows-1252";
}

UConverter* open_converter(const std::string& name)
{
    UErrorCode error = U_ZERO_ERROR;
    UConverter* c = ucnv_open(name.c_str(), &error);
    if (U_FAILURE(error)) {
        error = U_ZERO_ERROR;
        c = ucnv_open("windows-1252", &error);
    }
    if (c == nullptr)
        throw std::bad_alloc();
    return c;
}

} // namespace

void codepage_text::closer::operator()(UConverter* c) const { ucnv_close(c); }

codepage_text::codepage_text(uint16_t codepage) : converter(open_converter(converter_name(codepage))) {}

std::string codepage_text::to_utf8(std::string_view bytes) const
{
    bool ascii = true;
    for (char c : bytes)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        return std::string(bytes);
    std::u16string wide(bytes.size() * 2 + 1, u'\0');
    UErrorCode error = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(converter.get(), wide.data(), int32_t(wide.size()), bytes.data(),
                                    int32_t(bytes.size()), &error);
    if (U_FAILURE(error))
        return std::string(bytes.size(), '?');
    wide.resize(size_t(n));
    std::string out;
    append_utf8(out, std::wstring(wide.begin(), wide.end()));
    return out;
}

} // namespace platform::dao
