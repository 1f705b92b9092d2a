#include "plot/log_index.h"

#include <vector>

namespace darvelon::plot {

decoder::ReplayOutcome indexLog(decoder::LogReader& log, decoder::TFrameDecoder& decoder, bool& toggle,
                                FrameIndex& index, std::stop_token stop, std::atomic<std::uint64_t>& bytesDone) {
    // Small enough to stay in the second-level cache, large enough that a read costs nothing.
    std::vector<std::uint8_t> block(1 << 18);
    decoder::ReplayOutcome outcome;
    while (!stop.stop_requested()) {
        const std::size_t n = log.read(block);
        if (n == 0) break;
        const auto fed = decoder.feed(std::span(block.data(), n), toggle, index);
        outcome.bytesDecoded += fed.consumed;
        bytesDone.store(outcome.bytesDecoded, std::memory_order_relaxed);
        if (fed.zeroPeriod) {
            outcome.zeroPeriod = true;
            break;
        }
    }
    return outcome;
}

}  // namespace darvelon::plot
