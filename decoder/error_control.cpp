// Error-control and compression reports: V.42 LAPM events and negotiated
// parameters (codes 69, 70), V.42bis compression (71), MNP events and
// parameters (80, 81) and V.80 synchronous access mode (89).
#include <cstdio>

#include "decoder/families.h"
#include "decoder/line_text.h"

namespace {

// Disconnect reasons share one numbering; each family keeps its own texts.
const TextRow lapm_disconnects[] = {
    {0, "LAPM disconnected (remote requested disconnect)\t"},
    {1, "LAPM disconnected (local requested disconnect)\t"},
    {2, "LAPM disconnected (connection failed)\t"},
    {3, "LAPM disconnected (protocol error)\t"},
    {4, "LAPM disconnected (compression error)\t"},
    {5, "LAPM disconnected (inactivity timer expired)\t"},
    {6, "LAPM disconnected (retry failed)\t"},
};

const TextRow mnp_disconnects[] = {
    {0, "MNP disconnected (remote requested disconnect)\t"},
    {1, "MNP disconnected (local requested disconnect)\t"},
    {2, "MNP disconnected (connection failed)\t"},
    {3, "MNP disconnected (protocol error)\t"},
    {4, "MNP disconnected (compression error)\t"},
    {5, "MNP disconnected (inactivity timer expired)\t"},
    {6, "MNP disconnected (retry failed)\t"},
};

const TextRow v80_disconnects[] = {
    {0, "V80 disconnected (remote requested disconnect)\t"},
    {1, "V80 disconnected (local requested disconnect)\t"},
};

// LAPM events with a fixed text; events 0 and 8 to 13 carry details.
const TextRow lapm_events[] = {
    {1, "LAPM established connection\t"},
    {2, "LAPM V.42 ODP detected\t"},
    {3, "LAPM V.42 ADP detected\t"},
    {4, "LAPM Unknown ADP detected\t"},
    {6, "LAPM MNP frame detected\t"},
    {7, "LAPM pattern detection failed\t"},
};

const TextRow lapm_errors[] = {
    {1, "LAPM Error: buffer overflow\t"},
    {2, "LAPM Error: frame too long\t"},
    {3, "LAPM Error: bad frame\t"},
    {6, "LAPM Error: N400 retries exceeded; retrain forced\t"},
};

const TextRow lapm_test_results[] = {
    {0, "LAPM test passed\t"},
    {1, "LAPM test request ignored\t"},
    {2, "LAPM test already in progress\t"},
    {3, "LAPM test not supported\t"},
    {4, "LAPM test failed\t"},
};

// Compression direction: the two low bits of the value.
const TextRow lapm_compression_directions[] = {
    {0, "LAPM compression disabled      \t"},
    {1, "LAPM compression xmt only      \t"},
    {2, "LAPM compression rcv only      \t"},
    {3, "LAPM compression enabled       \t"},
};

const TextRow v42bis_events[] = {
    {0, "V42bis Encoder: Transparent mode active\t"},
    {1, "V42bis Encoder: Compressed mode active\t"},
    {2, "V42bis Decoder: Transparent mode active\t"},
    {3, "V42bis Decoder: Compressed mode active\t"},
};

const TextRow v42bis_errors[] = {
    {0, "V42bis Error: undefined escape sequence\t"},
    {1, "V42bis Error: codeword size overflow\t"},
    {2, "V42bis Error: undefined codeword\t"},
};

// MNP events with a fixed text; events 0, 3, 4, 6, 10 and 11 carry details.
const TextRow mnp_events[] = {
    {1, "MNP esablished connection\t"},
    {2, "MNP negotiation failed. Fallback\t"},
    {5, "MNP LT frame has invalid sequence number\t"},
    {7, "MNP NACK. Send LA twice\t"},
};

const TextRow mnp_errors[] = {
    {1, "MNP Error: buffer overflow\t"},
    {2, "MNP Error: frame too long\t"},
    {3, "MNP Error: bad frame\t"},
};

// Writes text, or leaves the line empty when there is none.
void write_text_or_nothing(StatusLine &line, const char *text) {
    if (text != nullptr) snprintf(line, sizeof line, "%s", text);
}

// Writes text, or fallback when there is none.
void write_text_or(StatusLine &line, const char *text, const char *fallback) {
    snprintf(line, sizeof line, "%s", text != nullptr ? text : fallback);
}

}  // namespace

void decode_lapm_event(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    const long p2 = as_signed(record.param2);
    const long p3 = as_signed(record.param3);
    switch (record.param1) {
    case 0:
        write_text_or_nothing(line, find_text(lapm_disconnects, record.param2));
        return;
    case 8:
        write_text_or(line, find_text(lapm_errors, record.param2), "LAPM Error: unknown\t");
        return;
    case 9:
        write_text_or_format(line, find_text(lapm_test_results, record.param2), "LAPM test result: %ld\t", p2);
        return;
    case 10:
        snprintf(line, sizeof line, "LAPM TxFRAME l=%3ld ", p2);
        return;
    case 11:
        snprintf(line, sizeof line, "LAPM RxFRAME l=%3ld ", p2);
        return;
    case 12:
        snprintf(line, sizeof line, "LAPM Tx: %ld frames sent;     %ld frames retransmitted\t", p2, p3);
        return;
    case 13:
        snprintf(line, sizeof line, "LAPM Rx: %ld frames received; %ld frames rejected     \t", p2, p3);
        return;
    default:
        write_text_or_format(line, find_text(lapm_events, record.param1), "LAPM status %ld\t",
                             as_signed(record.param1));
        return;
    }
}

void decode_lapm_parameter(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    const long p2 = as_signed(record.param2);
    const bool set = record.param2 != 0;
    switch (record.param1) {
    case 0:
        snprintf(line, sizeof line, "LAPM xmt  sliding window size: %3ld\t", p2);
        return;
    case 1:
        snprintf(line, sizeof line, "LAPM rcv  sliding window size: %3ld\t", p2);
        return;
    case 2:
        snprintf(line, sizeof line, "LAPM xmt max info field  size: %3ld\t", p2);
        return;
    case 3:
        snprintf(line, sizeof line, "LAPM rcv max info field  size: %3ld\t", p2);
        return;
    case 4:
        snprintf(line, sizeof line, "%s",
                 set ? "LAPM test functions supported    \t" : "LAPM test functions not supported\t");
        return;
    case 5:
        snprintf(line, sizeof line, "%s",
                 set ? "LAPM selective reject supported    \t" : "LAPM selective reject not supported\t");
        return;
    case 6:
        write_text_or_nothing(line, find_text(lapm_compression_directions, record.param2 & 3u));
        return;
    case 7:
        snprintf(line, sizeof line, "LAPM compression dict. size: %3ld\t", p2);
        return;
    case 8:
        snprintf(line, sizeof line, "LAPM comp.  max string size: %3ld\t", p2);
        return;
    default:
        return;
    }
}

void decode_v42bis(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    switch (record.param1) {
    case 4:
        write_text_or(line, find_text(v42bis_errors, record.param2), "V42bis Error: unknown\t");
        return;
    case 5:
        snprintf(line, sizeof line, "V42bis Encoder statistic: %ld bytes in / %ld bytes out\t",
                 as_signed(record.param2), as_signed(record.param3));
        return;
    case 6:
        snprintf(line, sizeof line, "V42bis Decoder statistic: %ld bytes in / %ld bytes out\t",
                 as_signed(record.param2), as_signed(record.param3));
        return;
    default:
        write_text_or_nothing(line, find_text(v42bis_events, record.param1));
        return;
    }
}

void decode_mnp_event(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    const long p2 = as_signed(record.param2);
    const long p3 = as_signed(record.param3);
    switch (record.param1) {
    case 0:
        write_text_or_nothing(line, find_text(mnp_disconnects, record.param2));
        return;
    case 3:
        write_text_or(line, find_text(mnp_errors, record.param2), "MNP Error: unknown\t");
        return;
    case 4: {
        // The last frame sent: first frame to retransmit plus the unacknowledged
        // frames minus one, in the driver's wrapping 32-bit arithmetic.
        const long last_sent = as_signed(record.param2 + record.param3 - 1u);
        snprintf(line, sizeof line, "MNP Timeout. Last Sent=%ld,!Ack=%ld. Retransmitting from frame %ld\t",
                 last_sent, p2, p3);
        return;
    }
    case 6:
        snprintf(line, sizeof line, "MNP Retransmit from frame %ld. %ld frames pending\t", p2, p3);
        return;
    case 10:
        snprintf(line, sizeof line, "MNP Tx: %ld frames sent;     %ld frames retransmitted\t", p2, p3);
        return;
    case 11:
        snprintf(line, sizeof line, "MNP Rx: %ld frames received; %ld frames rejected     \t", p2, p3);
        return;
    default:
        write_text_or_format(line, find_text(mnp_events, record.param1), "MNP status %ld\t",
                             as_signed(record.param1));
        return;
    }
}

void decode_mnp_parameter(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    const long p2 = as_signed(record.param2);
    const bool set = record.param2 != 0;
    switch (record.param1) {
    case 0:
        snprintf(line, sizeof line, "MNP protocol level: %1ld\t", p2);
        return;
    case 1:
        snprintf(line, sizeof line, "MNP service class: %1ld\t", p2);
        return;
    case 2:
        snprintf(line, sizeof line, "%s",
                 set ? "MNP data optimization enabled \t" : "MNP data optimization disabled \t");
        return;
    case 3:
        snprintf(line, sizeof line, "%s", set ? "MNP compression enabled \t" : "MNP compression disabled \t");
        return;
    case 4:
        snprintf(line, sizeof line, "MNP max info field  size: %3ld\t", p2);
        return;
    case 5:
        snprintf(line, sizeof line, "MNP sliding window size: %3ld\t", p2);
        return;
    default:
        return;
    }
}

void decode_v80(const StatusRecord &record, StatusLine &line) {
    line[0] = '\0';
    switch (record.param1) {
    case 0:
        write_text_or_nothing(line, find_text(v80_disconnects, record.param2));
        return;
    case 1:
        snprintf(line, sizeof line, "%s", "V80 esablished connection\t");
        return;
    case 2:
        snprintf(line, sizeof line, "%s", record.param2 == 1 ? "V80 Error: bad frame\t" : "V80 Error: unknown\t");
        return;
    case 12:
    case 13:
        return;
    case 14:
        snprintf(line, sizeof line, "V80 Tx: %ld frames sent;     %ld frames retransmitted\t",
                 as_signed(record.param2), as_signed(record.param3));
        return;
    case 15:
        snprintf(line, sizeof line, "V80 Rx: %ld frames received; %ld frames rejected     \t",
                 as_signed(record.param2), as_signed(record.param3));
        return;
    default:
        snprintf(line, sizeof line, "V80 status %ld\t", as_signed(record.param1));
        return;
    }
}
