#include "rvl_conv/rvl_init.hpp"

#include "TK/tk_log.hpp"

#include <ctime>

namespace {

void log_moment(const char* format)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    tk_logger::log(3, format, local.tm_mday, local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min,
                   local.tm_sec);
}

} // namespace

init_conversion::init_conversion(std::atomic<bool>& done_, converter_hooks& hooks) : done(done_)
{
    tk_logger::log(2, "init_conversion::ctor");
    log_moment("Conversion started on %02d/%02d/%04d at %02d:%02d:%02d");
    hooks.start_timer();
}

init_conversion::~init_conversion()
{
    tk_logger::log(2, "init_conversion::dtor");
    log_moment("Conversion ended on %02d/%02d/%04d at %02d:%02d:%02d");
    done.store(true, std::memory_order_release);
}
