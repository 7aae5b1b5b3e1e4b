// An owned reference to a COM interface. Every interface pointer the
// workbook side receives lives in one of these, so each reference is
// released exactly once, on every road out of a function.
#pragma once

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"

#include <utility>

template <class T> class ole_com_ptr {
public:
    ole_com_ptr() = default;
    // Takes a reference of its own.
    explicit ole_com_ptr(T* given) : p(given)
    {
        if (p != nullptr)
            p->AddRef();
    }
    ole_com_ptr(const ole_com_ptr& that) : ole_com_ptr(that.p) {}
    ole_com_ptr& operator=(const ole_com_ptr& that)
    {
        ole_com_ptr copy(that);
        std::swap(p, copy.p);
        return *this;
    }
    virtual ~ole_com_ptr() { release(); }

    // The out-parameter of a call that hands out a reference, which is then
    // adopted; a reference held before is released first.
    T** address()
    {
        release();
        return &p;
    }
    T* operator->() const
    {
        if (p == nullptr)
            throw tk_mail_assertion("..\\OLE/ole_ptr.hpp", 94);
        return p;
    }
    T* get() const { return p; }
    bool empty() const { return p == nullptr; }

    void release()
    {
        if (p == nullptr)
            return;
        const uint32_t left = p->Release();
        p = nullptr;
        tk_logger::log(1, "ole_com_ptr<T>::~ole_com_ptr() - %d refs left", static_cast<int>(left));
    }

private:
    T* p = nullptr;
};
