#include "csv_export.h"

#include <charconv>

#include "frame_format.h"

namespace darvelon::decoder {

void appendShortest(std::string& row, double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    row.append(text, end);
}

namespace {

template <class Writer>
ReplayOutcome decodeToCsv(const std::filesystem::path& log, std::ostream& out, const char* header) {
    LogReader reader(log);
    TFrameDecoder decoder;
    bool toggle = false;
    Writer writer(out);
    out << header;
    return decodeLog(reader, decoder, toggle, writer);
}

}  // namespace

void appendCsvColumns(std::string& row, const Frame& f) {
    row += std::to_string(f.sample);
    row += ',';
    row += std::to_string(f.periodTicks);
    row += ',';
    row += std::to_string(static_cast<std::int64_t>(f.speedRpm));
    row += ',';
    appendShortest(row, f.angle.degrees);
    row += ',';
    row += std::to_string(f.aux);
}

void CsvFrameWriter::frame(const Frame& f) {
    std::string row;
    row.reserve(64);
    appendCsvColumns(row, f);
    row += '\n';
    m_out << row;
    ++m_rows;
}

void TimedCsvWriter::frame(const Frame& f) {
    if (m_rows > 0) m_ticks += f.periodTicks;
    std::string row;
    row.reserve(96);
    appendCsvColumns(row, f);
    row += ',';
    appendShortest(row, double(m_ticks) / kTicksPerSecond);
    row += '\n';
    m_out << row;
    ++m_rows;
}

ReplayOutcome exportCsv(const std::filesystem::path& log, std::ostream& out) {
    return decodeToCsv<CsvFrameWriter>(log, out, kCsvHeader);
}

ReplayOutcome exportTimedCsv(const std::filesystem::path& log, std::ostream& out) {
    return decodeToCsv<TimedCsvWriter>(log, out, kTimedCsvHeader);
}

}  // namespace darvelon::decoder
