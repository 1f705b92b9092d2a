#include "serial/com_port.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <algorithm>
#include <utility>
#include <vector>

namespace darvelon::serial {

TComPort::TComPort(std::uint8_t portNumber) : TComPort(portNumber, makePlatformSerialDevice()) {}

TComPort::TComPort(std::uint8_t portNumber, std::unique_ptr<SerialDevice> device)
    : PortName("COM" + std::to_string(portNumber)), m_device(std::move(device)) {
    // Deliveries are queued to the application's thread; without one they would never run.
    const auto* app = QCoreApplication::instance();
    if (!app || app->thread() != QThread::currentThread()) {
        throw std::logic_error("TComPort must be created on the QCoreApplication's thread");
    }
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
        m_readThread = TReadThread::startFor(*this);
    } catch (...) {
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
    const auto release = qScopeGuard([this] {
        // Finished but not yet freed (its deleteLater is queued, or no event loop runs any
        // more): free it here; its queued hand-off and end notice go with it.
        delete m_readThread.data();
        m_device->close();
    });
    if (m_readThread) {
        // Cancelled, the thread has nothing left to wait for: a pending hand-off returns at
        // once and the poll wakes on the stop event, so this join is short and never waits for
        // the main thread. Joining before close() keeps the thread from polling a descriptor
        // number that the system may already have handed to another file.
        m_readThread->join();
        // The thread stops between reads, never inside one: whatever it read is in its Buffer.
        m_readThread->deliverLeftover();
    }
}

QPointer<TReadThread> TReadThread::startFor(TComPort& port) {
    // The thread owns itself from start() on: deleteLater when its body ends.
    std::unique_ptr<TReadThread> thread(new TReadThread(port));
    connect(thread.get(), &QThread::finished, thread.get(), &QObject::deleteLater);
    connect(thread.get(), &TReadThread::handOffRequested, thread.get(), &TReadThread::deliver,
            Qt::QueuedConnection);
    connect(thread.get(), &TReadThread::receptionEnded, thread.get(), &TReadThread::announceEnd,
            Qt::QueuedConnection);
    thread->start();
    // A thread that failed to start is neither running nor finished.
    if (!thread->isRunning() && !thread->isFinished()) {
        throw EComPortError("Error starting read thread of port " + port.PortName);
    }
    return QPointer<TReadThread>(thread.release());
}

TReadThread::TReadThread(TComPort& port) : m_port(port) {
    if (!m_port.m_device->createWaitEvent()) throw EComPortError("Error creating read event");
}

TReadThread::~TReadThread() = default;

void TReadThread::run() {
    // The last thing the body does, on every way out; join() meets it on the mutex.
    const auto markEnded = qScopeGuard([this] {
        std::lock_guard lock(m_mutex);
        m_bodyEnded = true;
    });
    SerialDevice& device = *m_port.m_device;
    const std::string name = m_port.PortName;
    std::string endMessage;
    try {
        while (!isInterruptionRequested()) {
            switch (device.waitForEvent()) {
                case WaitResult::StopRequested:
                    return;
                case WaitResult::DeviceGone:
                    throw EComPortError("Error reading port " + name);
                case WaitResult::Failed:
                    throw EComPortError("Error waiting port " + name + " event");
                case WaitResult::Readable:
                    break;
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
    emit receptionEnded();
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
    emit handOffRequested();
    std::unique_lock lock(m_mutex);
    m_handOffDone.wait(lock, [this] { return m_delivered || m_cancelled; });
    if (!m_delivered) return false;
    m_pending = false;
    if (m_cancelled) return false;
    if (m_handlerError) std::rethrow_exception(std::exchange(m_handlerError, nullptr));
    return true;
}

void TReadThread::cancel() {
    requestInterruption();
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_handOffDone.notify_all();
}

void TReadThread::join() {
    wait();
    // QThread::wait orders the body's end before us too, but through Qt's own futexes, which a
    // race detector cannot see; this lock makes the order visible.
    std::lock_guard lock(m_mutex);
    Q_ASSERT(m_bodyEnded);
}

void TReadThread::deliverLeftover() {
    {
        std::lock_guard lock(m_mutex);
        Q_ASSERT(m_bodyEnded);
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
    // OnRead may free the port, which frees this object: after DoRead only `self` is safe.
    const QPointer<TReadThread> self(this);
    std::exception_ptr handlerError;
    try {
        DoRead();
    } catch (...) {
        handlerError = std::current_exception();
    }
    if (!self) return;
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
    if (!m_port.OnReceptionEnded) return;
    const TComPort::TReceptionEndedEvent handler = m_port.OnReceptionEnded;  // may free the port
    handler(message);
}

}  // namespace darvelon::serial
