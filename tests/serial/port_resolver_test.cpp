// COMn to device: pins in the ports folder first, then the serial devices present.
#include "serial/port_resolver.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "serial/ports_folder.h"

namespace darvelon::serial {
namespace {

namespace fs = std::filesystem;

class PortResolverTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::path(std::getenv("XDG_DATA_HOME")) / "resolver";
        m_tree = {m_root / "dev", m_root / "sys"};
        fs::create_directories(m_tree.dev);
        for (const char* name :
             {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "ttyS3", "ttyUSB", "ttyUSBx", "tty5", "console"}) {
            std::ofstream(m_tree.dev / name);
        }
        // ttyS0 is the phantom 8250 port; ttyS1 has a 16550A; ttyS3 says nothing about itself.
        portType("ttyS0", 0);
        portType("ttyS1", 4);
    }
    void TearDown() override {
        fs::remove_all(m_root);
        for (const int n : {1, 2, 3, 4, 5}) {
            fs::remove(*portEntry(n));
            fs::remove(publicationLock(*portEntry(n)));
        }
    }
    void portType(const char* name, int type) {
        fs::create_directories(m_tree.sysClassTty / name);
        std::ofstream(m_tree.sysClassTty / name / "type") << type << '\n';
    }
    fs::path dev(const char* name) const { return m_tree.dev / name; }

    fs::path m_root;
    DeviceTree m_tree;
};

TEST_F(PortResolverTest, CountsUsbThenAcmThenRealUartsEachInNumericOrder) {
    EXPECT_EQ(listSerialDevices(m_tree),
              (std::vector<fs::path>{dev("ttyUSB2"), dev("ttyUSB10"), dev("ttyACM0"), dev("ttyS1"), dev("ttyS3")}));
    EXPECT_EQ(resolvePortDevice(1, m_tree), dev("ttyUSB2"));
    EXPECT_EQ(resolvePortDevice(5, m_tree), dev("ttyS3"));
    EXPECT_EQ(resolvePortDevice(6, m_tree), std::nullopt);
    EXPECT_EQ(resolvePortDevice(0, m_tree), std::nullopt);
}

TEST_F(PortResolverTest, APinWinsAndNeverFallsBackToAnotherDevice) {
    fs::create_symlink(dev("ttyS3"), *portEntry(1));                            // absolute link
    fs::create_symlink("../../resolver/dev/ttyACM0", *portEntry(2));            // relative to the folder
    std::ofstream(*portEntry(3)) << "  " << dev("ttyUSB10").native() << " \n";  // a path in a file
    std::ofstream(*portEntry(5)) << "../../resolver/dev/ttyUSB2\n";             // relative to the folder too
    EXPECT_EQ(resolvePortDevice(1, m_tree), dev("ttyS3"));
    EXPECT_EQ(resolvePortDevice(2, m_tree),
              (portEntry(2)->parent_path() / "../../resolver/dev/ttyACM0").lexically_normal());
    EXPECT_EQ(resolvePortDevice(3, m_tree), dev("ttyUSB10"));
    EXPECT_EQ(resolvePortDevice(4, m_tree), dev("ttyS1"));  // unpinned numbers still count
    EXPECT_EQ(resolvePortDevice(5, m_tree),
              (portEntry(5)->parent_path() / "../../resolver/dev/ttyUSB2").lexically_normal());

    fs::remove(dev("ttyS3"));  // the pinned adapter is unplugged
    EXPECT_EQ(resolvePortDevice(1, m_tree), std::nullopt);
}

// A simulator's entry: the link, and the lock file it holds that names the same device.
TEST_F(PortResolverTest, ASimulatorsEntryStandsForItsDeviceOnlyWhileItsLockIsHeld) {
    const fs::path entry = *portEntry(4);
    fs::create_symlink(dev("ttyACM0"), entry);
    std::ofstream(publicationLock(entry)) << dev("ttyACM0").native() << "\npid 1\n";
    const int held = ::open(publicationLock(entry).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_EQ(resolvePortDevice(4, m_tree), dev("ttyACM0"));
    EXPECT_TRUE(readPublication(entry)->live);

    fs::remove(entry);  // the link names another device than the lock does
    fs::create_symlink(dev("ttyS1"), entry);
    EXPECT_EQ(resolvePortDevice(4, m_tree), std::nullopt);

    fs::remove(entry);
    fs::create_symlink(dev("ttyACM0"), entry);
    ::close(held);  // the simulator was killed: its terminal's number goes to somebody else
    EXPECT_EQ(resolvePortDevice(4, m_tree), std::nullopt);
    EXPECT_FALSE(readPublication(entry)->live);
    EXPECT_EQ(readPublication(entry)->device, dev("ttyACM0"));
    EXPECT_EQ(readPublication(*portEntry(1)), std::nullopt);  // made by hand
}

TEST(PortsFolder, FollowsXdgDataHomeIgnoresARelativeValueAndIsNoneWithoutAHome) {
    const std::string saved = std::getenv("XDG_DATA_HOME");
    const std::string home = std::getenv("HOME");
    ::setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(*portEntry(12), fs::path("/data/darvelon/ports/com12"));
    ::setenv("XDG_DATA_HOME", "relative", 1);
    EXPECT_EQ(*portsFolder(), fs::path(home) / ".local/share/darvelon/ports");
    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("HOME");
    EXPECT_EQ(portsFolder(), std::nullopt);
    EXPECT_EQ(portEntry(1), std::nullopt);
    // No pins then, but the devices present still count.
    const fs::path root = fs::path(saved) / "no-home";
    fs::create_directories(root / "dev");
    std::ofstream(root / "dev" / "ttyUSB0");
    EXPECT_EQ(resolvePortDevice(1, DeviceTree{root / "dev", root / "sys"}), root / "dev" / "ttyUSB0");
    fs::remove_all(root);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace darvelon::serial
