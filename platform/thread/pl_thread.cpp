#include "platform/thread/pl_thread.hpp"

#include "platform/syserr/pl_syserr.hpp"

#include <system_error>

namespace platform {

worker_thread::~worker_thread() { join(); }

bool worker_thread::start(std::function<void()> body)
{
    join();
    auto fresh = std::make_shared<end_signal>();
    try {
        thread = std::thread([body = std::move(body), fresh] {
            body();
            std::lock_guard lock(fresh->mutex);
            fresh->ended = true;
            fresh->ended_cv.notify_all();
        });
    } catch (const std::system_error& e) {
        set_last_error(static_cast<uint32_t>(e.code().value()));
        return false;
    }
    signal = std::move(fresh);
    return true;
}

bool worker_thread::wait_for(std::chrono::milliseconds limit)
{
    if (!signal)
        return true;
    std::unique_lock lock(signal->mutex);
    return signal->ended_cv.wait_for(lock, limit, [this] { return signal->ended; });
}

void worker_thread::join()
{
    if (thread.joinable())
        thread.join();
    signal.reset();
}

} // namespace platform
