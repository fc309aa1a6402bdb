// The hidraw back end without hardware: enumeration on this machine, bad
// paths and handles, and read/wake/write against a FIFO, which loops
// written bytes back like a device that echoes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/hid.h"
#include "scoped_temp_dir.h"

using namespace morpotta;

namespace {
class Hidraw : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(platform::SelectHidBackend("hidraw")); }
    void TearDown() override { platform::SelectHidBackend("sim"); }
};

TEST_F(Hidraw, SelectionAndEnumeration) {
    EXPECT_FALSE(platform::SelectHidBackend("no such back end"));
    EXPECT_FALSE(platform::SelectHidBackend(nullptr));
    EXPECT_STREQ(platform::Hid().name, "hidraw");
    platform::HidDeviceInfo devices[8];
    int found = platform::Hid().enumerate(devices, 8);
    EXPECT_GE(found, -1);
    for (int i = 0; i < std::min(found, 8); ++i) EXPECT_EQ(std::strncmp(devices[i].path, "/dev/hidraw", 11), 0);
    EXPECT_NE(platform::Hid().sendOutputReport, nullptr);
}

TEST_F(Hidraw, BadPathsAndHandlesFailCleanly) {
    int error = 0;
    EXPECT_EQ(platform::Hid().open("/nonexistent/hidraw9", &error), 0);
    EXPECT_EQ(error, ENOENT);
    uint8_t buffer[22] = {};
    EXPECT_EQ(platform::Hid().read(0, buffer, 22, 10), -1);
    EXPECT_EQ(platform::Hid().write(0, buffer, 22, &error), platform::HidStatus::Failed);
    platform::Hid().wake(0);
    platform::Hid().close(0);
}

TEST_F(Hidraw, ReadsWithTimeOutWakeAndWrite) {
    ScopedTempDir dir;
    std::string path = (dir.path() / "fifo").string();
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    int error = 0;
    platform::HidDevice device = platform::Hid().open(path.c_str(), &error);
    ASSERT_NE(device, 0) << error;
    uint8_t buffer[22] = {};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::Hid().read(device, buffer, 22, 30), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25));

    // A wake-up ends a long wait at once.
    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        platform::Hid().wake(device);
    });
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(platform::Hid().read(device, buffer, 22, 5000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    waker.join();

    const uint8_t report[22] = {0x15, 0x01};
    EXPECT_EQ(platform::Hid().write(device, report, 22, &error), platform::HidStatus::Ok);
    EXPECT_EQ(platform::Hid().read(device, buffer, 22, 1000), 22);
    EXPECT_EQ(buffer[0], 0x15);
    // A FIFO has no output-report call.
    EXPECT_EQ(platform::Hid().sendOutputReport(device, report, 22, &error), platform::HidStatus::NotSupported);
    platform::Hid().close(device);
}

}  // namespace
