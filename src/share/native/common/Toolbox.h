// Small scope helpers.
#pragma once

#include <utility>

#include "ErrorHandling.h"

// Runs a callable once when the scope ends, also by an exception. A failure
// of the callable is logged and dropped, so the destructor never throws.
template <class F>
class AtEndOfScope {
public:
    explicit AtEndOfScope(F f) : func(std::move(f)) {}
    AtEndOfScope(const AtEndOfScope&) = delete;
    AtEndOfScope& operator=(const AtEndOfScope&) = delete;

    ~AtEndOfScope() {
        try {
            func();
        }
        CATCH_AND_LOG
    }

private:
    F func;
};

template <class F>
AtEndOfScope<F> atEndOfScope(F f) {
    return AtEndOfScope<F>(std::move(f));
}
