// The recorder between the port and the decoder: what reaches the log, what the decoder sees
// of it, and how a failing log ends a batch.
#include "recording/recorder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "support/frames.h"

namespace darvelon::recording {
namespace {

using test::Bytes;

struct Frames : decoder::FrameSink {
    void frame(const decoder::Frame& f) override { seen.push_back(f); }
    std::vector<decoder::Frame> seen;
};

// A pipe the test reads back, so the log's content is exactly what was written.
struct PipeLog {
    int readEnd = -1;
    int writeEnd = -1;
    PipeLog() {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0);
        readEnd = fds[0];
        writeEnd = fds[1];
    }
    ~PipeLog() { ::close(readEnd); }
    Bytes drain() const {
        Bytes out(1 << 20);
        const ssize_t got = ::read(readEnd, out.data(), out.size());
        out.resize(got > 0 ? std::size_t(got) : 0);
        return out;
    }
};

std::vector<std::int32_t> samplesOf(const Bytes& stream) {
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    Frames frames;
    std::span<const std::uint8_t> rest(stream);
    while (!rest.empty()) rest = rest.subspan(decoder.feed(rest, toggle, frames).consumed);
    std::vector<std::int32_t> samples;
    for (const auto& f : frames.seen) samples.push_back(f.sample);
    return samples;
}

TEST(Recorder, LogsEveryByteThenDecodesItAndSkipsOnlyAZeroPeriodFrame) {
    PipeLog log;
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    Frames frames;
    Recorder recorder(log.writeEnd, {"write: ", "close: "}, decoder, toggle, frames);
    // A frame sent twice has a zero period; a live stream goes on after it.
    const Bytes stream = test::concat({test::steadyFrames(20), test::frame(144000, 1000, 1),
                                       test::frame(144000, 1000, 1), test::frame(151200, 1000, 2)});
    for (std::size_t at = 0; at < stream.size(); at += 7) {  // batches that split frames
        recorder.take(std::span(stream).subspan(at, std::min<std::size_t>(7, stream.size() - at)));
    }
    recorder.close();
    EXPECT_EQ(log.drain(), stream);
    EXPECT_EQ(recorder.bytesLogged(), stream.size());
    EXPECT_EQ(recorder.zeroPeriods(), 1u);
    ASSERT_EQ(frames.seen.size(), 21u);  // all but the first steady one, the repeated one, and the last
    EXPECT_EQ(frames.seen.back().aux, 2);
}

TEST(Recorder, AFailedWriteEndsTheBatchWithEveryEarlierByteLoggedAndDecoded) {
    PipeLog log;
    ASSERT_EQ(::fcntl(log.writeEnd, F_SETPIPE_SZ, 4096), 4096);
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    Frames frames;
    Recorder recorder(log.writeEnd, {"Cannot write the log file. ", ""}, decoder, toggle, frames);
    const Bytes stream = test::steadyFrames(1000);  // more than the pipe holds
    try {
        recorder.take(stream);
        FAIL() << "the full pipe took everything";
    } catch (const LogWriteError& e) {
        EXPECT_EQ(e.error(), EAGAIN);
        EXPECT_EQ(std::string(e.what()), std::string("Cannot write the log file. ") + std::strerror(EAGAIN));
    }
    const Bytes logged = log.drain();
    ASSERT_EQ(logged.size(), 4096u);
    EXPECT_EQ(recorder.bytesLogged(), logged.size());
    EXPECT_TRUE(std::equal(logged.begin(), logged.end(), stream.begin()));
    std::vector<std::int32_t> decoded;
    for (const auto& f : frames.seen) decoded.push_back(f.sample);
    EXPECT_EQ(decoded, samplesOf(logged));  // the decoder saw exactly what the log holds
    EXPECT_NO_THROW(recorder.close());
}

}  // namespace
}  // namespace darvelon::recording
