// One call of one modem as the call tracker builds it from the status
// records' codes and parameters (never from decoded text): when it started
// and ended, the modulation and rates it reached, the line measurements over
// its time, its retrains and renegotiations, error control, fax and caller-ID
// results, how it ended, and the eye at each event.
//
// A field that no record carried stays unknown (std::nullopt, or the
// enumeration's UNKNOWN value); a sequence that contradicts itself leaves the
// field unknown and adds a note to the call's anomalies. Everything a call
// holds is bounded: series, events, frozen eyes and notes have fixed caps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// ---- Bounds -----------------------------------------------------------------

constexpr size_t SERIES_POINTS_MAX = 512;  // points kept per series (then thinned)
constexpr size_t CALL_EVENTS_MAX = 256;    // events listed per call (all are counted)
constexpr size_t FROZEN_EYES_MAX = 8;      // frozen eyes per call: the first 7 and the latest
constexpr size_t ANOMALIES_MAX = 32;       // anomaly notes per call (all are counted)
constexpr size_t PROJECTED_RATES_MAX = 8;  // projected rates of training per call
constexpr size_t FAX_FRAMES_MAX = 48;      // T.30 frames listed per call
constexpr size_t EYE_POINTS_MAX = 512;     // points of one eye tick
constexpr size_t EYE_TICKS_KEPT = 4;       // ticks kept before each event
constexpr size_t CALLER_NUMBER_BYTES = 32;  // 31 characters and a NUL
constexpr size_t CALLER_NAME_BYTES = 80;    // 79 characters and a NUL

// ---- Small enumerations -----------------------------------------------------

enum CallDirection : uint8_t {
    DIRECTION_UNKNOWN,
    DIRECTION_ORIGINATE,  // dialled, or the fax service started as originator
    DIRECTION_ANSWER,     // rang, or the fax service started as answerer
};

enum CleardownCause : uint8_t {
    CLEARDOWN_NONE,          // the call is still running
    CLEARDOWN_LOCAL,         // code 34 or 44 came first
    CLEARDOWN_REMOTE,        // code 35 came first
    CLEARDOWN_CARRIER_LOST,  // the carrier was lost and the call ended without a cleardown report
    CLEARDOWN_ON_HOOK,       // the modem went on hook without a cleardown report
    CLEARDOWN_IDLE,          // the modem went idle (no longer active, or modulation idle)
    CLEARDOWN_UNKNOWN,       // ended by the start of the next call, or by the end of the session
};

enum CallEventKind : uint8_t {
    EVENT_RETRAIN,        // codes 38, 39
    EVENT_RENEGOTIATION,  // codes 40, 41
    EVENT_FALLBACK,       // code 42
    EVENT_FALLFORWARD,    // code 43
    EVENT_CARRIER_LOST,   // code 37
    EVENT_CLEARDOWN,      // codes 34, 35, 44
    EVENT_KINDS,
};

enum EventOrigin : uint8_t { ORIGIN_UNKNOWN, ORIGIN_LOCAL, ORIGIN_REMOTE };

// Series over the call's time. Values are in 1/16 units (dB, dBm, ms) for the
// code-65 measurements, in bit/s for the rates.
enum SeriesKind : uint8_t {
    SERIES_ROUND_TRIP,    // code 65 selector 1, 1/16 ms
    SERIES_RX_LEVEL,      // 2, 1/16 dBm (negative)
    SERIES_SNR,           // 6, 1/16 dB
    SERIES_NEAR_ECHO,     // 7, 1/16 dBm (negative)
    SERIES_SIGNAL_ECHO,   // 8, 1/16 dB
    SERIES_HYBRID_DELAY,  // 9, 1/16 ms
    SERIES_FAR_ECHO,      // 10, 1/16 dBm (negative)
    SERIES_RX_POWER,      // 13, 1/16 dBm (negative)
    SERIES_RX_RATE,       // code 11, bit/s
    SERIES_TX_RATE,       // code 12, bit/s
    SERIES_KINDS,
};

enum AnomalyKind : uint8_t {
    ANOMALY_RATE_BEFORE_MODULATION,  // code 11/12 before any modulation was reported
    ANOMALY_MODULATION_CONFLICT,     // a second, different modulation (value: old, other: new)
    ANOMALY_MODULATION_UNKNOWN,      // a modulation code without a name
    ANOMALY_SYMBOL_RATE_INDEX,       // code 3/4 (or 64 event 42) with an index outside the table
    ANOMALY_RECORD_AFTER_CLEARDOWN,  // a link record after the cleardown (value: code, other: param1)
    ANOMALY_DIRECTION_CONFLICT,      // evidence of both originate and answer
    ANOMALY_ERROR_CONTROL_CONFLICT,  // two error-control protocols established
    ANOMALY_DRIVER_MEMORY,           // a block the record points to could not be read (value: code, other: param1)
    ANOMALY_RATE_UNKNOWN,            // code 11/12 with a rate code that names no rate
    ANOMALY_RECORD_WHILE_IDLE,       // a cleardown-type record after the call had ended
    ANOMALY_OFF_HOOK_TWICE,          // off hook while already off hook
    ANOMALY_KINDS,
};

// ---- Parts of a call ----------------------------------------------------------

// Where a value came from: the time and number of the record that carried
// it. Records are numbered 1, 2, ... per modem in the order they were fed
// (capture control, which no status list shows, apart); 0: no record.
struct RecordMark {
    int64_t time_us = 0;  // since the session start
    uint32_t record = 0;
    uint16_t code = 0;
};

struct SeriesPoint {
    int64_t time_us;  // since the session start
    int32_t value;
    uint32_t record = 0;  // the record that carried it (see RecordMark)
};

// A measurement over the call. All samples count in the statistics (first,
// last, lowest, highest); the points (Call::series_points) keep at most
// SERIES_POINTS_MAX samples: when full, every other point is dropped and from
// then on one sample in `stride` is kept, so the points always span the whole
// call. The median is taken over the points kept, exact while no point has
// been dropped.
struct Series {
    uint64_t samples = 0;
    uint32_t stride = 1;
    uint32_t since_kept = 0;  // samples since the last one kept
    int32_t first = 0, last = 0, lowest = 0, highest = 0;
    RecordMark lowest_at, highest_at;  // the first record of the lowest and of the highest value
};

struct CallEvent {
    int64_t time_us;
    int64_t wall_us;  // -1 when unknown
    CallEventKind kind;
    EventOrigin origin;
    uint16_t code;      // the record's code
    int16_t frozen_eye;  // index into Call::eyes, -1 when none was kept
    uint32_t record = 0;  // the record's number among its modem's records (see RecordMark)
};


struct EyeXY {
    int16_t x;
    int16_t y;
};

// One tick of a frozen eye: its points lie in the eye's own storage.
struct EyeTick {
    int64_t time_us = 0;
    uint16_t count = 0;              // 0 to EYE_POINTS_MAX
    const EyeXY *points = nullptr;  // count points
};

// The last ticks of eye points before an event, oldest first. The points
// take as much room as they are (a few short ticks cost bytes, not the 8 KB
// of four full ones); copies point into their own storage.
struct FrozenEye {
    CallEventKind kind = EVENT_RETRAIN;
    int64_t time_us = 0;  // of the event
    uint8_t ticks = 0;    // 0 to EYE_TICKS_KEPT
    EyeTick tick[EYE_TICKS_KEPT];

    FrozenEye() = default;
    FrozenEye(const FrozenEye &other) { *this = other; }
    FrozenEye(FrozenEye &&other) noexcept = default;  // the storage moves with its points
    FrozenEye &operator=(const FrozenEye &other);
    FrozenEye &operator=(FrozenEye &&other) noexcept = default;

    // Empties the eye, then appends ticks oldest first.
    void clear();
    void add_tick(int64_t time_us, const EyeXY *points, uint16_t count);
    // The bytes its points take.
    size_t point_bytes() const { return storage_.capacity() * sizeof(EyeXY); }

private:
    std::vector<EyeXY> storage_;
};

struct Anomaly {
    AnomalyKind kind;
    int64_t time_us;
    uint32_t value;
    uint32_t other;
};

// Initial, final, lowest and highest of one direction's data rate, in bit/s.
struct RateStats {
    std::optional<long> initial, final, lowest, highest;
    uint32_t changes = 0;  // reports after the first that changed the rate
    RecordMark final_at;   // the report that set the final rate
};

struct ProjectedRate {
    int64_t time_us;
    std::optional<long> symbol_rate;  // Hz; unknown for an index outside the table
    long rate;                        // bit/s
    int32_t snr16;                    // in-band SNR, 1/16 dB
};

enum ErrorControlProtocol : uint8_t { EC_UNKNOWN, EC_LAPM, EC_MNP, EC_V80, EC_CONFLICT };

// Error control and compression as negotiated (codes 69, 70, 71, 80, 81, 89).
struct ErrorControl {
    ErrorControlProtocol protocol = EC_UNKNOWN;
    uint8_t established = 0;           // bit 1 LAPM, bit 2 MNP, bit 4 V.80
    std::optional<int32_t> lapm[9];    // code 70 parameters 0 to 8, as the record gives them
    std::optional<int32_t> mnp[6];     // code 81 parameters 0 to 5
    int8_t v42bis_encoder = -1;        // -1 unknown, 0 transparent, 1 compressed
    int8_t v42bis_decoder = -1;
    // Frame statistics: the latest report of the protocol (69 12/13, 80 10/11, 89 14/15).
    std::optional<uint32_t> tx_frames, tx_retransmitted, rx_frames, rx_rejected;
    uint32_t errors = 0;      // error reports (69 8, 80 3, 89 2, 71 4)
    uint32_t timeouts = 0;    // MNP time-outs (80 4)
    std::optional<int32_t> disconnect_reason;  // 0 remote ... 6 retry failed
    uint16_t disconnect_code = 0;              // 69, 80 or 89
    std::optional<uint32_t> encoder_in, encoder_out, decoder_in, decoder_out;  // V.42bis bytes
    RecordMark established_at;  // the first protocol established
    RecordMark frames_at;       // the latest frame statistics
    RecordMark disconnect_at;   // the disconnect report
};

// The latest code-128 report.
struct ErrorStatistics {
    bool known = false;
    uint32_t bits = 0, blocks = 0, bit_errors = 0, block_errors = 0;
    bool audio = false;  // param5 not 0
    uint32_t audio_bits = 0, audio_blocks = 0, sync_errors = 0, audio_block_errors = 0;
    int64_t time_us = 0;
    uint32_t record = 0;  // the report's record number
};

// Fax phases as bits: A call set-up, B pre-message, C message, D post-message, E release.
enum FaxPhaseBit : uint8_t { FAX_PHASE_A = 1, FAX_PHASE_B = 2, FAX_PHASE_C = 4, FAX_PHASE_D = 8, FAX_PHASE_E = 16 };

struct FaxFrame {
    bool sent;    // false: received
    uint8_t fcf;  // facsimile control field; TCF as FAX_TCF
};
constexpr uint8_t FAX_TCF = 0xFF;  // the training check, which is no framed FCF

struct FaxInfo {
    bool seen = false;
    uint8_t phases = 0;
    uint16_t pages_counted = 0;   // t30_INC_PAGE_COUNT
    uint16_t confirmed = 0;       // MCF sent or received
    uint16_t rejected = 0;        // RTN sent or received
    uint16_t retrain_positive = 0;  // RTP
    uint16_t failed_training = 0;   // FTT sent or received, V.34 training failed
    uint16_t training_ok = 0;       // monitor_TRAINING_SUCCESSFUL, V.34 training done
    uint16_t bad_frames = 0;        // bad frame received, frame error
    uint16_t repeats = 0;           // CRP sent or received, repeat last frame
    uint16_t carrier_lost = 0;      // fax and monitor carrier-lost events
    uint16_t tcf_sent = 0;          // training checks sent (more than one: training repeated)
    RecordMark training_failed_at;  // the first FTT, RTN or failed V.34 training
    RecordMark last_at;             // the latest fax record
    bool dcn_sent = false, dcn_received = false;
    uint8_t frame_count = 0;  // frames listed (at most FAX_FRAMES_MAX)
    uint16_t frames_seen = 0;
    FaxFrame frames[FAX_FRAMES_MAX];
};

// Caller-ID fields (code 72) and the circuit (code 88).
struct CallerId {
    bool seen = false;
    bool time_known = false;
    char time[9] = {};  // the eight characters MMDDhhmm and a NUL
    bool number_known = false;
    char number[CALLER_NUMBER_BYTES] = {};
    bool name_known = false;
    char name[CALLER_NAME_BYTES] = {};
    std::optional<int32_t> seizure_bytes, mark_bytes;
    uint16_t errors = 0;             // error reports (sub-code 0)
    std::optional<int32_t> last_error;  // its param2
    uint16_t unknown_messages = 0;   // sub-code 7
    std::optional<int32_t> message_bytes;  // sub-code 8: length of the whole message
    bool finished = false;           // sub-code 6
};

// ---- The call -----------------------------------------------------------------

// The fixed-size part of a call (plain values, so that a call is emptied
// for reuse with one copy), and the call with its bounded lists.
struct CallData {
    int modem = 0;           // 1 or 2
    uint32_t number = 0;     // 1, 2, ... per modem, in order of start
    int64_t start_us = 0, end_us = 0;            // since the session start
    int64_t start_wall_us = -1, end_wall_us = -1;  // since the epoch, -1 when unknown
    bool ended = false;      // false: still running (or running when the session ended)
    uint32_t records = 0;    // records that belonged to the call
    uint32_t first_record = 0;  // the number of its first record among its modem's (see RecordMark)
    bool cleared = false;    // a cleardown code (34, 35, 44) ended it

    CallDirection direction = DIRECTION_UNKNOWN;
    uint8_t direction_evidence = 0;  // bit 1 originate, bit 2 answer
    bool off_hook = false;
    uint16_t rings = 0;

    std::optional<uint32_t> modulation;   // code as the records give it
    bool modulation_conflict = false;
    std::optional<long> rx_symbol_rate, tx_symbol_rate;  // Hz (codes 3, 4), latest
    RateStats rx_rate, tx_rate;                           // codes 11, 12
    // Rates offered: the maximum data rates of training (64 events 38-41), bit/s.
    std::optional<long> max_local_rx, max_local_tx, max_remote_rx, max_remote_tx;
    bool carrier = false;        // carrier present at the moment
    bool data_mode = false;      // Rx or Tx data mode reached, or connection established
    // The first record that showed a connection: carrier present, data mode,
    // connection established or error control established.
    std::optional<int64_t> connected_us;
    RecordMark connected_at;
    bool trained = false;        // a modulation, training or V.8 record was seen
    RecordMark last_carrier_lost;

    Series series[SERIES_KINDS];
    // The latest value of every code-65 selector 1 to 34, as param2 gives it.
    std::optional<int32_t> measurement[35];

    uint32_t retrains = 0, retrains_remote = 0;
    uint32_t renegotiations = 0, renegotiations_remote = 0;
    uint32_t fallbacks = 0, fallforwards = 0, carrier_losses = 0;
    uint32_t events_seen = 0;

    ErrorControl ec;
    ErrorStatistics stats;
    FaxInfo fax;
    CallerId caller;

    CleardownCause cleardown = CLEARDOWN_NONE;
    uint16_t cleardown_code = 0;  // the record that decided the cause (34, 35, 44, 37, 22; 0 none)
    std::optional<int64_t> cleardown_us;
    RecordMark end_at;            // the record (or idle moment, record 0) that ended the call

    uint32_t anomalies_seen = 0;
};

struct Call : CallData {
    std::vector<SeriesPoint> series_points[SERIES_KINDS];  // the kept points of each series
    std::vector<ProjectedRate> projected;  // at most PROJECTED_RATES_MAX
    std::vector<CallEvent> events;         // at most CALL_EVENTS_MAX
    std::vector<FrozenEye> eyes;           // at most FROZEN_EYES_MAX
    std::vector<Anomaly> anomalies;        // notes kept, at most ANOMALIES_MAX
};

// ---- Names --------------------------------------------------------------------

const char *direction_name(CallDirection direction);  // "unknown", "originate", "answer"
const char *cleardown_name(CleardownCause cause);     // "running", "local", "remote", ...
const char *event_name(CallEventKind kind);           // "retrain", "renegotiation", ...
const char *origin_name(EventOrigin origin);          // "unknown", "local", "remote"
const char *error_control_name(ErrorControlProtocol protocol);

// One row per series kind: its code-65 selector (0 for the rates), its key in
// exports, its label in summaries, its unit, and whether its values are in
// 1/16 units.
struct SeriesInfo {
    SeriesKind kind;
    uint32_t selector;
    const char *key;
    const char *label;
    const char *unit;
    bool sixteenths;  // values in 1/16 units, else whole numbers
    bool negated;     // the record gives the magnitude of a level below 0 dBm
};
// One row per series: code-65 selector, export key, label, unit, 1/16 units, negated.
inline constexpr SeriesInfo SERIES_INFO[SERIES_KINDS] = {
    {SERIES_ROUND_TRIP,   1,  "round_trip_ms",   "Round trip delay",   "ms",    true,  false},
    {SERIES_RX_LEVEL,     2,  "rx_level_dbm",    "Rx level",           "dBm",   true,  true},
    {SERIES_SNR,          6,  "snr_db",          "SNR",                "dB",    true,  false},
    {SERIES_NEAR_ECHO,    7,  "near_echo_dbm",   "Near echo level",    "dBm",   true,  true},
    {SERIES_SIGNAL_ECHO,  8,  "signal_echo_db",  "Signal/echo",        "dB",    true,  false},
    {SERIES_HYBRID_DELAY, 9,  "hybrid_delay_ms", "Hybrid delay",       "ms",    true,  false},
    {SERIES_FAR_ECHO,     10, "far_echo_dbm",    "Far echo level",     "dBm",   true,  true},
    {SERIES_RX_POWER,     13, "rx_power_dbm",    "Total Rx power",     "dBm",   true,  true},
    {SERIES_RX_RATE,      0,  "rx_rate_bps",     "Rx rate",            "bit/s", false, false},
    {SERIES_TX_RATE,      0,  "tx_rate_bps",     "Tx rate",            "bit/s", false, false},
};


// The median of a series' kept points (of an even count, the mean of the two
// middle values), in the series' units; nullopt when it has none.
std::optional<double> series_median(const std::vector<SeriesPoint> &points);

// The number of the record being applied to a call (its records counted so far).
inline uint32_t call_current_record(const CallData &call) { return call.first_record + call.records - 1; }

// A short English text of one anomaly note into text (at most size-1
// characters, always terminated).
void anomaly_text(const Anomaly &anomaly, char *text, size_t size);
