#pragma once
// The curve table of a log file, built as darvelon-cli builds it, and tables compared bin by bin.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <tuple>
#include <vector>

#include "analysis/curve_table.h"
#include "decoder/log_reader.h"

namespace darvelon::test {

inline std::vector<analysis::CurveBin> curveOfLog(const std::filesystem::path& log, double binRpm,
                                                  std::optional<analysis::TimeWindow> window = std::nullopt) {
    analysis::CurveTable table(binRpm, window);
    decoder::LogReader reader(log);
    decoder::TFrameDecoder decoder;
    bool toggle = false;
    decoder::decodeLog(reader, decoder, toggle, table);
    return table.bins();
}

inline std::uint64_t framesIn(const std::vector<analysis::CurveBin>& bins) {
    std::uint64_t n = 0;
    for (const auto& b : bins) n += b.frames;
    return n;
}

// Exact, but for the mean, which another summing order may round differently.
inline void expectSameBins(const std::vector<analysis::CurveBin>& got, const std::vector<analysis::CurveBin>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        const analysis::CurveBin& g = got[i];
        const analysis::CurveBin& w = want[i];
        EXPECT_EQ(std::tie(g.fromRpm, g.toRpm, g.frames, g.minDeg, g.maxDeg),
                  std::tie(w.fromRpm, w.toRpm, w.frames, w.minDeg, w.maxDeg));
        EXPECT_NEAR(g.meanDeg, w.meanDeg, 1e-9 * std::max(1.0, std::abs(w.meanDeg))) << "from " << w.fromRpm;
    }
}

}  // namespace darvelon::test
