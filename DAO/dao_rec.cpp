#include "DAO/dao_rec.hpp"

#include "DAO/dao_util.hpp"
#include "OLE/ole_misc.hpp"
#include "TK/tk_log.hpp"
#include "platform/ole/pl_vdate.hpp"

namespace {

constexpr int16_t db_attachment = 101;
constexpr int32_t db_auto_incr_field = 0x10;

// The text of day zero inside a date's text, replaced as the workbook side
// prints pure times.
std::string without_day_zero(std::string text)
{
    static constexpr std::string_view day_zero = "1899-12-30";
    const size_t at = text.find(day_zero);
    if (at == std::string::npos)
        return text;
    tk_logger::log(1, "Fake date has been found");
    if (text.size() <= day_zero.size()) {
        tk_logger::log(1, "Transform pure fake date to pure time");
        return text.replace(at, day_zero.size(), "00:00:00");
    }
    return text.replace(at, day_zero.size(), "0000-00-00");
}

// An unreadable date keeps no date part; a fraction of a second is kept to
// the millisecond, which is what a workbook's time shows at most. Day zero
// is no date of the sheet's: the value is a time of day alone, and says so
// to every copy of it, not only to this field's text.
ole_date date_of(DATE value)
{
    SYSTEMTIME st{};
    if (!pl_ole::system_time_ms(value, st)) {
        tk_logger::log(2, "Failed to convert VARIANT->SYSTEMTIME");
        return ole_date();
    }
    ole_date date(st);
    if (st.wYear == 1899 && st.wMonth == 12 && st.wDay == 30)
        date.kind = ole_date::kind_time;
    return date;
}

} // namespace

dao_field::dao_field(_DAOField* given) : field(given)
{
    tk_logger::log(1, "dao_field::ctor");
    if (given == nullptr)
        throw tk_mail_assertion("dao_rec", 27);
    dao_bstr text;
    dao_call(field->get_Name(text.address()));
    name = text.text();
    int32_t declared = 0;
    dao_call(field->get_Size(&declared));
    size = static_cast<uint32_t>(declared);
    dao_call(field->get_Type(&native));
    tk_logger::wlog(1, L"Field name='%s', size=%d, native type=%d", name.c_str(), declared, native);
    VARIANT_BOOL required = VARIANT_FALSE;
    dao_call(field->get_Required(&required));
    not_null = required == VARIANT_TRUE;
    int32_t attributes = 0;
    dao_call(field->get_Attributes(&attributes));
    auto_increment = (attributes & db_auto_incr_field) != 0;
    read_value();
}

void dao_field::read_value()
{
    // Left as a new field would be: the side parts of a value (64-bit
    // integers, the date) belong to the value they came with.
    static const ole_date no_date;
    VariantClear(&var);
    i8_val = 0;
    ui8_val = 0;
    date = no_date;
    // A Field without a current row (a table definition's) has no value: it
    // stays empty and get_type tells the column's type.
    field->get_Value(&var);
    if (var.vt == VT_DATE)
        read_date();
    else if (var.vt == VT_DISPATCH && native == db_attachment && !read_attachment())
        return;
    // This runs for every cell: the log is asked once.
    if (tk_logger::logs(1))
        tk_logger::log(1, "src.vt=%d%s, got DAO field: %s", var.vt, var.vt == VT_NULL ? " (NULL)" : "",
                       to_string().c_str());
}

// The date beside the value, so that a date, a time and both print apart.
void dao_field::read_date() { date = date_of(var.date); }

std::string dao_field::date_text(DATE value) { return without_day_zero(date_of(value).to_string(6)); }

// An attachment column holds a recordset of its files: the value becomes
// that recordset's first field. False for a null object, which is only
// logged.
bool dao_field::read_attachment()
{
    tk_logger::log(1, "Special processing for dbAttachment");
    if (var.punkVal == nullptr) {
        tk_logger::log(1, "IDispatch pointer is NULL");
        return false;
    }
    ole_com_ptr<DAORecordset> files;
    if (FAILED(var.punkVal->QueryInterface(IID_DAORecordset, reinterpret_cast<void**>(files.address()))) ||
        files.empty()) {
        tk_logger::log(1, "FAILED to get DAORecordset interface");
        return true;  // the value stays as it came
    }
    tk_logger::log(1, "We've got DAORecordset interface!");
    ole_com_ptr<DAOFields> file_fields;
    dao_check(files->get_Fields(file_fields.address()), file_fields);
    const dao_record first(file_fields.get());
    tk_logger::log(1, "r.size()=%d", static_cast<int>(first.size()));
    if (first.empty())
        return true;
    ole_com_ptr<_DAOField> value_field;
    dao_check(file_fields->get_Item(dao_index(0).get_variant(), value_field.address()), value_field);
    VARIANT value{};
    value_field->get_Value(&value);
    VariantClear(&var);
    var = value;
    return true;
}

VARTYPE dao_field::get_type() const
{
    return var.vt != VT_EMPTY ? var.vt : get_vartype(native);
}

std::string dao_field::to_string() const
{
    if (get_type() != VT_DATE)
        return ole_variant::to_string();
    return without_day_zero(ole_variant::to_string());
}

// A date's text is digits and separators: it widens byte by byte, with no
// decoding.
std::wstring dao_field::to_wstring() const
{
    if (get_type() != VT_DATE)
        return ole_variant::to_wstring();
    const std::string text = to_string();
    return std::wstring(text.begin(), text.end());
}

VARTYPE dao_field::get_vartype(int16_t dao_type)
{
    switch (dao_type) {
    case 1: return VT_BOOL;                          // dbBoolean
    case 2: return VT_UI1;                           // dbByte
    case 3: return VT_I2;                            // dbInteger
    case 4: return VT_I4;                            // dbLong
    case 5: return VT_CY;                            // dbCurrency
    case 6: return VT_R4;                            // dbSingle
    case 7: case 19: case 20: case 21: return VT_R8; // dbDouble, dbNumeric, dbDecimal, dbFloat
    case 8: case 22: return VT_DATE;                 // dbDate, dbTime
    case 10: case 12: return VT_BSTR;                // dbText, dbMemo
    default: return ole_vt_bytes;                    // binary, GUID, big integers, attachments...
    }
}

int16_t dao_field::get_native_type(const t_ftd& column)
{
    tk_logger::log(1, "dao_field::get_native_type(%d)", column.vartype);
    const bool short_size = column.size >= 1 && column.size <= 255;
    switch (column.vartype) {
    case VT_I2: case VT_I1: return 3;                                 // dbInteger
    case VT_I4: case VT_UI2: return 4;                                // dbLong
    case VT_R4: return 6;                                             // dbSingle
    case VT_R8: case VT_DECIMAL: case VT_UI4: case VT_I8: case VT_UI8: return 7;  // dbDouble
    case VT_CY: return 5;                                             // dbCurrency
    case VT_DATE: return 8;                                           // dbDate
    case VT_BSTR: return short_size ? 10 : 12;                        // dbText, dbMemo
    case VT_BOOL: return 1;                                           // dbBoolean
    case VT_UI1: return 2;                                            // dbByte
    case VT_BLOB: case VT_BLOB_OBJECT: case ole_vt_bytes:
        if (column.reserved == 8)
            return 12;                                                // dbMemo
        return short_size ? 9 : 11;                                   // dbBinary, dbLongBinary
    default: throw ole_type_exception();
    }
}

dao_record::dao_record(DAOFields* given) : fields(given)
{
    if (given == nullptr)
        throw tk_mail_assertion("dao_rec", 438);
    tk_logger::log(1, "dao_record::dao_record: n_refs = %d", static_cast<int>(ole_get_ref_count(given)));
    int16_t count = 0;
    dao_call(fields->get_Count(&count));
    reserve(count > 0 ? static_cast<size_t>(count) : 0);
    for (uint16_t i = 0; static_cast<int32_t>(i) < count; ++i) {
        ole_com_ptr<_DAOField> item;
        dao_check(fields->get_Item(dao_index(i).get_variant(), item.address()), item);
        emplace_back(std::make_unique<dao_field>(item.get()));
    }
}

void dao_record::read_values()
{
    for (const std::unique_ptr<udb_field>& f : *this)
        static_cast<dao_field&>(*f).read_value();
}
