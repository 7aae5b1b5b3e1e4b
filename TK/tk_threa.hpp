// The worker thread of the wizard and the unit of work it runs once.
//
// A thread cannot be killed safely here. Instead the owner asks the work to
// stop: tk_thread_functor carries an atomic stop request that a long run
// checks at its natural steps (the converter: before each record and each
// worksheet) through throw_if_stop_requested(), which leaves the run by
// tk_final_exception, the exception that ends a run without a report.
#pragma once

#include "platform/thread/pl_thread.hpp"

#include <atomic>
#include <cstdint>

class tk_thread_functor {
public:
    tk_thread_functor() = default;
    virtual ~tk_thread_functor() = default;
    tk_thread_functor(const tk_thread_functor&) = delete;
    tk_thread_functor& operator=(const tk_thread_functor&) = delete;

    // The work: the base runs step() until is_done() (or a stop request) and
    // answers what finish() answers.
    virtual uint32_t operator()();
    virtual bool is_done();
    // The base sleeps 100 ms.
    virtual void step();
    virtual uint32_t finish();

    // Asks a running operator() to end soon; any thread may call it.
    void request_stop() { stop.store(true, std::memory_order_release); }
    bool stop_requested() const { return stop.load(std::memory_order_acquire); }
    // Holds a running operator() at its next step until resumed or stopped:
    // while the user is asked whether to stop, nothing more is written.
    void request_pause(bool on) { paused.store(on, std::memory_order_release); }
    // Waits while paused; then throws tk_final_exception when a stop was
    // requested.
    void throw_if_stop_requested() const;
    // Withdraws a request, before the work is run again.
    void clear_stop_request() { stop.store(false, std::memory_order_release); }

private:
    std::atomic<bool> stop{false};
    std::atomic<bool> paused{false};
};

class tk_thread {
public:
    explicit tk_thread(bool owns_functor);
    // When the thread still runs after 10 ms, asks its work to stop and waits
    // until it has ended.
    virtual ~tk_thread();
    tk_thread(const tk_thread&) = delete;
    tk_thread& operator=(const tk_thread&) = delete;

    // Runs the function object of create_functor() once on a new thread.
    // Starting while a thread runs is an internal error; a thread the system
    // refuses raises a level-1 tk_exception_ex.
    void start();
    // Forgets an ended thread and deletes an owned function object; an
    // internal error while the thread runs.
    void reset();
    // True when a thread is held and has not ended within 10 ms.
    bool is_running();

    // The procedure of the thread: calls the function object once.
    static uint32_t thread_proc(tk_thread_functor* functor);

protected:
    // The function object to run. The base makes a tk_thread_functor of its
    // own and owns it; a derived class may return a shared object instead.
    virtual tk_thread_functor* create_functor();

    platform::worker_thread thread;
    bool owns_functor;
    tk_thread_functor* functor = nullptr;
};
