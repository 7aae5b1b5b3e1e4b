#include "TK/tk_rprt.hpp"

#include <atomic>

namespace {
std::atomic<tk_reporter*> registered{nullptr};
} // namespace

tk_reporter::tk_reporter()
{
    tk_reporter* none = nullptr;
    registered.compare_exchange_strong(none, this, std::memory_order_acq_rel);
}

tk_reporter::~tk_reporter()
{
    tk_reporter* self = this;
    registered.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

tk_reporter& tk_reporter::current()
{
    tk_reporter* reporter = registered.load(std::memory_order_acquire);
    if (reporter == nullptr)
        throw tk_mail_assertion("tk_rprt", 30);
    return *reporter;
}
