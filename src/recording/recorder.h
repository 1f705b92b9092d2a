#pragma once
// One recording's road for received bytes: each delivered batch goes to the log, every byte in
// order and handed to the operating system at once, and is then decoded. The window and
// darvelon-cli both record through this, on the thread that owns the port.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "decoder/frame.h"
#include "decoder/frame_decoder.h"

namespace darvelon::recording {

// A write or the close of the log failed; the message ends with the system's reason.
class LogWriteError : public std::runtime_error {
public:
    LogWriteError(const std::string& message, int error) : std::runtime_error(message), m_error(error) {}
    int error() const { return m_error; }

private:
    int m_error;
};

class Recorder {
public:
    // What a failure says before the system's reason.
    struct Messages {
        std::string writeFailed;
        std::string closeFailed;
    };

    // Takes over the open log descriptor `log`. The decoder, toggle and sink are the owner's
    // and must outlive this.
    Recorder(int log, Messages messages, decoder::TFrameDecoder& decoder, bool& toggle, decoder::FrameSink& frames);
    ~Recorder();  // closes a log that close() has not
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Logs every byte of `batch`, one write each, and decodes what was logged: the decoder never
    // sees a byte the log does not hold. A frame with a zero period is one bad frame of a live
    // stream: skipped and counted. Throws LogWriteError when a write fails, with every byte
    // before it logged and decoded.
    void take(std::span<const std::uint8_t> batch);
    // Throws LogWriteError; the descriptor is gone either way.
    void close();

    std::uint64_t bytesLogged() const { return m_bytesLogged; }
    std::uint64_t zeroPeriods() const { return m_zeroPeriods; }

private:
    void decode(std::span<const std::uint8_t> bytes);

    int m_log;
    Messages m_messages;
    decoder::TFrameDecoder& m_decoder;
    bool& m_toggle;
    decoder::FrameSink& m_frames;
    std::uint64_t m_bytesLogged = 0;
    std::uint64_t m_zeroPeriods = 0;
};

}  // namespace darvelon::recording
