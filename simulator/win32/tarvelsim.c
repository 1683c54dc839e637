/* tarvelsim.sys: a simulated Tarvel modem driver for Windows (WDM, built
 * with MinGW-w64's ddk/wdm.h). It serves the Tarvel driver's six
 * device-control calls from queues that the player tarvel-sim.exe fills
 * through a control device of its own (tarvelsim_control.h).
 *
 * Every call is METHOD_BUFFERED: the I/O manager hands over one system
 * buffer as large as the larger of the two buffers, and copies back as many
 * bytes as the reported count (Information) says. So the count that a call
 * reports is never more than the caller's output buffer, whatever a fault
 * asks for: a larger count would have the I/O manager write past it. */
#include <ddk/wdm.h>

#include "tarvelsim_control.h"

#define TAG 0x6D537654u /* 'TvSm' in a pool dump */

/* The Tarvel driver's calls: FILE_DEVICE_SERIAL_PORT, functions 0x801 to
 * 0x806, METHOD_BUFFERED, FILE_ANY_ACCESS. */
#define IOCTL_TARVEL_GET_STATUS 0x1B2004u
#define IOCTL_TARVEL_GET_EYE_1 0x1B2008u
#define IOCTL_TARVEL_GET_EYE_2 0x1B200Cu
#define IOCTL_TARVEL_READ_CAPTURE 0x1B2010u
#define IOCTL_TARVEL_CAPTURE_BEGIN_2 0x1B2014u
#define IOCTL_TARVEL_CAPTURE_BEGIN_1 0x1B2018u

#define RECORD_BYTES 40u
#define EYE_POINTS_PER_CALL 512u
#define CAPTURE_BYTES_PER_CALL 524288u

typedef struct ByteRing {
    UCHAR *bytes;
    ULONG capacity;
    ULONG head; /* oldest byte */
    ULONG size;
} ByteRing;

/* Everything the driver keeps, in nonpaged pool, under one spin lock. */
typedef struct DriverState {
    KSPIN_LOCK lock;
    ByteRing records; /* whole 40-byte records */
    ByteRing eye[2];  /* whole 4-byte points */
    ByteRing capture[2];
    TarvelSimLogEntry log[TARVELSIM_LOG_MAX];
    ULONG log_head;
    ULONG log_size;
    ULONG lost_log_entries;
    TarvelSimFaults faults;
    ULONG active_modems;
} DriverState;

static DriverState *state;
static PDEVICE_OBJECT tarvel_device;
static PDEVICE_OBJECT control_device;

static const WCHAR TARVEL_DEVICE_NAME[] = L"\\Device\\Tarvel";
static const WCHAR CONTROL_DEVICE_NAME[] = L"\\Device\\TarvelSimControl";
static const WCHAR *const TARVEL_LINKS[] = {L"\\DosDevices\\trvlmd", L"\\DosDevices\\TRVLM"};
static const WCHAR CONTROL_LINK[] = L"\\DosDevices\\TarvelSimControl";

/* --- Rings ------------------------------------------------------------ */

static ULONG smaller(ULONG a, ULONG b) { return a < b ? a : b; }

static void ring_put(ByteRing *ring, const UCHAR *data, ULONG count) {
    ULONG tail = (ring->head + ring->size) % ring->capacity;
    ULONG first = smaller(count, ring->capacity - tail);
    RtlCopyMemory(ring->bytes + tail, data, first);
    RtlCopyMemory(ring->bytes, data + first, count - first);
    ring->size += count;
}

static void ring_take(ByteRing *ring, UCHAR *out, ULONG count) {
    ULONG first = smaller(count, ring->capacity - ring->head);
    RtlCopyMemory(out, ring->bytes + ring->head, first);
    RtlCopyMemory(out + first, ring->bytes, count - first);
    ring->head = (ring->head + count) % ring->capacity;
    ring->size -= count;
}

static void ring_drop(ByteRing *ring, ULONG count) {
    ring->head = (ring->head + count) % ring->capacity;
    ring->size -= count;
}

static ULONG read_word(const UCHAR *bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | ((ULONG)bytes[3] << 24);
}

static void write_word(UCHAR *bytes, ULONG value) {
    bytes[0] = (UCHAR)value;
    bytes[1] = (UCHAR)(value >> 8);
    bytes[2] = (UCHAR)(value >> 16);
    bytes[3] = (UCHAR)(value >> 24);
}

/* --- The Tarvel driver's calls ---------------------------------------- */

static void log_call(ULONG code, BOOLEAN has_input, ULONG input, ULONG count) {
    TarvelSimLogEntry *entry;
    if (state->log_size == TARVELSIM_LOG_MAX) {
        state->log_head = (state->log_head + 1) % TARVELSIM_LOG_MAX;
        state->log_size--;
        state->lost_log_entries++;
    }
    entry = &state->log[(state->log_head + state->log_size) % TARVELSIM_LOG_MAX];
    entry->code = code;
    entry->input = has_input ? input : 0;
    entry->has_input = has_input ? 1 : 0;
    entry->count = count;
    state->log_size++;
}

/* Serves one of the six calls, or an unknown code, on the Tarvel device.
 * Returns the status; *count is the count reported (and copied back). */
static NTSTATUS serve_tarvel(ULONG code, UCHAR *buffer, ULONG in_size, ULONG out_size,
                             ULONG *count) {
    NTSTATUS status = STATUS_SUCCESS;
    BOOLEAN has_input = FALSE;
    ULONG input = 0;
    *count = 0;
    if (code != IOCTL_TARVEL_GET_STATUS && in_size >= 4 && buffer != NULL) {
        has_input = TRUE;
        input = read_word(buffer);
    }
    switch (code) {
    case IOCTL_TARVEL_GET_STATUS:
        if (out_size < RECORD_BYTES) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else if (state->records.size >= RECORD_BYTES) {
            ring_take(&state->records, buffer, RECORD_BYTES);
            *count = RECORD_BYTES;
            if (state->faults.status_count != 0) {
                *count = smaller(state->faults.status_count, out_size);
            }
        }
        break;
    case IOCTL_TARVEL_GET_EYE_1:
    case IOCTL_TARVEL_GET_EYE_2: {
        ByteRing *ring = &state->eye[code == IOCTL_TARVEL_GET_EYE_1 ? 0 : 1];
        if (!has_input) {
            status = STATUS_BUFFER_TOO_SMALL;
            break;
        }
        /* As many points as are queued, wanted, fit the buffer, and 512 at most. */
        ULONG points = smaller(smaller(input, out_size / 4), EYE_POINTS_PER_CALL);
        points = smaller(points, ring->size / 4);
        ring_take(ring, buffer, points * 4);
        /* The count is in points, and no more than the buffer's bytes. */
        *count = points;
        if (state->faults.eye_count != 0) {
            *count = smaller(state->faults.eye_count, out_size);
        }
        break;
    }
    case IOCTL_TARVEL_READ_CAPTURE:
        if (!has_input) {
            status = STATUS_BUFFER_TOO_SMALL;
        } else if (input > 1) {
            status = STATUS_INVALID_PARAMETER;
        } else {
            ByteRing *ring = &state->capture[input];
            BOOLEAN pending = ring->size != 0;
            ULONG bytes = smaller(smaller(ring->size, out_size), CAPTURE_BYTES_PER_CALL);
            ring_take(ring, buffer, bytes);
            *count = bytes;
            if (pending && state->faults.capture_count != 0) {
                *count = smaller(state->faults.capture_count, out_size);
            }
        }
        break;
    case IOCTL_TARVEL_CAPTURE_BEGIN_1:
    case IOCTL_TARVEL_CAPTURE_BEGIN_2:
        /* The simulated driver records whatever is queued: nothing to switch. */
        if (!has_input) {
            status = STATUS_BUFFER_TOO_SMALL;
        }
        break;
    default:
        status = STATUS_INVALID_DEVICE_REQUEST;
        break;
    }
    log_call(code, has_input, input, *count);
    return status;
}

/* --- The player's calls ----------------------------------------------- */

/* Empties the queues and the log and clears the faults; under the lock. */
static void empty_queues(void) {
    state->records.head = state->records.size = 0;
    state->eye[0].head = state->eye[0].size = 0;
    state->eye[1].head = state->eye[1].size = 0;
    state->capture[0].head = state->capture[0].size = 0;
    state->capture[1].head = state->capture[1].size = 0;
    state->log_head = state->log_size = state->lost_log_entries = 0;
    RtlZeroMemory(&state->faults, sizeof state->faults);
}

static NTSTATUS serve_control(ULONG code, UCHAR *buffer, ULONG in_size, ULONG out_size,
                              ULONG *count) {
    *count = 0;
    switch (code) {
    case TARVELSIM_QUEUE_RECORDS: {
        ULONG offered = in_size / RECORD_BYTES;
        ULONG room = (state->records.capacity - state->records.size) / RECORD_BYTES;
        ULONG queued = smaller(offered, room);
        if (out_size < 4 || in_size % RECORD_BYTES != 0) {
            return out_size < 4 ? STATUS_BUFFER_TOO_SMALL : STATUS_INVALID_PARAMETER;
        }
        ring_put(&state->records, buffer, queued * RECORD_BYTES);
        write_word(buffer, queued);
        *count = 4;
        return STATUS_SUCCESS;
    }
    case TARVELSIM_QUEUE_EYE: {
        ULONG modem;
        ULONG bytes;
        ByteRing *ring;
        if (in_size < 4 || (in_size - 4) % 4 != 0) {
            return STATUS_INVALID_PARAMETER;
        }
        modem = read_word(buffer);
        if (modem != 1 && modem != 2) {
            return STATUS_INVALID_PARAMETER;
        }
        ring = &state->eye[modem - 1];
        bytes = in_size - 4;
        /* Keep the newest points: drop the oldest ones that do not fit. */
        if (bytes > ring->capacity) {
            buffer += bytes - ring->capacity;
            bytes = ring->capacity;
        }
        if (bytes > ring->capacity - ring->size) {
            ring_drop(ring, bytes - (ring->capacity - ring->size));
        }
        ring_put(ring, buffer + 4, bytes);
        return STATUS_SUCCESS;
    }
    case TARVELSIM_QUEUE_CAPTURE: {
        ULONG modem;
        ULONG queued;
        ByteRing *ring;
        if (in_size < 4 || out_size < 4) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        modem = read_word(buffer);
        if (modem != 1 && modem != 2) {
            return STATUS_INVALID_PARAMETER;
        }
        ring = &state->capture[modem - 1];
        queued = smaller(in_size - 4, ring->capacity - ring->size);
        ring_put(ring, buffer + 4, queued);
        write_word(buffer, queued);
        *count = 4;
        return STATUS_SUCCESS;
    }
    case TARVELSIM_READ_LOG: {
        ULONG rows = smaller(out_size / sizeof(TarvelSimLogEntry), state->log_size);
        ULONG i;
        for (i = 0; i < rows; ++i) {
            RtlCopyMemory(buffer + i * sizeof(TarvelSimLogEntry), &state->log[state->log_head],
                          sizeof(TarvelSimLogEntry));
            state->log_head = (state->log_head + 1) % TARVELSIM_LOG_MAX;
            state->log_size--;
        }
        *count = rows * sizeof(TarvelSimLogEntry);
        return STATUS_SUCCESS;
    }
    case TARVELSIM_SET_FAULTS:
        if (in_size < sizeof(TarvelSimFaults)) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        RtlCopyMemory(&state->faults, buffer, sizeof(TarvelSimFaults));
        return STATUS_SUCCESS;
    case TARVELSIM_SET_ACTIVE:
        if (in_size < 4) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        state->active_modems = read_word(buffer);
        return STATUS_SUCCESS;
    case TARVELSIM_RESET:
        empty_queues();
        return STATUS_SUCCESS;
    case TARVELSIM_GET_PENDING: {
        TarvelSimPending pending;
        if (out_size < sizeof pending) {
            return STATUS_BUFFER_TOO_SMALL;
        }
        pending.records = state->records.size / RECORD_BYTES;
        pending.eye[0] = state->eye[0].size / 4;
        pending.eye[1] = state->eye[1].size / 4;
        pending.capture[0] = state->capture[0].size;
        pending.capture[1] = state->capture[1].size;
        pending.lost_log_entries = state->lost_log_entries;
        RtlCopyMemory(buffer, &pending, sizeof pending);
        *count = sizeof pending;
        return STATUS_SUCCESS;
    }
    default:
        return STATUS_INVALID_DEVICE_REQUEST;
    }
}

/* --- Dispatch --------------------------------------------------------- */

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* While the device refuses to open, its symbolic links are gone too: some
 * hosts (Wine) open a device without waiting for the driver's answer to the
 * create request, but none can open a name that does not exist. Called at
 * PASSIVE_LEVEL after the player changed the faults or the modem count; the
 * player is the only caller of the control device and calls from one thread. */
static BOOLEAN links_present = TRUE;

static void update_links(void) {
    UNICODE_STRING name;
    UNICODE_STRING link;
    unsigned i;
    BOOLEAN refusing = state->faults.refuse_open && state->active_modems != 0;
    if (refusing == !links_present) {
        return;
    }
    RtlInitUnicodeString(&name, TARVEL_DEVICE_NAME);
    for (i = 0; i < sizeof TARVEL_LINKS / sizeof TARVEL_LINKS[0]; ++i) {
        RtlInitUnicodeString(&link, TARVEL_LINKS[i]);
        if (refusing) {
            IoDeleteSymbolicLink(&link);
        } else {
            IoCreateSymbolicLink(&link, &name);
        }
    }
    links_present = !refusing;
}

static NTSTATUS NTAPI on_create(PDEVICE_OBJECT device, PIRP irp) {
    if (device == tarvel_device && state->faults.refuse_open && state->active_modems != 0) {
        return complete(irp, STATUS_ACCESS_DENIED, 0);
    }
    return complete(irp, STATUS_SUCCESS, 0);
}

/* The player holds the only handle of the control device. When that handle
 * goes, because the player ended or was killed, its play ends with it: the
 * records, points and capture data it queued and nobody fetched are
 * dropped, its faults cleared and the modems idle, so that a monitor
 * started afterwards does not see the rest of a play that is over. */
static NTSTATUS NTAPI on_close(PDEVICE_OBJECT device, PIRP irp) {
    KIRQL irql;
    if (device == control_device) {
        KeAcquireSpinLock(&state->lock, &irql);
        empty_queues();
        state->active_modems = 0;
        KeReleaseSpinLock(&state->lock, irql);
        update_links();
    }
    return complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI on_device_control(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
    UCHAR *buffer = (UCHAR *)irp->AssociatedIrp.SystemBuffer;
    ULONG count = 0;
    NTSTATUS status;
    KIRQL irql;

    /* Every call here is METHOD_BUFFERED: any other transfer type would
     * hand over the caller's own buffers, which this driver never touches. */
    if ((code & 3) != METHOD_BUFFERED) {
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
    if (buffer == NULL) {
        in_size = 0;
        out_size = 0;
    }
    KeAcquireSpinLock(&state->lock, &irql);
    if (device == tarvel_device) {
        status = serve_tarvel(code, buffer, in_size, out_size, &count);
    } else {
        status = serve_control(code, buffer, in_size, out_size, &count);
    }
    KeReleaseSpinLock(&state->lock, irql);
    if (device == control_device && (code == TARVELSIM_SET_FAULTS || code == TARVELSIM_SET_ACTIVE ||
                                     code == TARVELSIM_RESET)) {
        update_links();
    }
    if (count > out_size) {
        count = out_size;
    }
    return complete(irp, status, NT_SUCCESS(status) ? count : 0);
}

/* --- Loading and unloading -------------------------------------------- */

static void free_state(void) {
    int i;
    if (state == NULL) {
        return;
    }
    if (state->records.bytes != NULL) ExFreePoolWithTag(state->records.bytes, TAG);
    for (i = 0; i < 2; ++i) {
        if (state->eye[i].bytes != NULL) ExFreePoolWithTag(state->eye[i].bytes, TAG);
        if (state->capture[i].bytes != NULL) ExFreePoolWithTag(state->capture[i].bytes, TAG);
    }
    ExFreePoolWithTag(state, TAG);
    state = NULL;
}

static BOOLEAN make_ring(ByteRing *ring, ULONG capacity) {
    ring->bytes = (UCHAR *)ExAllocatePoolWithTag(NonPagedPool, capacity, TAG);
    ring->capacity = capacity;
    ring->head = 0;
    ring->size = 0;
    return ring->bytes != NULL;
}

static void remove_devices(void) {
    UNICODE_STRING name;
    unsigned i;
    for (i = 0; i < sizeof TARVEL_LINKS / sizeof TARVEL_LINKS[0]; ++i) {
        RtlInitUnicodeString(&name, TARVEL_LINKS[i]);
        IoDeleteSymbolicLink(&name);
    }
    RtlInitUnicodeString(&name, CONTROL_LINK);
    IoDeleteSymbolicLink(&name);
    if (tarvel_device != NULL) IoDeleteDevice(tarvel_device);
    if (control_device != NULL) IoDeleteDevice(control_device);
    tarvel_device = NULL;
    control_device = NULL;
}

static VOID NTAPI on_unload(PDRIVER_OBJECT driver) {
    (void)driver;
    remove_devices();
    free_state();
}

static NTSTATUS make_device(PDRIVER_OBJECT driver, const WCHAR *device_name,
                            const WCHAR *const *links, unsigned link_count, PDEVICE_OBJECT *out) {
    UNICODE_STRING name;
    UNICODE_STRING link;
    NTSTATUS status;
    unsigned i;
    RtlInitUnicodeString(&name, device_name);
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_SERIAL_PORT, 0, FALSE, out);
    if (!NT_SUCCESS(status)) {
        *out = NULL;
        return status;
    }
    (*out)->Flags |= DO_BUFFERED_IO;
    for (i = 0; i < link_count; ++i) {
        RtlInitUnicodeString(&link, links[i]);
        status = IoCreateSymbolicLink(&link, &name);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    (*out)->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
    static const WCHAR *const control_links[] = {CONTROL_LINK};
    NTSTATUS status;
    (void)registry_path;

    state = (DriverState *)ExAllocatePoolWithTag(NonPagedPool, sizeof(DriverState), TAG);
    if (state == NULL) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    RtlZeroMemory(state, sizeof(DriverState));
    links_present = TRUE;
    KeInitializeSpinLock(&state->lock);
    if (!make_ring(&state->records, TARVELSIM_RECORDS_MAX * RECORD_BYTES) ||
        !make_ring(&state->eye[0], TARVELSIM_EYE_MAX * 4) ||
        !make_ring(&state->eye[1], TARVELSIM_EYE_MAX * 4) ||
        !make_ring(&state->capture[0], TARVELSIM_CAPTURE_MAX) ||
        !make_ring(&state->capture[1], TARVELSIM_CAPTURE_MAX)) {
        free_state();
        return STATUS_INSUFFICIENT_RESOURCES;
    }

    status = make_device(driver, TARVEL_DEVICE_NAME, TARVEL_LINKS,
                         sizeof TARVEL_LINKS / sizeof TARVEL_LINKS[0], &tarvel_device);
    if (NT_SUCCESS(status)) {
        status = make_device(driver, CONTROL_DEVICE_NAME, control_links, 1, &control_device);
    }
    if (!NT_SUCCESS(status)) {
        remove_devices();
        free_state();
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = on_create;
    driver->MajorFunction[IRP_MJ_CLOSE] = on_close;
    driver->MajorFunction[IRP_MJ_CLEANUP] = on_close;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = on_device_control;
    driver->DriverUnload = on_unload;
    return STATUS_SUCCESS;
}
