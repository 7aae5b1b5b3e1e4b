#include "TK/tk_excep.hpp"
#include "TK/tk_threa.hpp"
#include "child.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/resource.h>

namespace {

// Work that runs until it is asked to stop, or returns at once when `quick`.
struct counted_work : tk_thread_functor {
    explicit counted_work(bool quick_, std::atomic<int>* deleted_ = nullptr) : quick(quick_), deleted(deleted_) {}
    ~counted_work() override
    {
        if (deleted)
            ++*deleted;
    }
    uint32_t operator()() override
    {
        started = true;
        struct on_exit {
            std::atomic<bool>& flag;
            ~on_exit() { flag = true; }
        } mark{ended};
        while (!quick) {
            throw_if_stop_requested();
            std::this_thread::yield();
        }
        return 0;
    }
    const bool quick;
    std::atomic<int>* deleted;
    std::atomic<bool> started{false};
    std::atomic<bool> ended{false};
};

// A thread that runs a shared function object it does not own.
struct shared_thread : tk_thread {
    explicit shared_thread(tk_thread_functor& work_) : tk_thread(false), work(work_) {}
    tk_thread_functor* create_functor() override { return &work; }
    tk_thread_functor& work;
};

// A thread that makes and owns its function object, as the base does.
struct owning_thread : tk_thread {
    explicit owning_thread(std::atomic<int>& deleted_) : tk_thread(false), deleted(deleted_) {}
    tk_thread_functor* create_functor() override
    {
        owns_functor = true;
        return new counted_work(true, &deleted);
    }
    std::atomic<int>& deleted;
};

void wait_until(const std::atomic<bool>& flag)
{
    while (!flag)
        std::this_thread::yield();
}

} // namespace

TEST(TkThread, DestroyedAfterTheWorkReturnedAsksNothing)
{
    counted_work work(true);
    {
        shared_thread thread(work);
        thread.start();
        wait_until(work.ended);
        while (thread.is_running())
            std::this_thread::yield();
    }
    EXPECT_FALSE(work.stop_requested());
}

TEST(TkThread, DestroyedWhileTheWorkRunsStopsItAndWaitsForTheEnd)
{
    counted_work work(false);
    {
        shared_thread thread(work);
        thread.start();
        wait_until(work.started);
        EXPECT_TRUE(thread.is_running());
    }
    EXPECT_TRUE(work.stop_requested());
    EXPECT_TRUE(work.ended);
}

TEST(TkThread, StartingTwiceWhileRunningIsAnInternalError)
{
    counted_work work(false);
    shared_thread thread(work);
    thread.start();
    try {
        thread.start();
        FAIL() << "no exception";
    } catch (const tk_mail_assertion& e) {
        EXPECT_EQ(e.get_message(), make_err_meggase("tk_threa.cpp", 92));
    }
    EXPECT_THROW(thread.reset(), tk_mail_assertion);
}

TEST(TkThread, AnEndedThreadStartsAgainWithAFreshStopRequest)
{
    counted_work work(true);
    shared_thread thread(work);
    work.request_stop();
    thread.start();
    wait_until(work.ended);
    while (thread.is_running())
        std::this_thread::yield();
    work.ended = false;
    thread.start();
    wait_until(work.ended);
    EXPECT_FALSE(work.stop_requested());
}

TEST(TkThread, OwnedFunctionObjectsAreDeletedSharedOnesAreNot)
{
    std::atomic<int> deleted{0};
    {
        owning_thread thread(deleted);
        thread.start();
        while (thread.is_running())
            std::this_thread::yield();
        thread.start();  // the first run ended: reset deletes its object
        EXPECT_EQ(deleted, 1);
    }
    EXPECT_EQ(deleted, 2);

    std::atomic<int> shared_deleted{0};
    counted_work work(true, &shared_deleted);
    {
        shared_thread thread(work);
        thread.start();
    }
    EXPECT_EQ(shared_deleted, 0);
}

TEST(TkThread, TheBaseWorkRunsUntilStopped)
{
    tk_thread thread(false);
    thread.start();
    EXPECT_TRUE(thread.is_running());
}  // the destructor stops and joins it

TEST(TkThread, AThreadTheSystemRefusesIsALevelOneError)
{
    const int result = run_in_child([] {
        const rlimit none{0, 0};
        // Root is not held to the process limit; a plain user is.
        if (::setrlimit(RLIMIT_NPROC, &none) != 0 || !drop_root())
            return 10;
        counted_work work(true);
        shared_thread thread(work);
        try {
            thread.start();
        } catch (const tk_exception& e) {
            return e.get_level() == 1 && e.get_code() != 0 ? 0 : 2;
        }
        return 1;
    });
    EXPECT_EQ(result, 0);
}
