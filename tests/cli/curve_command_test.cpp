// darvelon-cli curve as a user runs it: its output must be the table the analysis library builds
// from the same log, and its failures must read as decode's do.
#include <gtest/gtest.h>

#include <charconv>
#include <sstream>

#include "analysis/curve_csv.h"
#include "cli_process.h"
#include "support/curve_tables.h"
#include "support/fuzzed_stream.h"

namespace darvelon::cli::testing {
namespace {

namespace fs = std::filesystem;

std::string tableOf(const fs::path& log, double binRpm, std::optional<analysis::TimeWindow> window) {
    std::ostringstream out;
    analysis::writeCurveCsv(test::curveOfLog(log, binRpm, window), out);
    return out.str();
}

std::string shortest(double value) {
    char text[32];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

TEST(CurveCommand, PrintsTheLibrarysTableForAnyBinAndWindow) {
    ScratchDir dir;
    const fs::path log = dir / "fuzzed.dcc";
    const test::FuzzedStream stream = test::fuzzedStream(3, 20000);
    test::writeFile(log, stream.bytes);
    // Window edges on frames' times, written so they read back as those very times.
    const std::vector<double> seconds = stream.seconds();
    const double from = seconds[seconds.size() / 3];
    const double to = seconds[seconds.size() / 2];
    const double inf = std::numeric_limits<double>::infinity();

    struct Case {
        std::vector<std::string> options;
        double binRpm;
        std::optional<analysis::TimeWindow> window;
    };
    const Case cases[] = {
        {{}, 100, std::nullopt},
        {{"--bin", "2.5"}, 2.5, std::nullopt},
        {{"--bin", "7", "--from", shortest(from), "--to", shortest(to)}, 7, analysis::TimeWindow{from, to}},
        {{"--from", shortest(from)}, 100, analysis::TimeWindow{from, inf}},
        {{"--to", shortest(to)}, 100, analysis::TimeWindow{0, to}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"curve", log.string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Finished run = runCli(args, dir.path(), dir.path(), "curve");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const std::string expected = tableOf(log, c.binRpm, c.window);
        EXPECT_GT(expected.size(), std::string(analysis::kCurveCsvHeader).size() + 100);
        EXPECT_EQ(run.out, expected) << ::testing::PrintToString(c.options);
    }
}

// A zero period stops the table where decode stops its rows, with decode's message; a log that
// cannot be read gives nothing at all.
TEST(CurveCommand, FailsAsDecodeDoes) {
    ScratchDir dir;
    const test::Bytes clean = test::fuzzedStream(4, 3000).bytes;
    const test::Bytes repeated(clean.end() - 9, clean.end());  // the last frame sent twice
    const fs::path before = dir / "before.dcc";
    const fs::path faulty = dir / "faulty.dcc";
    test::writeFile(before, clean);
    test::writeFile(faulty, test::concat({clean, repeated, test::steadyFrames(50)}));
    const Finished curve = runCli({"curve", faulty.string()}, dir.path(), dir.path(), "curve");
    const Finished decode = runCli({"decode", faulty.string()}, dir.path(), dir.path(), "decode");
    EXPECT_EQ(curve.status, 1);
    EXPECT_EQ(decode.status, 1);
    EXPECT_EQ(curve.err, decode.err);
    EXPECT_NE(curve.err.find("at byte offset " + std::to_string(clean.size() + 8)), std::string::npos) << curve.err;
    EXPECT_EQ(curve.out, tableOf(before, 100, std::nullopt));

    for (const fs::path& log : {dir / "missing.dcc", dir.path()}) {
        const Finished run = runCli({"curve", log.string()}, dir.path(), dir.path(), "unreadable");
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(log.string()), std::string::npos) << run.err;
    }
}

}  // namespace
}  // namespace darvelon::cli::testing
