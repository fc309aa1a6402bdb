#include "input_slots.h"

#include <gtest/gtest.h>

using namespace morpotta;

namespace {

using namespace platform;

TEST(DeviceSlotsTest, NumbersStayPutAcrossUnplugging) {
    DeviceSlots t{4, {}};
    EXPECT_EQ(AttachDevice(t, 100, "pad"), 0);
    EXPECT_EQ(AttachDevice(t, 101, "pad"), 1);
    EXPECT_EQ(AttachDevice(t, 100, "pad"), 0);  // already attached
    EXPECT_EQ(DetachDevice(t, 100), 0);
    EXPECT_EQ(DeviceAtSlot(t, 0), -1);
    EXPECT_EQ(DeviceAtSlot(t, 1), 101);
    EXPECT_EQ(DetachDevice(t, 100), -1);
    EXPECT_EQ(AttachDevice(t, 102, "other"), 0);
}

TEST(DeviceSlotsTest, AReturningDevicePrefersItsOwnPlace) {
    DeviceSlots t{4, {}};
    AttachDevice(t, 1, "a");
    AttachDevice(t, 2, "b");
    AttachDevice(t, 3, "c");
    DetachDevice(t, 1);
    DetachDevice(t, 2);
    EXPECT_EQ(AttachDevice(t, 20, "b"), 1);  // host ids change on re-plugging
    EXPECT_EQ(AttachDevice(t, 10, "a"), 0);
}

TEST(DeviceSlotsTest, TheLimitHolds) {
    DeviceSlots t{2, {}};
    EXPECT_EQ(AttachDevice(t, 1, "x"), 0);
    EXPECT_EQ(AttachDevice(t, 2, "x"), 1);
    EXPECT_EQ(AttachDevice(t, 3, "x"), -1);
    EXPECT_EQ(FindDeviceSlot(t, 3), -1);
    EXPECT_EQ(DeviceAtSlot(t, 2), -1);
    EXPECT_EQ(DeviceAtSlot(t, -1), -1);
    DetachDevice(t, 1);
    EXPECT_EQ(AttachDevice(t, 3, "x"), 0);
}

}  // namespace
