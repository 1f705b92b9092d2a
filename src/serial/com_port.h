#pragma once
// The ComPort unit: TComPort owns one open serial device for the life of a recording and starts
// the TReadThread that hands each batch of received bytes to the owner's thread through OnRead.
// Receive only: nothing is ever sent to the device.
//
// Ownership: TComPort owns the device backend and the thread object. A thread whose body ended
// by itself (the device failed, or OnRead threw) is freed on the owner's thread right after its
// end notice, and ReadThread() is null from then on. The port is created, used and destroyed
// on the owner's thread, which must run the OwnerThread's loop for deliveries to happen.
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
#include <thread>

#include "serial/owner_thread.h"
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
    // starts reception; deliveries run on `owner`, which must outlive the port. Throws
    // EComPortError; nothing stays open after a throw.
    TComPort(std::uint8_t portNumber, OwnerThread& owner);
    // The same over another device backend.
    TComPort(std::uint8_t portNumber, OwnerThread& owner, std::unique_ptr<SerialDevice> device);
    // Ends reception and releases the device. A batch the receive thread has already read but
    // not yet handed over is passed to OnRead here, before the device is released, so a stop
    // never loses a received byte; what that last OnRead throws is rethrown once the device is
    // released. Never waits for the owner's loop, so it is safe anywhere on the owner's thread:
    // in a handler, inside OnRead (the batch being delivered is not passed again), in a nested
    // loop, after the loop has ended. No delivery or OnReceptionEnded call happens afterwards.
    // The last OnRead must not free the port. Calling it again does nothing.
    void Close();
    // Close(); an error of the last OnRead is dropped with the port, so owners that can still
    // report it call Close() first.
    ~TComPort();

    TComPort(const TComPort&) = delete;
    TComPort& operator=(const TComPort&) = delete;

    NativeHandle Handle() const { return m_device->handle(); }
    // The running receive thread, or null once it has ended by itself and been freed.
    TReadThread* ReadThread() const { return m_readThread.get(); }

    const std::string PortName;  // "COM" + number, no leading zeros; named in every message
    TReadEvent OnRead;           // called on the owner's thread only; unassigned drops the batch
    // Called once on the owner's thread when reception ended by itself: the device failed or
    // OnRead threw. Gets the error's message. Never called because of Close().
    TReceptionEndedEvent OnReceptionEnded;

private:
    friend class TReadThread;
    void threadEnded(std::unique_ptr<TReadThread>& keepAlive);

    OwnerThread& m_owner;
    std::unique_ptr<SerialDevice> m_device;
    bool m_closed = false;
    std::unique_ptr<TReadThread> m_readThread;  // owner's thread only
};

// Waits for received bytes, reads everything queued into Buffer in one read, and hands the
// batch to DoRead on the owner's thread, waiting until it has run.
class TReadThread {
public:
    static constexpr std::size_t kBufferSize = 4'500'004;

    // Throws EComPortError when the wait event cannot be created. start() runs the body.
    explicit TReadThread(TComPort& port);
    ~TReadThread();  // only once the body has ended: cancel() and join() first
    TReadThread(const TReadThread&) = delete;
    TReadThread& operator=(const TReadThread&) = delete;

    // Throws EComPortError when no thread can be started.
    void start();
    bool finished() const;  // the body has returned

    // Runs on the owner's thread in the hand-off: passes a copy of the batch to the port's
    // OnRead. Exceptions from OnRead propagate to the hand-off, which re-raises them in the
    // receive thread.
    void DoRead();

    // On the owner's thread: ends a pending or future hand-off without a delivery and keeps
    // the thread from touching the port again.
    void cancel();
    // Waits until the body has returned; short once cancel() has been called.
    void join();
    // After join(): passes a batch that was read but never handed over to OnRead.
    void deliverLeftover();

private:
    void run(const std::stop_token& stop);
    bool handOff();  // false: cancelled, end quietly
    void deliver();
    void announceEnd();
    // Posts work that runs only while this object still exists.
    void postToOwner(void (TReadThread::*member)());

    TComPort& m_port;  // not owned; valid until cancel()

    // Written only by this thread, read by DoRead while this thread waits in the hand-off, or
    // after join().
    std::array<std::uint8_t, kBufferSize> Buffer;
    std::uint32_t BytesRead = 0;

    // The hand-off between the two threads; the mutex also orders Buffer's accesses.
    mutable std::mutex m_mutex;
    std::condition_variable m_handOffDone;
    bool m_cancelled = false;
    bool m_bodyEnded = false;
    bool m_pending = false;             // a batch was read and waits for deliver()
    bool m_delivering = false;          // DoRead runs for the pending batch
    bool m_delivered = false;           // deliver() has run for the pending batch
    std::exception_ptr m_handlerError;  // what OnRead threw during the last hand-off
    std::string m_endMessage;           // why the body ended, for the end notice

    // Posted work holds a weak reference to this; it dies with the object, on the owner's
    // thread, which is also the only thread that runs posted work.
    std::shared_ptr<TReadThread*> m_alive;
    std::jthread m_thread;
};

}  // namespace darvelon::serial
