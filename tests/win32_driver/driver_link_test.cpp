// The driver link's Win32 backend against Wine's (or Windows') registry and
// the simulated kernel driver tarvelsim.sys, which must be installed as the
// service tarvelsim and running when this program starts (scripts/test.d
// does that with sc create and sc start). Needs an administrator.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "driverlink/device.h"
#include "driverlink/driver_source.h"
#include "driverlink/ioctl.h"
#include "driverlink/platform.h"
#include "driverlink/recording_flag.h"
#include "simulator/win32/tarvelsim_control.h"

namespace {

HANDLE control = INVALID_HANDLE_VALUE;

DWORD control_call(DWORD code, const void *input, DWORD input_size, void *output = nullptr,
                   DWORD output_size = 0) {
    DWORD count = 0;
    DeviceIoControl(control, code, const_cast<void *>(input), input_size, output, output_size,
                    &count, nullptr);
    return count;
}

void set_value(const char *key_path, const char *name, DWORD type, const void *data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::vector<unsigned char> get_value(const char *key_path, const char *name) {
    HKEY key = nullptr;
    std::vector<unsigned char> bytes(64);
    DWORD size = DWORD(bytes.size());
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return {};
    }
    const LONG status = RegQueryValueExA(key, name, nullptr, nullptr, bytes.data(), &size);
    RegCloseKey(key);
    bytes.resize(status == ERROR_SUCCESS ? size : 0);
    return bytes;
}

void set_active(uint32_t count) {
    set_value(RECORDER_KEY, ACTIVE_MODEMS_VALUE, REG_DWORD, &count, sizeof count);
    set_value(MONITOR_KEY, ACTIVE_MODEMS_VALUE, REG_DWORD, &count, sizeof count);
    control_call(TARVELSIM_SET_ACTIVE, &count, sizeof count);
}

void queue_capture(uint32_t modem, const std::vector<unsigned char> &bytes) {
    std::vector<unsigned char> message(4);
    std::memcpy(message.data(), &modem, 4);
    message.insert(message.end(), bytes.begin(), bytes.end());
    uint32_t queued = 0;
    control_call(TARVELSIM_QUEUE_CAPTURE, message.data(), DWORD(message.size()), &queued,
                 sizeof queued);
    ASSERT_EQ(queued, bytes.size());
}

std::vector<TarvelSimLogEntry> served_calls() {
    std::vector<TarvelSimLogEntry> rows(TARVELSIM_LOG_MAX);
    const DWORD bytes = control_call(TARVELSIM_READ_LOG, nullptr, 0, rows.data(),
                                     DWORD(rows.size() * sizeof rows[0]));
    rows.resize(bytes / sizeof rows[0]);
    return rows;
}

bool control_service(bool start) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = manager != nullptr ? OpenServiceA(manager, TARVELSIM_SERVICE_NAME, SERVICE_ALL_ACCESS)
                                           : nullptr;
    bool done = false;
    if (service != nullptr) {
        SERVICE_STATUS status;
        done = start ? StartServiceA(service, 0, nullptr) != 0
                     : ControlService(service, SERVICE_CONTROL_STOP, &status) != 0;
        const DWORD wanted = start ? SERVICE_RUNNING : SERVICE_STOPPED;
        for (int i = 0; done && i < 100 && QueryServiceStatus(service, &status) &&
                        status.dwCurrentState != wanted;
             ++i) {
            Sleep(50);
        }
        CloseServiceHandle(service);
    }
    if (manager != nullptr) {
        CloseServiceHandle(manager);
    }
    return done;
}

void open_control() {
    control = CreateFileA(TARVELSIM_CONTROL_LINK, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, 0, nullptr);
}

struct DriverLinkTest : testing::Test {
    PlatformDriverSource source_;
    DriverLink link_;
    void SetUp() override {
        driver_link_init(link_, &source_, RECORDER_KEY);
        if (control == INVALID_HANDLE_VALUE) {
            open_control();
        }
        ASSERT_NE(control, INVALID_HANDLE_VALUE) << "the tarvelsim service must be running";
        control_call(TARVELSIM_RESET, nullptr, 0);
        set_active(0);
        ASSERT_TRUE(choose_device_name(link_, platform_is_nt_family(), nullptr));
    }
    void TearDown() override {
        set_active(0);
        modem_presence(link_);
        EXPECT_EQ(link_.device, NO_HANDLE) << "a count of 0 closes the device";
        driver_link_close(link_);
    }
};

TEST_F(DriverLinkTest, NamesTheDeviceForTheNtFamilyOrByTheArgument) {
    EXPECT_TRUE(platform_is_nt_family());
    EXPECT_STREQ(link_.device_name, "\\\\.\\trvlmd");
    EXPECT_TRUE(choose_device_name(link_, true, "abc"));
    EXPECT_STREQ(link_.device_name, "\\\\.\\abc");
    EXPECT_TRUE(choose_device_name(link_, true, ""));
    EXPECT_STREQ(link_.device_name, "\\\\.\\trvlmd");
}

// ActiveModems is read as 4 bytes whatever its registry type.
TEST_F(DriverLinkTest, PresenceFollowsActiveModemsAndHoldsTheRealDeviceOpen) {
    struct Case {
        uint32_t count;
        DWORD type;
        int presence;
    };
    const Case cases[] = {
        {1, REG_DWORD, 1}, {2, REG_DWORD, 2}, {3, REG_DWORD, 2}, {0xFFFFFFFF, REG_DWORD, 2},
        {0, REG_DWORD, 0}, {1, REG_BINARY, 1}, {2, REG_BINARY, 2}, {0, REG_BINARY, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " type " << c.type);
        set_value(RECORDER_KEY, ACTIVE_MODEMS_VALUE, c.type, &c.count, sizeof c.count);
        EXPECT_EQ(modem_presence(link_), c.presence);
        EXPECT_EQ(link_.device != NO_HANDLE, c.presence != 0);
        if (c.presence != 0) {
            // The handle is the driver's: one record queued is one record served.
            unsigned char record[40];
            for (int i = 0; i < 40; ++i) {
                record[i] = (unsigned char)(i + c.count);
            }
            uint32_t queued = 0;
            control_call(TARVELSIM_QUEUE_RECORDS, record, sizeof record, &queued, sizeof queued);
            ASSERT_EQ(queued, 1u);
            unsigned char got[STATUS_RECORD_BYTES] = {};
            uint32_t count = 0;
            platform_device_control(link_.device, IOCTL_TARVEL_GET_STATUS, nullptr, 0, got, sizeof got, &count);
            EXPECT_EQ(count, STATUS_RECORD_BYTES);
            EXPECT_EQ(std::memcmp(got, record, sizeof got), 0);
        }
    }
}

TEST_F(DriverLinkTest, MissingKeyOrValueReadsAsNoModem) {
    link_.program_key = "SOFTWARE\\Ostrand\\NoSuchProgram";
    EXPECT_EQ(modem_presence(link_), 0);
    link_.program_key = RECORDER_KEY;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, RECORDER_KEY, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, ACTIVE_MODEMS_VALUE);
    RegCloseKey(key);
    EXPECT_EQ(modem_presence(link_), 0);
    EXPECT_EQ(link_.device, NO_HANDLE);
}

TEST_F(DriverLinkTest, DeviceArgumentChoosesTheDevice) {
    struct Case {
        const char *argument;
        int presence;
    };
    const Case cases[] = {{"TRVLM", 1}, {"trvlm", 1}, {"trvlmd", 1}, {"abc", 0}, {"TRVLMX", 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.argument);
        ASSERT_TRUE(choose_device_name(link_, true, c.argument));
        set_active(1);
        EXPECT_EQ(modem_presence(link_), c.presence);
        EXPECT_EQ(modem_presence(link_), c.presence) << "and again on the next check";
        set_active(0);
        EXPECT_EQ(modem_presence(link_), 0);
    }
}

TEST_F(DriverLinkTest, DeviceThatCannotBeOpenedReadsAsNoModemUntilItCan) {
    const TarvelSimFaults refuse = {0, 0, 0, 1};
    control_call(TARVELSIM_SET_FAULTS, &refuse, sizeof refuse);
    set_active(2);
    EXPECT_EQ(modem_presence(link_), 0);
    EXPECT_EQ(link_.device, NO_HANDLE);
    const TarvelSimFaults none = {};
    control_call(TARVELSIM_SET_FAULTS, &none, sizeof none);
    EXPECT_EQ(modem_presence(link_), 2);

    // A count that drops to 0 closes the link_.device; a later count opens it again.
    set_active(0);
    EXPECT_EQ(modem_presence(link_), 0);
    EXPECT_EQ(link_.device, NO_HANDLE);
    set_active(1);
    EXPECT_EQ(modem_presence(link_), 1);
    EXPECT_NE(link_.device, NO_HANDLE);
}

TEST_F(DriverLinkTest, OpenFailsWhileTheServiceIsStopped) {
    CloseHandle(control);
    control = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(control_service(false)) << "sc stop";
    uint32_t one = 1;
    set_value(RECORDER_KEY, ACTIVE_MODEMS_VALUE, REG_DWORD, &one, sizeof one);
    EXPECT_EQ(modem_presence(link_), 0);
    EXPECT_EQ(link_.device, NO_HANDLE);
    EXPECT_EQ(platform_open_device("\\\\.\\trvlmd"), NO_HANDLE);
    EXPECT_EQ(platform_last_error(), ERROR_FILE_NOT_FOUND);
    ASSERT_TRUE(control_service(true)) << "sc start";
    open_control();
    ASSERT_NE(control, INVALID_HANDLE_VALUE);
    EXPECT_EQ(modem_presence(link_), 1);
}

// A player that goes away, ended or killed, takes its play along: nothing it
// queued reaches a program that opens the device afterwards.
TEST_F(DriverLinkTest, AClosedPlayerLeavesNothingQueued) {
    set_active(2);
    ASSERT_EQ(modem_presence(link_), 2);
    unsigned char record[40] = {1, 2, 3};
    uint32_t queued = 0;
    control_call(TARVELSIM_QUEUE_RECORDS, record, sizeof record, &queued, sizeof queued);
    ASSERT_EQ(queued, 1u);
    queue_capture(1, std::vector<unsigned char>(100, 0x41));
    const uint32_t points[2] = {1, 0x00050005};
    control_call(TARVELSIM_QUEUE_EYE, points, sizeof points);
    CloseHandle(control);
    open_control();
    ASSERT_NE(control, INVALID_HANDLE_VALUE);
    TarvelSimPending pending = {1, {1, 1}, {1, 1}, 1};
    control_call(TARVELSIM_GET_PENDING, nullptr, 0, &pending, sizeof pending);
    EXPECT_EQ(pending.records + pending.eye[0] + pending.eye[1] + pending.capture[0] + pending.capture[1], 0u);
    unsigned char fetched[40];
    uint32_t count = 1;
    platform_device_control(link_.device, IOCTL_TARVEL_GET_STATUS, nullptr, 0, fetched, sizeof fetched, &count);
    EXPECT_EQ(count, 0u) << "the dead player's record was fetched";
}

// The six calls with their buffers and counts; a short buffer or an unknown
// code yields a count of 0, and no count is ever above the caller's buffer.
TEST_F(DriverLinkTest, CallsKeepToTheirBuffersAndCounts) {
    set_active(2);
    ASSERT_EQ(modem_presence(link_), 2);
    std::vector<unsigned char> data(700000);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = (unsigned char)(i * 31 + (i >> 12));
    }
    queue_capture(1, data);
    static unsigned char buffer[CAPTURE_BUFFER_SIZE + 64];
    auto call = [this](uint32_t code, const void *input, uint32_t input_size, uint32_t output_size) {
        std::memset(buffer, 0xA5, sizeof buffer);
        uint32_t count = 0;
        platform_device_control(link_.device, code, input, input_size, buffer, output_size, &count);
        for (size_t i = output_size; i < sizeof buffer; ++i) {
            if (buffer[i] != 0xA5) {
                ADD_FAILURE() << "byte " << i << " past a " << output_size << "-byte buffer written";
                break;
            }
        }
        return count;
    };
    const uint32_t index0 = 0, index1 = 1, index2 = 2, wanted = EYE_POINTS_WANTED, modem = 1;
    EXPECT_EQ(call(IOCTL_TARVEL_READ_CAPTURE, &index0, 4, CAPTURE_BUFFER_SIZE), CAPTURE_BUFFER_SIZE);
    EXPECT_EQ(std::memcmp(buffer, data.data(), CAPTURE_BUFFER_SIZE), 0);
    EXPECT_EQ(call(IOCTL_TARVEL_READ_CAPTURE, &index0, 4, CAPTURE_BUFFER_SIZE), 700000 - CAPTURE_BUFFER_SIZE);
    EXPECT_EQ(std::memcmp(buffer, data.data() + CAPTURE_BUFFER_SIZE, 700000 - CAPTURE_BUFFER_SIZE), 0);
    EXPECT_EQ(call(IOCTL_TARVEL_READ_CAPTURE, &index0, 4, CAPTURE_BUFFER_SIZE), 0u) << "nothing pending";
    EXPECT_EQ(call(IOCTL_TARVEL_READ_CAPTURE, &index1, 4, CAPTURE_BUFFER_SIZE), 0u);
    EXPECT_EQ(call(IOCTL_TARVEL_READ_CAPTURE, &index2, 4, CAPTURE_BUFFER_SIZE), 0u) << "bad index";
    EXPECT_EQ(call(IOCTL_TARVEL_READ_CAPTURE, nullptr, 0, CAPTURE_BUFFER_SIZE), 0u) << "no input";
    EXPECT_EQ(call(IOCTL_TARVEL_GET_STATUS, nullptr, 0, STATUS_RECORD_BYTES), 0u) << "no record";
    EXPECT_EQ(call(IOCTL_TARVEL_GET_STATUS, nullptr, 0, 39), 0u) << "short buffer";
    EXPECT_EQ(call(IOCTL_TARVEL_GET_EYE_1, &wanted, 4, EYE_BUFFER_SIZE), 0u);
    EXPECT_EQ(call(IOCTL_TARVEL_CAPTURE_BEGIN_1, &modem, 4, 0), 0u);
    EXPECT_EQ(call(IOCTL_TARVEL_CAPTURE_BEGIN_2, &modem, 4, 0), 0u);
    EXPECT_EQ(call(0x1B201C, &modem, 4, 64), 0u) << "unknown code";
    EXPECT_EQ(call(TARVELSIM_RESET, nullptr, 0, 64), 0u) << "the player's calls are not served here";

    // Faults that ask for counts above the buffer get the buffer at most.
    const TarvelSimFaults liars = {100000, 100000, 0xFFFFFFFF, 0};
    control_call(TARVELSIM_SET_FAULTS, &liars, sizeof liars);
    queue_capture(2, std::vector<unsigned char>(10, 0x77));
    EXPECT_EQ(call(IOCTL_TARVEL_READ_CAPTURE, &index1, 4, 4096), 4096u);
    EXPECT_EQ(std::memcmp(buffer, std::vector<unsigned char>(10, 0x77).data(), 10), 0);
    EXPECT_EQ(call(IOCTL_TARVEL_GET_EYE_2, &wanted, 4, EYE_BUFFER_SIZE), EYE_BUFFER_SIZE);
    unsigned char record[40] = {1, 2, 3};
    uint32_t queued = 0;
    control_call(TARVELSIM_QUEUE_RECORDS, record, sizeof record, &queued, sizeof queued);
    EXPECT_EQ(call(IOCTL_TARVEL_GET_STATUS, nullptr, 0, 64), 64u);

    // The driver's log holds every call served on the link_.device, in order.
    const std::vector<TarvelSimLogEntry> log = served_calls();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0].code, IOCTL_TARVEL_READ_CAPTURE);
    EXPECT_EQ(log[0].has_input, 1u);
    EXPECT_EQ(log[0].input, 0u);
    EXPECT_EQ(log[0].count, CAPTURE_BUFFER_SIZE);
    EXPECT_EQ(log.back().code, IOCTL_TARVEL_GET_STATUS);
    EXPECT_EQ(log.back().has_input, 0u);
}

// The recording flag through the real registry calls: bit 0 changes, every
// other byte of a longer value stays.
TEST_F(DriverLinkTest, RecordingFlagChangesOnlyBitZero) {
    const unsigned char before[6] = {0x40, 0x41, 0x42, 0x43, 0x44, 0x45};
    set_value(RECORDER_KEY, TARVEL_SETUP_VALUE, REG_BINARY, before, sizeof before);
    const PlatformHandle key = platform_open_key(RECORDER_KEY, REGISTRY_QUERY | REGISTRY_SET);
    ASSERT_NE(key, NO_HANDLE);
    EXPECT_TRUE(set_recording_flag(source_, key, true));
    EXPECT_EQ(get_value(RECORDER_KEY, TARVEL_SETUP_VALUE),
              (std::vector<unsigned char>{0x41, 0x41, 0x42, 0x43, 0x44, 0x45}));
    EXPECT_TRUE(set_recording_flag(source_, key, false));
    EXPECT_EQ(get_value(RECORDER_KEY, TARVEL_SETUP_VALUE),
              std::vector<unsigned char>(before, before + sizeof before));
    platform_close_key(key);
    EXPECT_EQ(platform_open_key("SOFTWARE\\Ostrand\\NoSuchProgram", REGISTRY_QUERY), NO_HANDLE);
    EXPECT_EQ(platform_last_error(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
