#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <filesystem>
#include <memory>

#include "serial/ports_folder.h"

namespace darvelon::serial::testing {
namespace {

// One application object and one scratch data folder for the whole run, so that ports pinned by
// one test never meet the user's own pins.
class SerialEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/darvelon-serial-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_dataHome = pattern;
        ::setenv("XDG_DATA_HOME", pattern, 1);
        std::filesystem::create_directories(*portsFolder());
        m_app = std::make_unique<QCoreApplication>(m_argc, m_argv);
    }
    void TearDown() override {
        m_app.reset();
        std::filesystem::remove_all(m_dataHome);
    }

private:
    int m_argc = 1;
    char m_name[16] = "serial_tests";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QCoreApplication> m_app;
    std::filesystem::path m_dataHome;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new SerialEnvironment);

}  // namespace
}  // namespace darvelon::serial::testing
