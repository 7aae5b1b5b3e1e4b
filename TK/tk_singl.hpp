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
        T* self = registered.load(std::memory_order_acquire);
        if (self == nullptr)
            throw tk_mail_assertion(tk_singl_file, 64);
        return *self;
    }

    static T* instance_ptr()
    {
        T* self = registered.load(std::memory_order_acquire);
        if (self == nullptr)
            throw tk_mail_assertion(tk_singl_file, 71);
        return self;
    }

    // The registered instance or null; never throws. For code that must not
    // raise while nothing is registered (the logger above all, whose internal
    // errors log).
    static T* try_instance() noexcept { return registered.load(std::memory_order_acquire); }

protected:
    tk_singleton()
    {
        T* none = nullptr;
        registered.compare_exchange_strong(none, static_cast<T*>(this), std::memory_order_acq_rel);
    }

    // Clears the registration only when this is the registered instance.
    virtual ~tk_singleton()
    {
        T* self = static_cast<T*>(this);
        registered.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
    }

private:
    static inline std::atomic<T*> registered{nullptr};
};
