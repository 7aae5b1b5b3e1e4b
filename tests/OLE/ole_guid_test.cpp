// GUID text of cells and the small helpers.
#include "OLE/ole_guid.hpp"
#include "OLE/ole_misc.hpp"

#include "TK/tk_excep.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::wstring guid = L"6F9619FF-8B86-D011-B42D-00C04FC964FF";

} // namespace

TEST(OleGuid, FormsTable)
{
    struct row {
        std::wstring text;
        std::wstring expected;  // empty: not a GUID
    };
    const row rows[] = {
        {guid, guid},
        {L"6f9619ff-8b86-d011-b42d-00c04fc964ff", L"6f9619ff-8b86-d011-b42d-00c04fc964ff"},
        {L"6F9619FF-8B86-D011-B42D-00C04FC964FG", L""},
        {L"{" + guid + L"}", guid},
        {L"  {" + guid + L"}   ", guid},
        {L"(" + guid + L")", L""},
        {L"{" + guid.substr(0, 34) + L"}", L""},  // 36 characters with braces
        {guid + L"0", L""},                        // 37 characters without the word
        {L"guid{" + guid + L"}", guid},
        {L"GUID {" + guid + L"}", guid},
        {L"x guid{" + guid + L"}", guid},
        {L"guid{" + guid.substr(0, 35) + L"X}", L""},
        {L"guid{" + guid + L"x", L""},
        {L"guid{" + guid.substr(0, 35) + L"}", L""},
        {L"guid " + guid, L""},
        {L"guid{" + guid + L"}" + std::wstring(3, L'x'), guid},
        {std::wstring(91, L' '), L""},
        {std::wstring(40, L' ') + guid + std::wstring(14, L' '), guid},  // 90 characters: trimmed first
        {L"", L""},
    };
    for (const row& r : rows) {
        const ole_guid_extractor e(r.text);
        EXPECT_EQ(e.b_valid, !r.expected.empty()) << std::string(r.text.begin(), r.text.end());
        EXPECT_EQ(e.get_wguid(), r.expected);
        EXPECT_EQ(e.get_guid(), std::string(r.expected.begin(), r.expected.end()));
    }
    const ole_guid_extractor too_long(std::wstring(91, L' ') + guid);
    EXPECT_TRUE(too_long.text.empty());
}

TEST(OleGuid, NarrowTextIsExaminedAlike)
{
    EXPECT_EQ(ole_guid_extractor(std::string("{6F9619FF-8B86-D011-B42D-00C04FC964FF}")).get_guid(),
              "6F9619FF-8B86-D011-B42D-00C04FC964FF");
    EXPECT_FALSE(ole_guid_extractor(std::string("not a guid at all, not at all, no")).b_valid);
}

namespace {

struct counted : pl_unknown {};

} // namespace

TEST(OleMisc, RefCountAndQuotedTypes)
{
    IUnknown* object = new counted;  // owned by its reference count
    object->AddRef();
    EXPECT_EQ(ole_get_ref_count(object), 2u);
    object->Release();
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_THROW(ole_get_ref_count(nullptr), tk_mail_assertion);

    EXPECT_TRUE(ole_is_date_or_string_type(VT_DATE));
    EXPECT_TRUE(ole_is_date_or_string_type(VT_BSTR));
    EXPECT_FALSE(ole_is_date_or_string_type(VT_R8));
    EXPECT_FALSE(ole_is_date_or_string_type(VT_EMPTY));
}
