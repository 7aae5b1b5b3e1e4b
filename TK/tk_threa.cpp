#include "TK/tk_threa.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"

#include <chrono>
#include <thread>

namespace {
constexpr const char threa_file[] = "tk_threa.cpp";
constexpr std::chrono::milliseconds running_wait{10};
}

uint32_t tk_thread_functor::operator()()
{
    while (!is_done()) {
        throw_if_stop_requested();
        step();
    }
    return finish();
}

bool tk_thread_functor::is_done() { return false; }

void tk_thread_functor::step() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }

uint32_t tk_thread_functor::finish() { return 0; }

void tk_thread_functor::throw_if_stop_requested() const
{
    while (paused.load(std::memory_order_acquire) && !stop_requested())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (stop_requested())
        throw tk_final_exception();
}

tk_thread::tk_thread(bool owns_functor_) : owns_functor(owns_functor_) {}

tk_thread::~tk_thread()
{
    if (is_running()) {
        functor->request_stop();
        thread.join();
    }
    reset();
}

bool tk_thread::is_running() { return thread.started() && !thread.wait_for(running_wait); }

void tk_thread::start()
{
    if (is_running())
        throw tk_mail_assertion(threa_file, 92);
    reset();
    if (functor != nullptr)
        throw tk_mail_assertion(threa_file, 100);
    functor = create_functor();
    if (functor == nullptr)
        throw tk_mail_assertion(threa_file, 105);
    functor->clear_stop_request();
    tk_thread_functor* work = functor;
    if (!thread.start([work] { thread_proc(work); }))
        throw tk_exception_ex("Cannot create the worker thread: ", 1);
}

void tk_thread::reset()
{
    if (is_running())
        throw tk_mail_assertion(threa_file, 71);
    thread.join();
    if (functor != nullptr && owns_functor)
        delete functor;
    functor = nullptr;
}

uint32_t tk_thread::thread_proc(tk_thread_functor* work)
{
    if (work == nullptr)
        throw tk_mail_assertion(threa_file, 149);
    try {
        (*work)();
    } catch (const tk_final_exception&) {
        // a stop request ended the run; nothing more to report
    }
    return 1;
}

tk_thread_functor* tk_thread::create_functor()
{
    owns_functor = true;
    return new tk_thread_functor;
}
