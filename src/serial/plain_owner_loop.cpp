#include "serial/plain_owner_loop.h"

#include <utility>

namespace darvelon::serial {

void PlainOwnerLoop::post(std::function<void()> work) {
    {
        std::lock_guard lock(m_mutex);
        m_work.push_back(std::move(work));
    }
    m_posted.notify_all();
}

void PlainOwnerLoop::quit() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_posted.notify_all();
}

std::function<void()> PlainOwnerLoop::take(std::unique_lock<std::mutex>& lock) {
    auto work = std::move(m_work.front());
    m_work.pop_front();
    lock.unlock();
    return work;
}

bool PlainOwnerLoop::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        std::unique_lock lock(m_mutex);
        if (!m_posted.wait_until(lock, deadline, [this] { return !m_work.empty() || m_quit; })) return done();
        if (m_quit) {
            m_quit = false;
            return done();
        }
        // Run without the lock: the work may post more, or run the loop nested.
        take(lock)();
    }
    return true;
}

void PlainOwnerLoop::runFor(std::chrono::milliseconds timeout) {
    runUntil([] { return false; }, timeout);
}

void PlainOwnerLoop::runPending() {
    std::unique_lock lock(m_mutex);
    for (auto pending = m_work.size(); pending > 0 && !m_work.empty(); --pending) {
        take(lock)();
        lock.lock();
    }
}

}  // namespace darvelon::serial
