#include "rvl_conv/rvl_errt.hpp"

#include <iterator>

namespace {

const char access_format[] =
    "Cannot recognize MS Access database format. See 'Troubleshooting'\nin the product documentation.";
const char workgroup_file[] =
    "Invalid workgroup information file. Return to the previous\nwizard page and verify the correct path was given.";
const char duplicate_values[] =
    "Duplicate field values being used for an unique index were found.\nSee 'Troubleshooting' in the product "
    "documentation.";
const char cannot_connect[] =
    "Cannot connect to the MySQL server. Check to verify that MySQL server\nis launched and the correct host/port "
    "values were given.";
const char auth_protocol[] =
    "The program does not support authentication protocol requested by server.\nSee 'Troubleshooting' in the "
    "product documentation.";
const char table_structure[] =
    "Failed to recognize table structure in the worksheet.\nYou can migrate the data manually via CSV format. "
    "See\n'CSV files' in the product documentation.";

} // namespace

const tk_error_row dao_err_map[] = {
    {0x10BE9, access_format},
    {0x10BEF,
     "Not a valid MS Access database name. Use the following characters\nto compose new database name: "
     "alphanumerics (A-Z, a-z, 0-9),\nunderscore characters (_) and spaces."},
    {0x10BCE, duplicate_values},
    {0x10BD5,
     "Not a valid account name or password has been specified\nin MS Access user-level security settings"},
    {0x10C28,
     "Cannot extract relationships information. See 'Troubleshooting'\nin the product documentation."},
    {0x10C65, workgroup_file},
    {0x10D1E, workgroup_file},
    {0x10D5D, "Data type conversion error. Please contact the product support\nfor the solution."},
    {0x10D0F, access_format},
};
const size_t dao_err_map_size = std::size(dao_err_map);

const tk_error_row mysql_err_map[] = {
    {0x400414,
     "Access denied. Ask your system administrator to grant you\nthe necessary privileges to write into the "
     "database."},
    {0x400415,
     "Access denied. Verify the user name and password are correct,\nand you have the necessary privileges to "
     "connect to the target MySQL server."},
    {0x400426, duplicate_values},
    {0x40042F,
     "Primary key in the original database is too long.\nRestart the program with \"Skip converting "
     "indexes\"\ncheckbox selected in order to resolve the conflict.\n"},
    {0x40046A,
     "You are not allowed to connect to the destination MySQL server.\nAsk your system administrator to grant you "
     "necessary privileges\nto create new databases on target MySQL server."},
    {0x40041B,
     "Failed to overwrite MySQL database. It is being used by\nanother application. Specify a different "
     "destination name."},
    {0x4007D3, cannot_connect},
    {0x4007D5, cannot_connect},
    {0x4007D6,
     "Transferred value is too big. Increase MySQL max packet size and try\nagain. See 'Troubleshooting' in the "
     "product documentation."},
    {0x4004E1, auth_protocol},
    {0x4004E2, auth_protocol},
    {0x4004E3, auth_protocol},
};
const size_t mysql_err_map_size = std::size(mysql_err_map);

const tk_error_row xls_err_map[] = {
    {0x10C59,
     "The workbook and/or one of its worksheets is password protected.\nYou should unprotect it first. Open it with "
     "MS Excel,\nremove the password and run the conversion again.\n"},
    {0x10C76, table_structure},
    {0x10CCA, table_structure},
};
const size_t xls_err_map_size = std::size(xls_err_map);
