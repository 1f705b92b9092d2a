#pragma once
// The owner's loop for programs without an event loop of their own: other threads post work,
// the owner's thread runs it from runFor(). A call of runFor() from inside posted work runs
// the loop nested, as a modal dialog would.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "serial/owner_thread.h"

namespace darvelon::serial {

class PlainOwnerLoop final : public OwnerThread {
public:
    void post(std::function<void()> work) override;

    // Runs posted work until `timeout` has passed, waiting for more in between. Returns early,
    // after the work at hand, once quit() was called; the next runFor() starts afresh.
    void runFor(std::chrono::milliseconds timeout);
    // Runs until `done` holds (checked after each piece of work) or `timeout` has passed;
    // returns whether it holds.
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    void runPending();  // what was posted so far, without waiting
    void quit();        // from the owner's thread or any other

private:
    std::function<void()> take(std::unique_lock<std::mutex>& lock);

    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_work;
    bool m_quit = false;
};

}  // namespace darvelon::serial
