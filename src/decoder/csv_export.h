#pragma once
// Decoded frames as CSV: one row per plotted frame with the period and the angle as computed,
// not as read back from the chart. Header: sample,period_ticks,speed_rpm,angle_deg,aux.
#include <ostream>

#include "frame_decoder.h"
#include "log_reader.h"

namespace darvelon::decoder {

inline constexpr const char* kCsvHeader = "sample,period_ticks,speed_rpm,angle_deg,aux\n";

// A plot target that writes a row for each frame the decoder plots. It reads the period and
// stamps from the decoder when the frame's first point arrives, before the frame step moves
// the previous stamp on.
class CsvFrameWriter : public PlotTarget {
public:
    CsvFrameWriter(const TFrameDecoder& decoder, std::ostream& out) : m_decoder(decoder), m_out(out) {}
    void add(int index, std::int32_t x, double y, Rgb colour) override;
    std::uint64_t rows() const { return m_rows; }

private:
    const TFrameDecoder& m_decoder;
    std::ostream& m_out;
    std::uint64_t m_rows = 0;
};

// Decodes a whole log with a replay's fresh state into CSV rows (header included). Throws
// LogReadError; a zero period is reported in the outcome, with the rows before it written.
ReplayOutcome exportCsv(const std::filesystem::path& log, std::ostream& out);

}  // namespace darvelon::decoder
