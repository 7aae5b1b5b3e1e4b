#include "UDB/udb_uniq.hpp"

const wchar_t* udb_unique_suffix(unsigned attempt)
{
    static const wchar_t* const cycle[] = {L"_", L"1", L"_", L"2", L"_", L"3"};
    return cycle[attempt % 6];
}
