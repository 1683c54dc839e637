// Test hooks of the in-process platform backend, which serves platform.h
// from the simulated driver's core in the same process: device control goes
// to the core, the registry is the core's, files are real files in the
// current directory, and platform_sleep lets the core's virtual clock run.
#pragma once

#include <cstddef>

class InprocDriverSource;
// The one source behind the platform functions of this backend.
InprocDriverSource &inproc_source();

// Chooses the platform family that platform_is_nt_family reports (default NT).
void inproc_set_nt_family(bool nt_family);
// Registry keys and devices currently open through the backend; tests check
// that every open is matched by a close.
size_t inproc_open_keys();
size_t inproc_open_devices();
// Closes every handle the backend holds and restores the NT family; call it
// with sim_reset between tests.
void inproc_reset();
