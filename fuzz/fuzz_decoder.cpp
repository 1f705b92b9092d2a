// The frame decoder on arbitrary byte streams: whatever the bytes, it must plot exactly what the
// plain reading of the format says, the same way whether the stream comes in one block, in
// arbitrary pieces or one byte at a time, and stop right after the first zero-period frame.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "decoder/frame_decoder.h"
#include "decoder/zero_divide.h"
#include "fuzz_support.h"

using namespace darvelon;
using darvelon::fuzz::Recorder;

namespace {

struct Run {
    Recorder target;
    decoder::TFrameDecoder decoder;
    bool toggle;
    std::size_t consumed = 0;
    bool zeroPeriod = false;
};

void checkAgainst(const Run& run, const fuzz::Expected& expected, bool startToggle) {
    FUZZ_CHECK(run.zeroPeriod == expected.zeroPeriod);
    FUZZ_CHECK(run.consumed == expected.consumed);
    FUZZ_CHECK(run.target.points == expected.points);
    FUZZ_CHECK(run.decoder.SampleIndex == expected.frames);
    FUZZ_CHECK(run.toggle == (startToggle != (expected.frames % 2 == 1)));
    // The zero-period frame has been read to its end, so the next byte starts a new hunt.
    if (run.zeroPeriod) FUZZ_CHECK(run.decoder.FrameState == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    fuzz::SplitMix random(bytes);
    // The live path keeps its toggle across recordings, so both starting values occur.
    const bool startToggle = random.next() & 1;
    const fuzz::Expected expected = fuzz::expectedPlot(bytes, startToggle);

    Run block{{}, {}, startToggle};
    const auto whole = block.decoder.feed(bytes, block.toggle, block.target);
    block.consumed = whole.consumed;
    block.zeroPeriod = whole.zeroPeriod;
    fuzz::checkPointShape(block.target.points);
    checkAgainst(block, expected, startToggle);

    // Pieces of 0 to 20 bytes, now and then a long one, as deliveries from the serial link come.
    Run pieces{{}, {}, startToggle};
    for (std::size_t at = 0; at <= size && !pieces.zeroPeriod;) {
        const std::uint64_t r = random.next();
        const std::size_t want = (r & 0xF0) == 0 ? std::size_t(r >> 8) % 4096 : std::size_t(r % 21);
        const std::size_t n = std::min(want, size - at);
        const auto fed = pieces.decoder.feed(bytes.subspan(at, n), pieces.toggle, pieces.target);
        FUZZ_CHECK(fed.consumed <= n);
        FUZZ_CHECK(fed.zeroPeriod || fed.consumed == n);
        pieces.consumed += fed.consumed;
        pieces.zeroPeriod = fed.zeroPeriod;
        at += n;
        if (at == size) break;
    }
    checkAgainst(pieces, expected, startToggle);

    Run steps{{}, {}, startToggle};
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t before = steps.target.points.size();
        try {
            steps.decoder.step(bytes[i], steps.toggle, steps.target);
        } catch (const decoder::EZeroDivide&) {
            FUZZ_CHECK(steps.target.points.size() == before);  // the bad frame plots nothing
            steps.zeroPeriod = true;
            steps.consumed = i + 1;
            break;
        }
        steps.consumed = i + 1;
    }
    checkAgainst(steps, expected, startToggle);
    return 0;
}
