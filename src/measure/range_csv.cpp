#include "measure/range_csv.h"

#include <cmath>

#include "decoder/csv_export.h"
#include "decoder/frame_format.h"

namespace darvelon::measure {

namespace {

// Times the rows from the first frame's time on the chart, taken back to whole ticks: the sum
// of the later periods then gives every row the very double the chart shows for its frame.
class RangeRows final : public decoder::FrameSink {
public:
    RangeRows(const plot::ChartModel& model, std::ostream& out) : m_model(model), m_out(out) {}
    void frame(const decoder::Frame& f) override {
        if (!m_writer) {
            const double seconds = m_model.secondsAt(f.sample).value_or(0);
            m_writer.emplace(m_out, std::uint64_t(std::llround(seconds * decoder::kTicksPerSecond)));
        }
        m_writer->frame(f);
    }
    std::uint64_t rows() const { return m_writer ? m_writer->rows() : 0; }

private:
    const plot::ChartModel& m_model;
    std::ostream& m_out;
    std::optional<decoder::TimedCsvWriter> m_writer;
};

}  // namespace

std::uint64_t exportRangeCsv(const plot::ChartModel& model, double x0, double x1, std::ostream& out) {
    out << decoder::kTimedCsvHeader;
    RangeRows rows(model, out);
    model.forEachFrame(x0, x1, rows);
    return rows.rows();
}

}  // namespace darvelon::measure
