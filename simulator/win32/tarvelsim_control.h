/* The private device-control calls of the simulated kernel driver
 * tarvelsim.sys, through which tarvel-sim.exe feeds it and reads it back.
 * Shared by the driver (C) and the player (C++).
 *
 * The driver makes two devices: the Tarvel device that the programs open
 * (\\.\trvlmd and \\.\TRVLM) and a control device for the player
 * (\\.\TarvelSimControl). The six calls of the Tarvel driver are served on
 * the Tarvel device only, the calls below on the control device only. Their
 * functions lie outside the Tarvel driver's 0x801 to 0x806. */
#ifndef TARVELSIM_CONTROL_H
#define TARVELSIM_CONTROL_H

#define TARVELSIM_CONTROL_LINK "\\\\.\\TarvelSimControl"
#define TARVELSIM_SERVICE_NAME "tarvelsim"

/* FILE_DEVICE_SERIAL_PORT (0x1B), METHOD_BUFFERED, FILE_ANY_ACCESS. */
#define TARVELSIM_CTL_CODE(function) ((0x1Bu << 16) | ((unsigned)(function) << 2))

/* in: whole 40-byte status records; out: 4 bytes, how many were queued
 * (the rest did not fit the queue and may be offered again). */
#define TARVELSIM_QUEUE_RECORDS TARVELSIM_CTL_CODE(0x901)
/* in: 32-bit modem 1 or 2, then 4-byte points (x, y signed 16-bit LE).
 * The newest points are kept when the queue is full. */
#define TARVELSIM_QUEUE_EYE TARVELSIM_CTL_CODE(0x902)
/* in: 32-bit modem 1 or 2, then capture bytes; out: 4 bytes, how many
 * were queued (the rest did not fit and may be offered again). */
#define TARVELSIM_QUEUE_CAPTURE TARVELSIM_CTL_CODE(0x903)
/* out: whole TarvelSimLogEntry rows, the oldest calls served first; each
 * row is handed out once. */
#define TARVELSIM_READ_LOG TARVELSIM_CTL_CODE(0x904)
/* in: one TarvelSimFaults. */
#define TARVELSIM_SET_FAULTS TARVELSIM_CTL_CODE(0x905)
/* in: 32-bit ActiveModems as the player has just written it. */
#define TARVELSIM_SET_ACTIVE TARVELSIM_CTL_CODE(0x906)
/* no buffers: empties the queues and the log and clears the faults. */
#define TARVELSIM_RESET TARVELSIM_CTL_CODE(0x907)
/* out: one TarvelSimPending. */
#define TARVELSIM_GET_PENDING TARVELSIM_CTL_CODE(0x908)

/* Queue sizes. */
#define TARVELSIM_RECORDS_MAX 4096u
#define TARVELSIM_EYE_MAX 4096u             /* points per modem */
#define TARVELSIM_CAPTURE_MAX (1u << 20)    /* bytes per modem */
#define TARVELSIM_LOG_MAX 4096u             /* calls kept until read */

typedef struct TarvelSimFaults {
    unsigned int status_count;   /* nonzero: report this for every status call that delivers */
    unsigned int eye_count;      /* nonzero: report this many points on every eye call */
    unsigned int capture_count;  /* nonzero: report this on every capture read with data pending */
    unsigned int refuse_open;    /* nonzero: the Tarvel device refuses to open while a modem is active */
} TarvelSimFaults;

typedef struct TarvelSimLogEntry {
    unsigned int code;       /* the control code */
    unsigned int input;      /* the 32-bit input word, when has_input */
    unsigned int has_input;  /* 1 when the call carried a 32-bit input word */
    unsigned int count;      /* the count reported to the caller */
} TarvelSimLogEntry;

typedef struct TarvelSimPending {
    unsigned int records;
    unsigned int eye[2];
    unsigned int capture[2];
    unsigned int lost_log_entries;  /* calls that fell out of a full log unread */
} TarvelSimPending;

#endif
