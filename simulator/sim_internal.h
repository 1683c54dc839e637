// Pieces of the simulated driver's core that its own files and the tarvel-sim
// daemon share, beside the public interface in sim.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "simulator/sim.h"

// Registry key paths of the two programs, as the driver writes them.
extern const char SIM_MONITOR_KEY[];   // "SOFTWARE\\Velmora\\Tarvel"
extern const char SIM_RECORDER_KEY[];  // "SOFTWARE\\Ostrand\\Tarvel"

// The status queue holds at most this many records; a record queued while it
// is full is dropped, as a driver's fixed queue overflows.
constexpr size_t SIM_RECORD_QUEUE_MAX = 1u << 20;
// Newest eye points kept per modem; older ones are dropped.
constexpr size_t SIM_EYE_KEEP = 4096;
// Capture data held per modem, as a driver's buffer is bounded: data queued
// beyond it is dropped and the call log gets "CAPTURE_DROPPED MODEM BYTES".
constexpr size_t SIM_CAPTURE_PENDING_MAX = size_t(64) << 20;
// Largest TarvelSetup value the setup-size fault makes.
constexpr uint32_t SIM_SETUP_SIZE_MAX = 1u << 20;

// --- Registry ----------------------------------------------------------
// Called after every change of a value the core makes or is told to make
// (data nullptr: the value was removed). The daemon mirrors values to files.
using SimRegistryObserver = void (*)(const char *key_path, const char *value_name,
                                     const unsigned char *data, uint32_t size);
void sim_set_registry_observer(SimRegistryObserver observer);
// True when ActiveModems is nonzero under either program key.
bool sim_any_modem_active();
void sim_reset_registry();

// --- Queues and memory -------------------------------------------------
bool sim_take_record(StatusRecord *record);
// A record as taken from the queue with the driver memory that it points
// at: the intake's reads for it, as a list of WireMemoryRead entries each
// followed by its bytes (simwire/sim_wire.h).
struct SimTakenRecord {
    StatusRecord record;
    bool pinned;  // its memory was fixed when it was queued
    std::vector<unsigned char> reads;
};
// Takes the front record with its memory: pinned, or as it stands now.
bool sim_take_record_memory(SimTakenRecord *taken);
// Puts records taken last back at the front of the queue, in their order,
// with their memory.
void sim_return_records(const SimTakenRecord *taken, size_t count);
// Appends the intake's reads for the record (decoding it, or a capture
// request's file name) against the memory as it stands now.
void sim_record_reads(const StatusRecord &record, std::vector<unsigned char> *reads);
// Copies up to max_points of modem 1 or 2's oldest points as little-endian
// x, y pairs into out; returns the number of points taken.
size_t sim_take_eye(int modem, unsigned char *out, size_t max_points);
size_t sim_pending_eye(int modem);
// Copies up to max bytes of modem index 0 or 1's capture data; returns the
// number of bytes taken.
size_t sim_take_capture(int index, unsigned char *out, size_t max);
void sim_reset_queues();

// --- Device ------------------------------------------------------------
SimFaults sim_get_faults();
// One status call that also hands out the record's memory, reported and
// logged as IOCTL_TARVEL_GET_STATUS with a 40-byte buffer. False when the
// queue was empty; *returned receives the reported count.
bool sim_take_status(SimTakenRecord *taken, uint32_t *returned);
// Adds "CAPTURE_DROPPED MODEM BYTES" to the call log.
void sim_log_capture_dropped(int modem, size_t bytes);
void sim_reset_device();

// --- Script ------------------------------------------------------------
// Milliseconds until the next directive falls due, 0 when one is due now,
// -1 when the script is done.
int64_t sim_next_due();
void sim_reset_script();
