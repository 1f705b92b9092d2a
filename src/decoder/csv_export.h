#pragma once
// Decoded frames as CSV: one row per plotted frame with the period and the angle as computed,
// not as read back from the chart. Header: sample,period_ticks,speed_rpm,angle_deg,aux; the
// window's exports add time_s last.
#include <cstdint>
#include <ostream>
#include <string>

#include "frame_decoder.h"
#include "log_reader.h"

namespace darvelon::decoder {

// Appends the shortest text that reads back as the same double: every number in our CSV files.
void appendShortest(std::string& row, double value);

inline constexpr const char* kCsvHeader = "sample,period_ticks,speed_rpm,angle_deg,aux\n";
inline constexpr const char* kTimedCsvHeader = "sample,period_ticks,speed_rpm,angle_deg,aux,time_s\n";

// The columns of kCsvHeader for one frame, without the line end.
void appendCsvColumns(std::string& row, const Frame& f);

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

// The same rows with time_s: seconds since time zero, counted in whole ticks so a row reads
// exactly what the chart's time of that frame reads. The first frame written lies `firstTicks`
// after time zero, each later one its period after the one before.
class TimedCsvWriter : public FrameSink {
public:
    explicit TimedCsvWriter(std::ostream& out, std::uint64_t firstTicks = 0) : m_out(out), m_ticks(firstTicks) {}
    void frame(const Frame& f) override;
    std::uint64_t rows() const { return m_rows; }

private:
    std::ostream& m_out;
    std::uint64_t m_ticks;
    std::uint64_t m_rows = 0;
};

// Decodes a whole log with a replay's fresh state into CSV rows (header included). Throws
// LogReadError; a zero period is reported in the outcome, with the rows before it written.
ReplayOutcome exportCsv(const std::filesystem::path& log, std::ostream& out);
// The same with time_s, time zero at the first plotted frame.
ReplayOutcome exportTimedCsv(const std::filesystem::path& log, std::ostream& out);

}  // namespace darvelon::decoder
