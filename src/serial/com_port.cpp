#include "serial/com_port.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

namespace darvelon::serial {

TComPort::TComPort(std::uint8_t portNumber, OwnerThread& owner)
    : TComPort(portNumber, owner, makePlatformSerialDevice()) {}

TComPort::TComPort(std::uint8_t portNumber, OwnerThread& owner, std::unique_ptr<SerialDevice> device)
    : PortName("COM" + std::to_string(portNumber)), m_owner(owner), m_device(std::move(device)) {
    if (!m_device->open(portNumber)) throw EComPortError("Error opening port " + PortName);
    try {
        if (!m_device->setLineSettings()) {
            throw EComPortError("Error setting port " + PortName + " state");
        }
        // No spaces around the name: this is the message operators already know.
        if (!m_device->setZeroTimeouts()) {
            throw EComPortError("Error setting port" + PortName + "times");
        }
        if (!m_device->purge()) throw EComPortError("Error purging port " + PortName);
        if (!m_device->setReceiveEventMask()) {
            throw EComPortError("Error setting port " + PortName + " mask");
        }
        m_readThread = std::make_unique<TReadThread>(*this);
        m_readThread->start();
    } catch (...) {
        m_readThread.reset();
        m_device->close();
        throw;
    }
}

TComPort::~TComPort() {
    try {
        Close();
    } catch (...) {  // NOLINT(bugprone-empty-catch): documented; Close() reports it to those who ask
    }
}

void TComPort::Close() {
    if (std::exchange(m_closed, true)) return;
    if (m_readThread) m_readThread->cancel();
    m_device->requestStop();
    // On every way out, also when the last OnRead throws.
    struct Release {
        TComPort& port;
        ~Release() {
            port.m_readThread.reset();
            port.m_device->close();
        }
    } release{*this};
    if (m_readThread) {
        // Cancelled, the thread has nothing left to wait for: a pending hand-off returns at
        // once and the wait wakes on the stop request, so this join is short and never waits
        // for the owner's loop. Joining before close() keeps the thread from waiting on a
        // descriptor number that the system may already have handed to another file.
        m_readThread->join();
        // The thread stops between reads, never inside one: whatever it read is in its Buffer.
        m_readThread->deliverLeftover();
    }
}

void TComPort::threadEnded(std::unique_ptr<TReadThread>& keepAlive) {
    m_readThread->join();
    keepAlive = std::move(m_readThread);
}

TReadThread::TReadThread(TComPort& port) : m_port(port), m_alive(std::make_shared<TReadThread*>(this)) {
    if (!m_port.m_device->createWaitEvent()) throw EComPortError("Error creating read event");
}

TReadThread::~TReadThread() { *m_alive = nullptr; }

void TReadThread::start() {
    try {
        m_thread = std::jthread([this](const std::stop_token& stop) { run(stop); });
    } catch (const std::system_error&) {
        throw EComPortError("Error starting read thread of port " + m_port.PortName);
    }
}

bool TReadThread::finished() const {
    std::lock_guard lock(m_mutex);
    return m_bodyEnded;
}

void TReadThread::postToOwner(void (TReadThread::*member)()) {
    m_port.m_owner.post([alive = std::weak_ptr<TReadThread*>(m_alive), member] {
        if (const auto self = alive.lock(); self && *self) ((*self)->*member)();
    });
}

void TReadThread::run(const std::stop_token& stop) {
    // The last thing the body does, on every way out; join() and finished() meet it on the mutex.
    struct MarkEnded {
        TReadThread& thread;
        ~MarkEnded() {
            std::lock_guard lock(thread.m_mutex);
            thread.m_bodyEnded = true;
        }
    } markEnded{*this};
    SerialDevice& device = *m_port.m_device;
    const std::string name = m_port.PortName;
    std::string endMessage;
    try {
        while (!stop.stop_requested()) {
            switch (device.waitForEvent()) {
            case WaitResult::StopRequested: return;
            case WaitResult::DeviceGone: throw EComPortError("Error reading port " + name);
            case WaitResult::Failed: throw EComPortError("Error waiting port " + name + " event");
            case WaitResult::Readable: break;
            }
            const auto queued = device.queuedCount();
            if (!queued) throw EComPortError("Error clearing port " + name);
            if (*queued == 0) continue;
            // A driver reporting more than Buffer holds gets the rest on the next pass.
            const auto got = device.read(std::span(Buffer).first(std::min(*queued, Buffer.size())));
            // A device that hung up reads as end of file; retrying would spin.
            if (!got || *got == 0) throw EComPortError("Error reading port " + name);
            BytesRead = static_cast<std::uint32_t>(*got);
            if (!handOff()) return;
        }
        return;
    } catch (const std::exception& e) {
        endMessage = e.what();
    } catch (...) {
        endMessage.clear();  // not an exception class: there is no message to pass on
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled) return;  // the port is going away; nobody is left to tell
        m_endMessage = std::move(endMessage);
    }
    postToOwner(&TReadThread::announceEnd);
}

bool TReadThread::handOff() {
    {
        std::lock_guard lock(m_mutex);
        m_pending = true;
        m_delivered = false;
        m_handlerError = nullptr;
        // The batch stays pending: the port hands it over when it closes.
        if (m_cancelled) return false;
    }
    postToOwner(&TReadThread::deliver);
    std::unique_lock lock(m_mutex);
    m_handOffDone.wait(lock, [this] { return m_delivered || m_cancelled; });
    if (!m_delivered) return false;
    m_pending = false;
    if (m_cancelled) return false;
    if (m_handlerError) std::rethrow_exception(std::exchange(m_handlerError, nullptr));
    return true;
}

void TReadThread::cancel() {
    m_thread.request_stop();
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_handOffDone.notify_all();
}

void TReadThread::join() {
    if (m_thread.joinable()) m_thread.join();
}

void TReadThread::deliverLeftover() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_pending || m_delivered || m_delivering) return;
        m_delivered = true;
    }
    DoRead();
}

void TReadThread::deliver() {
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled || !m_pending || m_delivered) return;
        m_delivering = true;
    }
    // OnRead may free the port, which frees this object: after DoRead only `alive` is safe.
    const std::shared_ptr<TReadThread*> alive = m_alive;
    std::exception_ptr handlerError;
    try {
        DoRead();
    } catch (...) {
        handlerError = std::current_exception();
    }
    if (!*alive) return;
    std::lock_guard lock(m_mutex);
    m_delivering = false;
    // Moved, not copied: the exception object then dies on the thread that rethrows it.
    m_handlerError = std::move(handlerError);
    m_delivered = true;
    m_handOffDone.notify_all();
}

void TReadThread::DoRead() {
    if (!m_port.OnRead) return;
    // Copies, because the handler may free the port (and its OnRead) and with it this thread's
    // Buffer while it still looks at the data.
    const TComPort::TReadEvent onRead = m_port.OnRead;
    const std::vector<std::uint8_t> data(Buffer.begin(), Buffer.begin() + BytesRead);
    onRead(*this, data);
}

void TReadThread::announceEnd() {
    std::string message;
    {
        std::lock_guard lock(m_mutex);
        if (m_cancelled) return;
        message = m_endMessage;
    }
    // The thread is freed first, so the handler may free the port; this object goes when
    // `self` does, after the last use of a member.
    TComPort& port = m_port;
    std::unique_ptr<TReadThread> self;
    port.threadEnded(self);
    const TComPort::TReceptionEndedEvent handler = port.OnReceptionEnded;  // may free the port
    if (handler) handler(message);
}

}  // namespace darvelon::serial
