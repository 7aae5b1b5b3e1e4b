// A worksheet row as the rest of the system sees it: a dao_record of
// dao_field objects, one for each DAO Field of the current row, in column
// order. A field copies what its column says of itself from its DAO Field
// once, when it is built (name, size, type, flags), and keeps the Field to
// read the value of each row the recordset moves to: a recordset reuses one
// record for all its rows, so a row costs no call for a column's properties
// and no allocation but its texts. The two type maps of the workbook side
// live here too: DAO type to VARTYPE for reading, and back for writing.
#pragma once

#include "OLE/ole_ptr.hpp"
#include "UDB/udb_ftd.hpp"
#include "UDB/udb_rec.hpp"
#include "platform/dao/pl_daoif.hpp"

#include <cstdint>
#include <string>

class dao_field : public udb_field {
public:
    // A null Field is an internal error; failed calls raise dao_exception.
    explicit dao_field(_DAOField* field);

    // The value of the row the Field stands on now, in place of the one read
    // before. A Field without a current row leaves the value empty.
    void read_value();

    // The value's type; for an empty value, the column's type.
    VARTYPE get_type() const override;
    // A pure time read from a workbook is a date on day zero (1899-12-30):
    // its date part prints as "0000-00-00", a bare day zero as "00:00:00".
    std::string to_string() const override;
    std::wstring to_wstring() const override;

    // The text to_string gives a date value of a workbook, from the value.
    static std::string date_text(DATE value);

    // The reading map: a DAO field type to the VARTYPE of its values.
    static VARTYPE get_vartype(int16_t dao_type);
    // The writing map: a column to the DAO type that holds it;
    // ole_type_exception for a type DAO cannot store.
    static int16_t get_native_type(const t_ftd& column);

private:
    void read_date();
    bool read_attachment();

    ole_com_ptr<_DAOField> field;
    int16_t native = 0;  // the column's DAO type
};

class dao_record : public udb_record {
public:
    // One dao_field per Field, in index order; a null collection is an
    // internal error.
    explicit dao_record(DAOFields* fields);

    // The values of the row the Fields stand on now; the fields themselves
    // stay as they were made.
    void read_values();

private:
    ole_com_ptr<DAOFields> fields;
};
