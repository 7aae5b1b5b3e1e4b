// The friendly messages of the error handler, by exception code: DAO errors
// of the workbook engine, MySQL errors, and DAO errors met while reading
// worksheets. Each front end hands them to its error handler at start.
#pragma once

#include "TK/tk_errco.hpp"

#include <cstddef>

extern const tk_error_row dao_err_map[];
extern const size_t dao_err_map_size;  // 9
extern const tk_error_row mysql_err_map[];
extern const size_t mysql_err_map_size;  // 12
// The console program loads only the first two rows: it has no message of
// its own for DAO error 3274.
extern const tk_error_row xls_err_map[];
extern const size_t xls_err_map_size;  // 3
