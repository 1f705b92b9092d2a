// The Win32 backend. The handle is opened overlapped so that one thread can sleep in
// WaitCommEvent while another ends that wait; a stop is signalled through an event of our own
// and, because a pending WaitCommEvent ignores both that event and CancelIoEx on some systems,
// also by clearing the event mask, which ends the wait everywhere.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "serial/serial_device.h"

namespace darvelon::serial {
namespace {

// A recommendation to the driver: a second of data at full line rate and then some, so that a
// slow owner thread does not make the driver drop bytes. A driver that keeps its own sizes is
// just as correct, so a refusal is no failure.
constexpr DWORD kReceiveQueue = 64 * 1024;
constexpr DWORD kTransmitQueue = 4 * 1024;

class Win32Event {
public:
    Win32Event() = default;
    ~Win32Event() { reset(); }
    Win32Event(const Win32Event&) = delete;
    Win32Event& operator=(const Win32Event&) = delete;

    bool create() {
        reset();
        // Manual reset: the stop event must stay signalled for every later wait.
        m_handle = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
        return m_handle != nullptr;
    }
    void reset() {
        if (m_handle) ::CloseHandle(m_handle);
        m_handle = nullptr;
    }
    HANDLE get() const { return m_handle; }
    bool signalled() const { return m_handle && ::WaitForSingleObject(m_handle, 0) == WAIT_OBJECT_0; }

private:
    HANDLE m_handle = nullptr;
};

class Win32SerialDevice final : public SerialDevice {
public:
    ~Win32SerialDevice() override { close(); }

    bool open(int portNumber) override {
        // The \\.\ form also reaches COM10 and above, which the plain name does not.
        const std::string name = "\\\\.\\COM" + std::to_string(portNumber);
        const HANDLE port = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0 /* exclusive */, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (port == INVALID_HANDLE_VALUE) return false;
        m_port = port;
        ::SetupComm(m_port, kReceiveQueue, kTransmitQueue);
        return true;
    }

    bool setLineSettings() override {
        DCB settings{};
        settings.DCBlength = sizeof settings;
        if (!::GetCommState(m_port, &settings)) return false;
        // Only the line format is ours to choose; flow control and the special characters stay
        // as the device and its driver had them.
        settings.BaudRate = CBR_38400;
        settings.ByteSize = 8;
        settings.Parity = NOPARITY;
        settings.StopBits = ONESTOPBIT;
        return ::SetCommState(m_port, &settings) != 0;
    }

    bool setZeroTimeouts() override {
        // All zero: a read waits until it has every byte asked for. We only ever ask for what
        // ClearCommError says is queued, so reads complete at once.
        COMMTIMEOUTS timeouts{};
        return ::SetCommTimeouts(m_port, &timeouts) != 0;
    }

    bool purge() override {
        return ::PurgeComm(m_port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) != 0;
    }

    bool setReceiveEventMask() override { return ::SetCommMask(m_port, EV_RXCHAR) != 0; }

    NativeHandle handle() const override { return m_port; }

    bool createWaitEvent() override {
        if (!m_waitEvent.create() || !m_readEvent.create() || !m_stopEvent.create()) return false;
        m_wait.hEvent = m_waitEvent.get();
        m_read.hEvent = m_readEvent.get();
        return true;
    }

    WaitResult waitForEvent() override {
        if (m_stopEvent.signalled()) return WaitResult::StopRequested;
        resetOverlapped(m_wait);
        if (!::WaitCommEvent(m_port, &m_eventMask, &m_wait)) {
            const DWORD error = ::GetLastError();
            // A mask cleared by requestStop() just before makes the wait itself fail.
            if (m_stopEvent.signalled()) return WaitResult::StopRequested;
            if (error != ERROR_IO_PENDING) return deviceVanished(error) ? WaitResult::DeviceGone : WaitResult::Failed;
            const HANDLE events[2] = {m_wait.hEvent, m_stopEvent.get()};
            const DWORD woken = ::WaitForMultipleObjects(2, events, FALSE, INFINITE);
            if (woken == WAIT_OBJECT_0 + 1) {
                endPendingWait();
                return WaitResult::StopRequested;
            }
            if (woken != WAIT_OBJECT_0) {
                endPendingWait();
                return WaitResult::Failed;
            }
            // The event can be signalled a moment before the result is stored: wait for it.
            DWORD unused = 0;
            if (!::GetOverlappedResult(m_port, &m_wait, &unused, TRUE)) {
                if (m_stopEvent.signalled()) return WaitResult::StopRequested;
                // The wait was made and ended in an error: the driver lost its device (a
                // pulled adapter, a closed pty behind Wine, error 995).
                return WaitResult::DeviceGone;
            }
        }
        if (m_stopEvent.signalled()) return WaitResult::StopRequested;
        return WaitResult::Readable;
    }

    std::optional<std::size_t> queuedCount() override {
        DWORD errors = 0;
        COMSTAT status{};
        // Also clears line errors (framing, overrun), which would otherwise block reception.
        if (!::ClearCommError(m_port, &errors, &status)) return std::nullopt;
        return static_cast<std::size_t>(status.cbInQue);
    }

    std::optional<std::size_t> read(std::span<std::uint8_t> into) override {
        resetOverlapped(m_read);
        DWORD got = 0;
        const auto size = static_cast<DWORD>(into.size());
        if (!::ReadFile(m_port, into.data(), size, &got, &m_read) && ::GetLastError() != ERROR_IO_PENDING) {
            return std::nullopt;
        }
        if (!::GetOverlappedResult(m_port, &m_read, &got, TRUE)) return std::nullopt;
        return static_cast<std::size_t>(got);
    }

    void requestStop() override {
        if (m_stopEvent.get()) ::SetEvent(m_stopEvent.get());
        if (m_port != INVALID_HANDLE_VALUE) ::SetCommMask(m_port, 0);
    }

    void close() override {
        if (m_port != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_port);
            m_port = INVALID_HANDLE_VALUE;
        }
        m_waitEvent.reset();
        m_readEvent.reset();
        m_stopEvent.reset();
    }

private:
    static void resetOverlapped(OVERLAPPED& overlapped) {
        const HANDLE event = overlapped.hEvent;
        overlapped = OVERLAPPED{};
        overlapped.hEvent = event;
        ::ResetEvent(event);
    }

    static bool deviceVanished(DWORD error) {
        switch (error) {
        case ERROR_OPERATION_ABORTED:
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED: return true;
        default: return false;
        }
    }

    // The overlapped structure and the mask belong to the pending wait until it has ended, so
    // it is ended here and waited for, whatever woke us. A mask of zero ends it where
    // cancelling does not; CancelIo covers drivers that keep the old mask.
    void endPendingWait() {
        ::SetCommMask(m_port, 0);
        ::CancelIo(m_port);
        DWORD unused = 0;
        ::GetOverlappedResult(m_port, &m_wait, &unused, TRUE);
    }

    HANDLE m_port = INVALID_HANDLE_VALUE;
    Win32Event m_waitEvent;
    Win32Event m_readEvent;
    Win32Event m_stopEvent;
    OVERLAPPED m_wait{};
    OVERLAPPED m_read{};
    DWORD m_eventMask = 0;  // written by a pending WaitCommEvent, hence a member
};

}  // namespace

std::unique_ptr<SerialDevice> makePlatformSerialDevice() { return std::make_unique<Win32SerialDevice>(); }

}  // namespace darvelon::serial
