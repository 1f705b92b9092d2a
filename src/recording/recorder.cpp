#include "recording/recorder.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace darvelon::recording {

Recorder::Recorder(int log, Messages messages, decoder::TFrameDecoder& decoder, bool& toggle,
                   decoder::FrameSink& frames)
    : m_log(log), m_messages(std::move(messages)), m_decoder(decoder), m_toggle(toggle), m_frames(frames) {}

Recorder::~Recorder() {
    if (m_log >= 0) ::close(m_log);
}

void Recorder::take(std::span<const std::uint8_t> batch) {
    for (std::size_t i = 0; i < batch.size(); ++i) {
        // One write per byte: whatever ends the process, the log holds every byte taken so far.
        ssize_t written;
        do written = ::write(m_log, &batch[i], 1);
        while (written < 0 && errno == EINTR);
        if (written != 1) {
            const int error = written < 0 ? errno : ENOSPC;
            decode(batch.first(i));
            throw LogWriteError(m_messages.writeFailed + std::strerror(error), error);
        }
        ++m_bytesLogged;
    }
    decode(batch);
}

void Recorder::decode(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const auto result = m_decoder.feed(bytes, m_toggle, m_frames);
        if (result.zeroPeriod) ++m_zeroPeriods;
        bytes = bytes.subspan(result.consumed);
    }
}

void Recorder::close() {
    const int log = m_log;
    m_log = -1;
    if (log >= 0 && ::close(log) != 0) {
        const int error = errno;
        throw LogWriteError(m_messages.closeFailed + std::strerror(error), error);
    }
}

}  // namespace darvelon::recording
