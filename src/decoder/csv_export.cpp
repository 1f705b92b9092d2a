#include "csv_export.h"

#include <charconv>
#include <string>

namespace darvelon::decoder {

void CsvFrameWriter::frame(const Frame& f) {
    // The shortest text that reads back as the same double.
    char degrees[32];
    const auto end = std::to_chars(degrees, degrees + sizeof degrees, f.angle.degrees).ptr;
    std::string row;
    row.reserve(64);
    row += std::to_string(f.sample);
    row += ',';
    row += std::to_string(f.periodTicks);
    row += ',';
    row += std::to_string(static_cast<std::int64_t>(f.speedRpm));
    row += ',';
    row.append(degrees, end);
    row += ',';
    row += std::to_string(f.aux);
    row += '\n';
    m_out << row;
    ++m_rows;
}

ReplayOutcome exportCsv(const std::filesystem::path& log, std::ostream& out) {
    LogReader reader(log);
    TFrameDecoder decoder;
    bool toggle = false;
    CsvFrameWriter writer(out);
    out << kCsvHeader;
    return decodeLog(reader, decoder, toggle, writer);
}

}  // namespace darvelon::decoder
