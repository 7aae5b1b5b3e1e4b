// The process-wide objects (logger, error handler, converter, wizard shell, the
// database engines) each register their one instance here and are reached
// through it. The first instance built stays registered; looking up a missing
// instance is an internal error.
#pragma once

#include "TK/tk_excep.hpp"

#include <atomic>

// Where the accessors' internal errors say they come from.
inline constexpr const char tk_singl_file[] = "..\\TK/tk_singl.hpp";

template <class T>
class tk_singleton {
public:
    tk_singleton(const tk_singleton&) = delete;
    tk_singleton& operator=(const tk_singleton&) = delete;

    static T& instance()
    {
        T* self = try_instance();
        if (self == nullptr)
            throw tk_mail_assertion(tk_singl_file, 64);
        return *self;
    }

    static T* instance_ptr()
    {
        T* self = try_instance();
        if (self == nullptr)
            throw tk_mail_assertion(tk_singl_file, 71);
        return self;
    }

    // The registered instance or null; never throws. For code that must not
    // raise while nothing is registered (the logger above all, whose internal
    // errors log).
    static T* try_instance() noexcept { return static_cast<T*>(registered.load(std::memory_order_acquire)); }

protected:
    // The base pointer is what is registered: while the base is built or
    // destroyed the object is not yet (or no longer) a T, so it is cast to T
    // only by the accessors, which see it whole.
    tk_singleton()
    {
        tk_singleton* none = nullptr;
        registered.compare_exchange_strong(none, this, std::memory_order_acq_rel);
    }

    // Clears the registration only when this is the registered instance.
    virtual ~tk_singleton()
    {
        tk_singleton* self = this;
        registered.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    }

private:
    static inline std::atomic<tk_singleton*> registered{nullptr};
};
