#include "SQL/dmp_opts.hpp"

#include "TK/tk_log.hpp"

dump_options::dump_options()
{
    tk_logger::log(2, "dump_options::ctor1");
}
