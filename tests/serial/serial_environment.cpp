#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "serial/ports_folder.h"

namespace darvelon::serial::testing {
namespace {

// One scratch data folder for the whole run, so that ports pinned by
// one test never meet the user's own pins.
class SerialEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/darvelon-serial-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dataHome = pattern;
        ::setenv("XDG_DATA_HOME", pattern, 1);
        std::filesystem::create_directories(*portsFolder());
    }
    void TearDown() override { std::filesystem::remove_all(m_dataHome); }

private:
    std::filesystem::path m_dataHome;
};

[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new SerialEnvironment);

}  // namespace
}  // namespace darvelon::serial::testing
