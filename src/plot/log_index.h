#pragma once
// A replay's one pass over its log: decodes the rest of the log exactly as a plain replay does
// (stopping after a frame with a zero period) into a frame index instead of stored points.
#include <atomic>
#include <cstdint>
#include <stop_token>

#include "decoder/frame_decoder.h"
#include "decoder/log_reader.h"
#include "plot/frame_index.h"

namespace darvelon::plot {

// `bytesDone` counts the bytes decoded so far, for a progress display on another thread. A
// stop request ends the pass after the block in hand; the index then holds a prefix of the log.
decoder::ReplayOutcome indexLog(decoder::LogReader& log, decoder::TFrameDecoder& decoder, bool& toggle,
                                FrameIndex& index, std::stop_token stop, std::atomic<std::uint64_t>& bytesDone);

}  // namespace darvelon::plot
