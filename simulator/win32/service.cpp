// The service control manager's side of tarvel-sim.exe.
#include "simulator/win32/service.h"

#include <windows.h>

#include <cstdio>

#include "simulator/win32/tarvelsim_control.h"

namespace {

// The service control manager answers ERROR_SERVICE_DATABASE_LOCKED while
// another party holds its database, as it does on a system (or a fresh Wine
// prefix) that is still booting. Such a call is tried again, for this long
// at most, before it counts as failed.
constexpr DWORD DATABASE_LOCKED_WAIT_MS = 30000;
constexpr DWORD DATABASE_LOCKED_PAUSE_MS = 200;

// Calls call() until it succeeds, fails for another reason, or the database
// has stayed locked for DATABASE_LOCKED_WAIT_MS; its last result, with the
// last error as the call left it.
template <typename Call>
auto while_database_locked(Call call) {
    const DWORD started = GetTickCount();
    for (;;) {
        const auto result = call();
        if (result || GetLastError() != ERROR_SERVICE_DATABASE_LOCKED ||
            GetTickCount() - started >= DATABASE_LOCKED_WAIT_MS) {
            return result;
        }
        Sleep(DATABASE_LOCKED_PAUSE_MS);
    }
}

void report(const char *what) {
    std::fprintf(stderr, "tarvel-sim: %s failed, error = %lu\n", what, GetLastError());
}

bool wait_for_state(SC_HANDLE service, DWORD wanted) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        SERVICE_STATUS status;
        if (!QueryServiceStatus(service, &status)) {
            return false;
        }
        if (status.dwCurrentState == wanted) {
            return true;
        }
        Sleep(50);
    }
    return false;
}

}  // namespace

ServiceResult ensure_driver_service(const char *driver_path) {
    SC_HANDLE manager = while_database_locked(
        [] { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); });
    if (manager == nullptr) {
        report("Opening the service control manager (run as administrator)");
        return SERVICE_FAILED;
    }
    SC_HANDLE service = OpenServiceA(manager, TARVELSIM_SERVICE_NAME, SERVICE_ALL_ACCESS);
    if (service == nullptr) {
        service = while_database_locked([manager, driver_path] {
            return CreateServiceA(manager, TARVELSIM_SERVICE_NAME, "Tarvel modem driver (simulated)",
                                  SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                  SERVICE_ERROR_NORMAL, driver_path, nullptr, nullptr, nullptr,
                                  nullptr, nullptr);
        });
        if (service == nullptr) {
            report("Creating the driver service");
            CloseServiceHandle(manager);
            return SERVICE_FAILED;
        }
        std::printf("tarvel-sim: installed the driver service %s (%s)\n", TARVELSIM_SERVICE_NAME,
                    driver_path);
    }
    ServiceResult result = SERVICE_WAS_RUNNING;
    SERVICE_STATUS status;
    if (!QueryServiceStatus(service, &status)) {
        report("Asking for the driver service's state");
        result = SERVICE_FAILED;
    } else if (status.dwCurrentState != SERVICE_RUNNING) {
        const bool started = while_database_locked([service] {
            return StartServiceA(service, 0, nullptr) != 0 || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
        });
        if (!started) {
            report("Starting the driver service");
            result = SERVICE_FAILED;
        } else if (!wait_for_state(service, SERVICE_RUNNING)) {
            report("Waiting for the driver service to run");
            result = SERVICE_FAILED;
        } else {
            result = SERVICE_STARTED;
        }
    }
    if (result == SERVICE_STARTED) {
        std::printf("tarvel-sim: started the driver service %s; remove it with "
                    "\"tarvel-sim --remove\" (or \"sc stop %s\" and \"sc delete %s\")\n",
                    TARVELSIM_SERVICE_NAME, TARVELSIM_SERVICE_NAME, TARVELSIM_SERVICE_NAME);
        std::fflush(stdout);
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return result;
}

bool remove_driver_service() {
    SC_HANDLE manager = while_database_locked(
        [] { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); });
    if (manager == nullptr) {
        report("Opening the service control manager (run as administrator)");
        return false;
    }
    SC_HANDLE service = OpenServiceA(manager, TARVELSIM_SERVICE_NAME, SERVICE_ALL_ACCESS);
    if (service == nullptr) {
        const bool absent = GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
        if (!absent) {
            report("Opening the driver service");
        }
        CloseServiceHandle(manager);
        return absent;
    }
    SERVICE_STATUS status;
    if (ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        wait_for_state(service, SERVICE_STOPPED);
    }
    const bool deleted = DeleteService(service) != 0;
    if (!deleted) {
        report("Deleting the driver service");
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return deleted;
}
