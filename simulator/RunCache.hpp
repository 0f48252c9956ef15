#pragma once

// What the runs of one thread may share, so that a suite of many short scripts pays once for
// what they have in common: the STATE lines of the states they meet and the plans of the
// lines they read (a suite's scripts repeat each other's lines). A line's plan depends on its
// text and on whether the run knows "wait", so a cache serves runs of one kind only; a run of
// the other kind keeps its own. Used by one thread at a time.

#include "LinePlans.hpp"
#include "StateView.hpp"

namespace zelk::sim {

class RunCache {
public:
    // For runs that know "wait" (`withClock`), or for runs that do not.
    explicit RunCache(bool withClock) : withClock_(withClock) {}

    bool withClock() const { return withClock_; }

    StateLineCache stateLines;
    LinePlans plans;

private:
    bool withClock_;
};

}  // namespace zelk::sim
