#pragma once
// The ComPort unit: TComPort owns one open serial device for the life of a recording and starts
// the TReadThread that hands each batch of received bytes to the main thread through OnRead.
// Receive only: nothing is ever sent to the device.
//
// Ownership: TComPort owns the device backend; the thread frees itself when its body ends, or is
// reclaimed by ~TComPort if it has not been freed yet. A QCoreApplication must exist for the
// whole life of a port, and the port is created and destroyed on the application's thread.
#include <QPointer>
#include <QThread>
#include <array>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>

#include "serial/serial_device.h"

namespace darvelon::serial {

class TReadThread;

// Failure of a serial-link operation; the message names the port, e.g. "Error opening port COM3".
class EComPortError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TComPort {
public:
    // One delivery: the bytes of one read, in arrival order, never empty. `data` stays valid
    // for the duration of the call even if the handler frees the port; `sender` does not.
    using TReadEvent = std::function<void(TReadThread& sender, std::span<const std::uint8_t> data)>;
    using TReceptionEndedEvent = std::function<void(const std::string& message)>;

    // Opens COM<portNumber> exclusively, sets 38400 8N1 with zero time-outs, purges it and
    // starts reception. Throws EComPortError; nothing stays open after a throw.
    explicit TComPort(std::uint8_t portNumber);
    // The same over another device backend.
    TComPort(std::uint8_t portNumber, std::unique_ptr<SerialDevice> device);
    // Ends reception and releases the device. A batch the receive thread has already read but
    // not yet handed over is passed to OnRead here, before the device is released, so a stop
    // never loses a received byte; what that last OnRead throws is rethrown once the device is
    // released. Never waits for the main thread, so it is safe anywhere on the main thread: in
    // a handler, inside OnRead (the batch being delivered is not passed again), in a nested
    // event loop, after the event loop has ended. No delivery or OnReceptionEnded call happens
    // afterwards. The last OnRead must not free the port. Calling it again does nothing.
    void Close();
    // Close(); an error of the last OnRead is dropped with the port, so owners that can still
    // report it call Close() first.
    ~TComPort();

    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    NativeHandle Handle() const { return m_device->handle(); }
    // The running receive thread, or null once it has ended and freed itself.
    TReadThread* ReadThread() const { return m_readThread.data(); }

    const std::string PortName;  // "COM" + number, no leading zeros; named in every message
    TReadEvent OnRead;           // called on the main thread only; unassigned drops the batch
    // Called once on the main thread when reception ended by itself: the device failed or
    // OnRead threw. Gets the error's message. Never called because of ~TComPort.
    TReceptionEndedEvent OnReceptionEnded;

private:
    friend class TReadThread;

    std::unique_ptr<SerialDevice> m_device;
    bool m_closed = false;
    QPointer<TReadThread>
        m_readThread;  // main-thread access only; QPointer because it frees itself
};

// Waits for received bytes, reads everything queued into Buffer in one read, and hands the
// batch to DoRead on the main thread, waiting until it has run. Lives (as a QObject) on the
// main thread; its body runs on its own thread.
class TReadThread : public QThread {
    Q_OBJECT

public:
    static constexpr std::size_t kBufferSize = 4'500'004;

    // Creates the thread for `port`, frees itself when its body ends, and starts it.
    // Throws EComPortError when the wait event cannot be created.
    static QPointer<TReadThread> startFor(TComPort& port);
    ~TReadThread() override;

    // Runs on the main thread in the hand-off: passes a copy of the batch to the port's OnRead.
    // Exceptions from OnRead propagate to the hand-off, which re-raises them in the thread.
    void DoRead();

    // Called by ~TComPort on the main thread: ends a pending or future hand-off without a
    // delivery and keeps the thread from touching the port again.
    void cancel();
    // Waits until the body has returned; short once cancel() has been called.
    void join();
    // After join(): passes a batch that was read but never handed over to OnRead.
    void deliverLeftover();

signals:
    void handOffRequested();  // emitted on the receive thread; runs deliver() on the main thread
    void receptionEnded();    // emitted on the receive thread when an error ended the body

protected:
    void run() override;

private:
    explicit TReadThread(TComPort& port);

    bool handOff();  // false: cancelled, end quietly
    void deliver();
    void announceEnd();

    TComPort& m_port;  // not owned; valid until cancel()

    // Written only by this thread, read by DoRead while this thread waits in the hand-off.
    std::array<std::uint8_t, kBufferSize> Buffer;
    std::uint32_t BytesRead = 0;

    // The hand-off between the two threads; the mutex also orders Buffer's accesses.
    std::mutex m_mutex;
    std::condition_variable m_handOffDone;
    bool m_cancelled = false;
    bool m_bodyEnded = false;
    bool m_pending = false;             // a batch was read and waits for deliver()
    bool m_delivering = false;          // DoRead runs for the pending batch
    bool m_delivered = false;           // deliver() has run for the pending batch
    std::exception_ptr m_handlerError;  // what OnRead threw during the last hand-off
    std::string m_endMessage;           // why the body ended, for receptionEnded
};

}  // namespace darvelon::serial
