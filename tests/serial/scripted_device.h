#pragma once
// A device backend the test scripts step by step: which opening step fails, and what each
// wake-up of the receive thread finds. The script outlives the port that owns the device.
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "serial/serial_device.h"
#include "thread_probe.h"

namespace darvelon::serial::testing {

enum class Step { None, Open, LineSettings, Timeouts, Purge, EventMask, WaitEvent };

struct WakeUp {
    WaitResult result = WaitResult::Readable;
    std::optional<std::size_t> queued{};  // the reported count; nullopt makes the query fail
    std::vector<std::uint8_t> bytes{};    // what the read hands out, cut to the size asked for
    bool readFails = false;
};

struct Script {
    Step failAt = Step::None;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<WakeUp> wakeUps;
    bool stopRequested = false;
    int openedPort = -1;
    int closes = 0;
    std::vector<std::size_t> readSizes;   // the size of every read asked for
    std::vector<std::uint8_t> handedOut;  // every byte the reads returned, in order
    KernelThreadId readerTid = 0;         // the receive thread, as the kernel knows it

    void push(WakeUp wakeUp) {
        std::lock_guard lock(mutex);
        wakeUps.push_back(std::move(wakeUp));
        changed.notify_all();
    }
    std::size_t reads() {
        std::lock_guard lock(mutex);
        return readSizes.size();
    }
};

class ScriptedDevice final : public SerialDevice {
public:
    explicit ScriptedDevice(std::shared_ptr<Script> script) : m_script(std::move(script)) {}

    bool open(int portNumber) override {
        m_script->openedPort = portNumber;
        return passes(Step::Open);
    }
    bool setLineSettings() override { return passes(Step::LineSettings); }
    bool setZeroTimeouts() override { return passes(Step::Timeouts); }
    bool purge() override { return passes(Step::Purge); }
    bool setReceiveEventMask() override { return passes(Step::EventMask); }
    NativeHandle handle() const override { return {}; }
    bool createWaitEvent() override { return passes(Step::WaitEvent); }

    WaitResult waitForEvent() override {
        std::unique_lock lock(m_script->mutex);
        m_script->changed.wait(lock, [&] { return m_script->stopRequested || !m_script->wakeUps.empty(); });
        if (m_script->stopRequested) return WaitResult::StopRequested;
        m_current = std::move(m_script->wakeUps.front());
        m_script->wakeUps.pop_front();
        return m_current.result;
    }
    std::optional<std::size_t> queuedCount() override { return m_current.queued; }
    std::optional<std::size_t> read(std::span<std::uint8_t> into) override {
        {
            std::lock_guard lock(m_script->mutex);
            m_script->readSizes.push_back(into.size());
            m_script->readerTid = currentKernelThread();
        }
        if (m_current.readFails) return std::nullopt;
        const auto count = std::min(into.size(), m_current.bytes.size());
        std::copy_n(m_current.bytes.begin(), count, into.begin());
        std::lock_guard lock(m_script->mutex);
        m_script->handedOut.insert(m_script->handedOut.end(), m_current.bytes.begin(), m_current.bytes.begin() + count);
        return count;
    }
    void requestStop() override {
        std::lock_guard lock(m_script->mutex);
        m_script->stopRequested = true;
        m_script->changed.notify_all();
    }
    void close() override { ++m_script->closes; }

private:
    bool passes(Step step) const { return m_script->failAt != step; }

    std::shared_ptr<Script> m_script;
    WakeUp m_current;  // receive thread only
};

}  // namespace darvelon::serial::testing
