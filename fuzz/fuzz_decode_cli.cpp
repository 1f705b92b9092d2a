// The CSV export behind `darvelon-cli decode` on arbitrary logs: the text must read back as the
// header plus one well-formed row per plotted frame, agreeing with a direct decode.
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "decoder/csv_export.h"
#include "fuzz_support.h"

using namespace darvelon;
namespace fs = std::filesystem;

namespace {

fs::path g_log;

template <typename T>
T field(std::string_view text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    FUZZ_CHECK(ec == std::errc() && end == text.data() + text.size());
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_log = fs::temp_directory_path() / ("darvelon-fuzz-cli-" + std::to_string(::getpid()) + ".dcc");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ofstream(g_log, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    std::ostringstream out;
    const decoder::ReplayOutcome outcome = decoder::exportCsv(g_log, out);

    // The export always starts a replay: toggle false, fresh state.
    const fuzz::Expected expected = fuzz::expectedPlot(std::span(data, size), false);
    FUZZ_CHECK(outcome.zeroPeriod == expected.zeroPeriod);
    FUZZ_CHECK(outcome.bytesDecoded == expected.consumed);

    const std::string csv = out.str();
    std::string_view rest = csv;
    FUZZ_CHECK(rest.starts_with(decoder::kCsvHeader));
    rest.remove_prefix(std::string_view(decoder::kCsvHeader).size());
    std::int64_t previousSample = -1;
    std::size_t row = 0;
    while (!rest.empty()) {
        const auto newline = rest.find('\n');
        FUZZ_CHECK(newline != std::string_view::npos);  // every row ends its line
        std::string_view line = rest.substr(0, newline);
        rest.remove_prefix(newline + 1);
        std::string_view fields[5];
        for (int f = 0; f < 5; ++f) {
            const auto comma = line.find(',');
            FUZZ_CHECK((comma == std::string_view::npos) == (f == 4));
            fields[f] = line.substr(0, comma);
            line.remove_prefix(f == 4 ? line.size() : comma + 1);
        }
        const auto sample = field<std::int64_t>(fields[0]);
        const auto period = field<std::uint32_t>(fields[1]);
        const auto speed = field<std::int64_t>(fields[2]);
        const auto degrees = field<double>(fields[3]);
        const auto aux = field<unsigned>(fields[4]);
        FUZZ_CHECK(sample > previousSample);
        previousSample = sample;
        FUZZ_CHECK(period > 0 && period < decoder::kStampModulus);
        FUZZ_CHECK(std::isfinite(degrees));
        FUZZ_CHECK(aux <= 255);

        FUZZ_CHECK(3 * row + 2 < expected.points.size());
        const fuzz::Point& speedPoint = expected.points[3 * row];
        const fuzz::Point& auxPoint = expected.points[3 * row + 2];
        FUZZ_CHECK(sample == speedPoint.x);
        FUZZ_CHECK(double(speed) == speedPoint.y);
        FUZZ_CHECK(double(aux) * 10 == auxPoint.y);
        FUZZ_CHECK(period == expected.frameValues[row].period);
        // Written in the shortest form that reads back to the same double.
        FUZZ_CHECK(fuzz::sameBits(degrees, expected.frameValues[row].degrees));
        ++row;
    }
    FUZZ_CHECK(row == std::size_t(expected.frames));
    return 0;
}
