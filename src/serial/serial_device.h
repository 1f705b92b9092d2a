#pragma once
// The narrow operating-system layer under TComPort and TReadThread: one call per step of opening
// and of the receive loop. Calls report success or failure only; the ComPort unit owns the
// messages, so every backend fails with the same texts. One backend per platform is chosen in
// CMake (serial_device_posix.cpp, serial_device_win.cpp); tests may supply their own.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace darvelon::serial {

#ifdef _WIN32
using NativeHandle = void*;  // HANDLE
#else
using NativeHandle = int;  // file descriptor
#endif

// What ended one wait of the receive thread.
enum class WaitResult {
    Readable,       // received bytes are (or may be) queued
    StopRequested,  // requestStop() was called
    DeviceGone,     // the device hung up or reported an error: a read error, never a retry
    Failed,         // the wait itself could not be made
};

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opening, in the order TComPort calls them. open() asks for exclusive use of the device
    // the port number names; the others act on the open device.
    virtual bool open(int portNumber) = 0;
    virtual bool setLineSettings() = 0;  // 38400 bit/s, 8N1, raw byte path; the rest kept
    virtual bool setZeroTimeouts() = 0;
    virtual bool purge() = 0;  // drops whatever the driver queued in both directions
    virtual bool setReceiveEventMask() = 0;
    virtual NativeHandle handle() const = 0;

    // The receive thread's side. createWaitEvent() is called once, before the thread starts.
    virtual bool createWaitEvent() = 0;
    virtual WaitResult waitForEvent() = 0;
    virtual std::optional<std::size_t> queuedCount() = 0;  // nullopt: the query failed
    // Bytes actually read into `into`; nullopt on failure. Zero means the device is gone.
    virtual std::optional<std::size_t> read(std::span<std::uint8_t> into) = 0;

    // Wakes a waitForEvent() running on another thread, now or in the future. Thread-safe.
    virtual void requestStop() = 0;
    // Releases the device. Only once no thread waits on or reads from it any more.
    virtual void close() = 0;
};

// The backend of the platform this build targets.
std::unique_ptr<SerialDevice> makePlatformSerialDevice();

}  // namespace darvelon::serial
