#include "csv_export.h"

#include <charconv>
#include <string>

#include "extended_math.h"

namespace darvelon::decoder {

void CsvFrameWriter::add(int index, std::int32_t x, double y, Rgb) {
    if (index != kSpeedEvenSeries && index != kSpeedOddSeries) return;
    double d = m_decoder.PeriodStamp - m_decoder.PrevPeriodStamp;
    if (d < 0) d += kStampModulus;
    const auto period = static_cast<std::uint32_t>(d);
    const Angle a = angle(static_cast<std::int32_t>(m_decoder.PeriodStamp - m_decoder.PhaseStamp), period);
    char degrees[32];
    const auto end = std::to_chars(degrees, degrees + sizeof degrees, a.degrees).ptr;
    std::string row;
    row.reserve(64);
    row += std::to_string(x);
    row += ',';
    row += std::to_string(period);
    row += ',';
    row += std::to_string(static_cast<std::int64_t>(y));
    row += ',';
    row.append(degrees, end);
    row += ',';
    row += std::to_string(m_decoder.AuxByte);
    row += '\n';
    m_out << row;
    ++m_rows;
}

ReplayOutcome exportCsv(const std::filesystem::path& log, std::ostream& out) {
    LogReader reader(log);
    TFrameDecoder decoder;
    bool toggle = false;
    CsvFrameWriter writer(decoder, out);
    out << kCsvHeader;
    return decodeLog(reader, decoder, toggle, writer);
}

}  // namespace darvelon::decoder
