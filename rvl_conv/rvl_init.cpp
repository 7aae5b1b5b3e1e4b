#include "rvl_conv/rvl_init.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

#include <ctime>

namespace {

// format: the event, then the date and the time.
void log_moment(const char* format)
{
    const std::tm local = tk_local_now();
    tk_logger::log(3, format, tk_iso_date(local).c_str(), local.tm_hour, local.tm_min, local.tm_sec);
}

} // namespace

init_conversion::init_conversion(std::atomic<bool>& done_, converter_hooks& hooks) : done(done_)
{
    tk_logger::log(2, "init_conversion::ctor");
    log_moment("Conversion started on %s at %02d:%02d:%02d");
    hooks.start_timer();
}

init_conversion::~init_conversion()
{
    tk_logger::log(2, "init_conversion::dtor");
    log_moment("Conversion ended on %s at %02d:%02d:%02d");
    done.store(true, std::memory_order_release);
}
