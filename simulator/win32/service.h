// The simulated driver's service: installing, starting, stopping and
// removing tarvelsim.sys through the service control manager.
#pragma once

enum ServiceResult {
    SERVICE_WAS_RUNNING,  // nothing had to be done
    SERVICE_STARTED,      // installed and/or started now
    SERVICE_FAILED,       // a message has been printed
};

// Makes sure the service runs: creates it (a kernel driver started on
// demand, with driver_path as its binary) when it does not exist, and starts
// it when it is stopped.
ServiceResult ensure_driver_service(const char *driver_path);

// Stops the service and deletes it; true when it is gone (or was never there).
bool remove_driver_service();
