#pragma once
// "Run this on the owner's thread": how the receive thread hands work to the thread that owns a
// port. The window runs the work from Qt's event loop, the command line from a plain loop.
#include <functional>

namespace darvelon::serial {

class OwnerThread {
public:
    virtual ~OwnerThread() = default;
    // Thread-safe. `work` runs later on the owner's thread, when it next runs its loop, never
    // inside post(); work posted from one thread runs in the order it was posted.
    virtual void post(std::function<void()> work) = 0;
};

}  // namespace darvelon::serial
