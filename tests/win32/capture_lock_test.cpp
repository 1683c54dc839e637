// The capture lock of a device on Windows: a named kernel object per device.
#include <gtest/gtest.h>

#include <windows.h>

#include "driverlink/platform.h"

namespace {

// One holder at a time, whatever the spelling of the device's name; other
// devices have locks of their own; a lock given back can be taken again.
TEST(Win32CaptureLockTest, OneHolderPerDevice) {
    const PlatformHandle lock = platform_lock_capture("\\\\.\\trvlmd");
    ASSERT_NE(lock, NO_HANDLE);
    for (const char *name : {"\\\\.\\trvlmd", "\\\\.\\TRVLMD", "\\\\.\\TrvlMd"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(platform_lock_capture(name), NO_HANDLE);
        EXPECT_EQ(platform_last_error(), platform_capture_busy_error());
    }
    EXPECT_EQ(platform_capture_busy_error(), ERROR_BUSY);
    const PlatformHandle other = platform_lock_capture("\\\\.\\TRVLM");
    EXPECT_NE(other, NO_HANDLE);
    platform_unlock_capture(other);
    platform_unlock_capture(lock);
    const PlatformHandle again = platform_lock_capture("\\\\.\\TRVLMD");
    EXPECT_NE(again, NO_HANDLE);
    platform_unlock_capture(again);
}

}  // namespace
