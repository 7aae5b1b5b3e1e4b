#include "UDB/udb_rec.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "platform/text/pl_case.hpp"

udb_record::~udb_record()
{
    tk_logger::log(1, "udb_record::dtor");
    reset();
}

void udb_record::reset()
{
    tk_logger::log(1, "udb_record::reset");
    clear();
}

bool udb_record::find_field(const std::wstring& name) const
{
    tk_logger::wlog(1, L"udb_record::find_field(%s)", name.c_str());
    for (const auto& field : *this) {
        if (field == nullptr)
            continue;
        tk_logger::wlog(1, L"Processing %s", field->name.c_str());
        if (platform::equal_no_case(field->name, name))
            return true;
    }
    return false;
}

const udb_field& udb_record::get_field(const std::wstring& name) const
{
    tk_logger::wlog(1, L"udb_record::get_field(%s)", name.c_str());
    for (size_t i = 0; i < size(); ++i) {
        const udb_field* field = (*this)[i].get();
        if (field != nullptr && platform::equal_no_case(field->name, name)) {
            tk_logger::log(1, "Field found at pos=%d", static_cast<int>(i));
            return *field;
        }
    }
    static const udb_field missing;
    return missing;
}

int64_t udb_record::get_total_size() const
{
    tk_logger::log(1, "udb_record::get_total_size");
    const bool traced = tk_logger::logs(1);  // asked once: this runs for every row
    int64_t total = 0;
    for (size_t i = 0; i < size(); ++i) {
        const udb_field* field = (*this)[i].get();
        if (field == nullptr) {
            tk_logger::log(3, "Incorrect field #%d", static_cast<int>(i));
            continue;
        }
        if (field->get_type() != VT_EMPTY)
            total += field->get_size();
        if (traced) {
            tk_logger::log(1, "size=%I64d", total);
            tk_logger::log(1, "processed field %d of %d", static_cast<int>(i), static_cast<int>(size()));
        }
    }
    return total;
}

bool udb_record::is_empty() const
{
    tk_logger::wlog(1, L"udb_record::is_empty");
    for (const auto& field : *this) {
        if (field == nullptr)
            throw tk_mail_assertion("udb_rec", 35);
        if (field->get_type() != VT_NULL && !field->to_string().empty()) {
            tk_logger::wlog(1, L"Field %s is not empty", field->name.c_str());
            return false;
        }
    }
    return true;
}
