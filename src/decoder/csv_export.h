#pragma once
// Decoded frames as CSV: one row per plotted frame with the period and the angle as computed,
// not as read back from the chart. Header: sample,period_ticks,speed_rpm,angle_deg,aux.
#include <ostream>

#include "frame_decoder.h"
#include "log_reader.h"

namespace darvelon::decoder {

inline constexpr const char* kCsvHeader = "sample,period_ticks,speed_rpm,angle_deg,aux\n";

// Writes a row for each frame the decoder hands out.
class CsvFrameWriter : public FrameSink {
public:
    explicit CsvFrameWriter(std::ostream& out) : m_out(out) {}
    void frame(const Frame& f) override;
    std::uint64_t rows() const { return m_rows; }

private:
    std::ostream& m_out;
    std::uint64_t m_rows = 0;
};

// Decodes a whole log with a replay's fresh state into CSV rows (header included). Throws
// LogReadError; a zero period is reported in the outcome, with the rows before it written.
ReplayOutcome exportCsv(const std::filesystem::path& log, std::ostream& out);

}  // namespace darvelon::decoder
