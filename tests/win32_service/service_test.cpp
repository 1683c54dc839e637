// The simulated driver's service against the service control manager
// (run under Wine by scripts/test.d/40-windows.sh, with the rights to
// install a service).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "simulator/win32/service.h"

namespace {

// tarvelsim.sys of this build: ../simulator/win32/ from the test's folder.
bool driver_path(char *path, DWORD capacity) {
    const DWORD length = GetModuleFileNameA(nullptr, path, capacity);
    if (length == 0 || length >= capacity) {
        return false;
    }
    char *slash = std::strrchr(path, '\\');
    if (slash == nullptr) {
        return false;
    }
    slash[1] = '\0';
    static const char DRIVER_FROM_TESTS[] = "..\\simulator\\win32\\tarvelsim.sys";
    if (std::strlen(path) + sizeof DRIVER_FROM_TESTS > capacity) {
        return false;
    }
    std::strcat(path, DRIVER_FROM_TESTS);
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// A service that keeps the service control manager busy while it starts:
// its program (this test program with --sleep) never reports to the
// manager and ends after a few seconds. While the manager waits for it, it
// holds the lock under which services start, as it does while the system
// boots and starts its services; another start meanwhile fails with
// ERROR_SERVICE_DATABASE_LOCKED.
constexpr char SLOW_SERVICE[] = "tarvelslowstart";
constexpr int SLOW_START_MS = 6000;

bool make_slow_service(SC_HANDLE manager) {
    char program[MAX_PATH];
    char command[MAX_PATH + 32];
    const DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    if (length == 0 || length >= sizeof program) {
        return false;
    }
    std::snprintf(command, sizeof command, "\"%s\" --sleep %d", program, SLOW_START_MS);
    SC_HANDLE service = CreateServiceA(manager, SLOW_SERVICE, SLOW_SERVICE, SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                       SERVICE_ERROR_IGNORE, command, nullptr, nullptr, nullptr,
                                       nullptr, nullptr);
    if (service == nullptr) {
        return false;
    }
    CloseServiceHandle(service);
    return true;
}

void delete_slow_service(SC_HANDLE manager) {
    SC_HANDLE service = OpenServiceA(manager, SLOW_SERVICE, SERVICE_ALL_ACCESS);
    if (service != nullptr) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
}

// Installing and starting the driver's service while another start keeps
// the service control manager locked waits for the lock to go (up to 30 s)
// instead of failing with error 1055.
TEST(DriverServiceTest, LockedServiceDatabaseIsWaitedFor) {
    char path[MAX_PATH];
    ASSERT_TRUE(driver_path(path, sizeof path)) << "tarvelsim.sys not built";
    ASSERT_TRUE(remove_driver_service());
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr);
    delete_slow_service(manager);
    ASSERT_TRUE(make_slow_service(manager)) << GetLastError();
    std::thread slow([manager] {
        SC_HANDLE service = OpenServiceA(manager, SLOW_SERVICE, SERVICE_ALL_ACCESS);
        StartServiceA(service, 0, nullptr);  // fails once its program has ended
        CloseServiceHandle(service);
    });
    Sleep(500);  // the slow start is under way
    const DWORD started = GetTickCount();
    const ServiceResult result = ensure_driver_service(path);
    const DWORD waited = GetTickCount() - started;
    slow.join();
    delete_slow_service(manager);
    CloseServiceHandle(manager);
    EXPECT_EQ(result, SERVICE_STARTED);
    EXPECT_GE(waited, 3000u) << "the manager was busy with the slow start";
    EXPECT_LT(waited, 30000u);
    EXPECT_TRUE(remove_driver_service());
}

}  // namespace

// The test program, or with --sleep MS the slow service's program.
int main(int argc, char **argv) {
    if (argc == 3 && std::strcmp(argv[1], "--sleep") == 0) {
        Sleep(DWORD(std::atoi(argv[2])));
        return 0;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
