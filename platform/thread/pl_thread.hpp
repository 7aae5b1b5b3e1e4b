// A worker thread that can be waited for with a time limit, which a bare
// std::thread cannot. There is no safe way to kill a thread here: the owner
// asks the work to stop by its own means and then joins.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

class worker_thread {
public:
    worker_thread() = default;
    // Joins a thread that was started and not yet joined.
    ~worker_thread();
    worker_thread(const worker_thread&) = delete;
    worker_thread& operator=(const worker_thread&) = delete;

    // Starts `body` on a new thread. False, with the last error set, when the
    // system refuses a thread; a thread already held is joined first.
    bool start(std::function<void()> body);
    // True when a thread was started and not yet joined.
    bool started() const { return thread.joinable(); }
    // True when the thread's body has returned, waiting at most `limit` for
    // it; true also when no thread was started.
    bool wait_for(std::chrono::milliseconds limit);
    // Waits without limit until the thread has ended.
    void join();

private:
    // Shared with the thread, which signals through it that its body ended.
    struct end_signal {
        std::mutex mutex;
        std::condition_variable ended_cv;
        bool ended = false;
    };
    std::shared_ptr<end_signal> signal;
    std::thread thread;
};

} // namespace platform
