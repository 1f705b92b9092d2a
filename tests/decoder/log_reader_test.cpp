#include "decoder/log_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <charconv>
#include <filesystem>
#include <sstream>

#include "decoder/csv_export.h"
#include "decoder/extended_math.h"
#include "recording_target.h"
#include "support/frames.h"

using namespace darvelon::decoder;
using namespace darvelon::test;
namespace fs = std::filesystem;

namespace {

class LogFiles : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("darvelon-log-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }
    fs::path file(const std::string& name, const Bytes& bytes) {
        const fs::path p = m_dir / name;
        writeFile(p, bytes);
        return p;
    }
    std::string csv(const fs::path& p, ReplayOutcome* outcome = nullptr) {
        std::ostringstream out;
        const ReplayOutcome o = exportCsv(p, out);
        if (outcome) *outcome = o;
        return out.str();
    }
    fs::path m_dir;
};

std::string messageOf(const fs::path& p) {
    try {
        LogReader r(p);
        std::vector<std::uint8_t> buf(16);
        while (r.read(buf)) {
        }
    } catch (const LogReadError& e) {
        return e.what();
    }
    return {};
}

}  // namespace

TEST_F(LogFiles, UnreadablePathsNameTheFileAndTheReason) {
    EXPECT_EQ(messageOf(m_dir / "missing.dcc"),
              "Cannot open file \"" + (m_dir / "missing.dcc").string() + "\". No such file or directory");
    EXPECT_EQ(messageOf(m_dir), "Cannot open file \"" + m_dir.string() + "\". Is a directory");
    const fs::path russian = file("журнал двигателя.dcc", frame(1, 1, 1));
    EXPECT_EQ(messageOf(russian), "");
}

#ifndef _WIN32  // Windows keeps its named pipes out of the folders a log could be in
TEST_F(LogFiles, ANamedPipeIsRefusedInsteadOfWaitingForAWriter) {
    const fs::path fifo = m_dir / "pipe.dcc";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(messageOf(fifo), "Cannot open file \"" + fifo.string() + "\". Not a regular file");
}
#endif

TEST_F(LogFiles, AFileThatShrinksWhileReadIsAReadError) {
    const fs::path p = file("shrinks.dcc", steadyFrames(100));
    LogReader reader(p);
    EXPECT_EQ(reader.size(), 900u);
    std::vector<std::uint8_t> buf(450);
    EXPECT_EQ(reader.read(buf), 450u);
    fs::resize_file(p, 500);
    EXPECT_EQ(reader.read(buf), 50u);
    EXPECT_THROW(reader.read(buf), LogReadError);
}

TEST_F(LogFiles, AFileThatGrowsIsReadUpToItsSizeAtOpening) {
    const fs::path p = file("grows.dcc", steadyFrames(10));
    LogReader reader(p);
    writeFile(p, steadyFrames(20));
    std::vector<std::uint8_t> buf(1000);
    EXPECT_EQ(reader.read(buf), 90u);
    EXPECT_EQ(reader.read(buf), 0u);
}

TEST_F(LogFiles, CsvRowsCarryPeriodSpeedExactAngleAndAux) {
    const fs::path p = file("two.dcc", concat({frame(36000, 0, 5), frame(72000, 36000, 7), frame(72001, 0, 255)}));
    EXPECT_EQ(csv(p), std::string(kCsvHeader) + "0,36000,999,180,7\n1,1,36000000,12960180,255\n");
}

TEST_F(LogFiles, CsvAngleIsTheShortestTextThatReadsBackExactly) {
    Bytes stream = frame(0, 0, 0);
    for (std::uint32_t i = 1; i <= 200; ++i) {
        const Bytes f = frame(i * 7777, i * 7777 - (i * 131) % 9000, 0);
        stream.insert(stream.end(), f.begin(), f.end());
    }
    std::istringstream rows(csv(file("angles.dcc", stream)));
    std::string line;
    std::getline(rows, line);
    std::uint32_t i = 0;
    while (std::getline(rows, line)) {
        ++i;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
        ASSERT_EQ(fields.size(), 5u) << line;
        const Angle expected = angle(std::int32_t((i * 131) % 9000), 7777);
        double degrees = 0;
        const auto [end, ec] = std::from_chars(fields[3].data(), fields[3].data() + fields[3].size(), degrees);
        EXPECT_EQ(end, fields[3].data() + fields[3].size()) << line;
        EXPECT_EQ(degrees, expected.degrees) << line;
        // Shortest: one digit fewer would no longer read back to the same double.
        char shorter[32];
        const auto res = std::to_chars(shorter, shorter + sizeof shorter, expected.degrees);
        EXPECT_EQ(std::string(shorter, res.ptr), fields[3]);
    }
    EXPECT_EQ(i, 200u);
}

TEST_F(LogFiles, CsvStopsAtAZeroPeriodWithTheRowsBefore) {
    ReplayOutcome outcome;
    const std::string text =
        csv(file("zero.dcc",
                 concat({{0x00, 0x00}, frame(100, 0, 1), frame(200, 0, 2), frame(200, 0, 3), frame(300, 0, 4)})),
            &outcome);
    EXPECT_TRUE(outcome.zeroPeriod);
    EXPECT_EQ(outcome.bytesDecoded - 1, 2u + 27u - 1u);
    EXPECT_EQ(text, std::string(kCsvHeader) + "0,100,360000,360,2\n");
}
