// The simulated driver's queues and memory: status records, eye points and
// capture data per modem (bounded), and driver memory as sparse blocks.
#include <cstring>
#include <deque>
#include <vector>

#include "simulator/sim_internal.h"
#include "simwire/sim_wire.h"
#include "trace/sparse_memory.h"

namespace {

std::deque<StatusRecord> records;
uint64_t records_taken = 0;  // the sequence number of the front record
// The memory of pinned records, by sequence number, in queue order: only
// the records that have it cost anything.
struct PinnedMemory {
    uint64_t sequence;
    std::vector<unsigned char> reads;
};
std::deque<PinnedMemory> pinned;
// The record taken last, whose pinned memory the programs' reads see.
SimTakenRecord last_taken;

// Eye points of one modem in a ring that keeps the newest SIM_EYE_KEEP.
struct EyeRing {
    EyePoint points[SIM_EYE_KEEP];
    size_t first;  // index of the oldest point
    size_t count;
};
EyeRing eye_rings[2];

// Capture data in chunks: either bytes copied from a trace or a run of
// fill_count equal bytes that needs no storage at all.
constexpr size_t CAPTURE_CHUNK_BYTES = 65536;
struct CaptureChunk {
    std::vector<unsigned char> bytes;  // empty for a fill run
    size_t fill_count;
    unsigned char fill_byte;
    size_t taken;  // bytes already delivered from the front of this chunk
};
std::deque<CaptureChunk> capture_chunks[2];
size_t capture_pending[2];

SparseMemory memory;

bool modem_number_valid(int modem) {
    return modem == 1 || modem == 2;
}

size_t chunk_size(const CaptureChunk &chunk) {
    return chunk.bytes.empty() ? chunk.fill_count : chunk.bytes.size();
}

// How much of count bytes for modem 1 or 2 still fits the bound; the rest is
// dropped and logged.
size_t capture_room(int modem, size_t count) {
    const size_t pending = capture_pending[modem - 1];
    const size_t room = pending < SIM_CAPTURE_PENDING_MAX ? SIM_CAPTURE_PENDING_MAX - pending : 0;
    if (count > room) {
        sim_log_capture_dropped(modem, count - room);
        return room;
    }
    return count;
}

}  // namespace

void sim_reset_queues() {
    records.clear();
    records_taken = 0;
    pinned.clear();
    last_taken = SimTakenRecord{};
    for (int i = 0; i < 2; ++i) {
        eye_rings[i].first = 0;
        eye_rings[i].count = 0;
        capture_chunks[i].clear();
        capture_pending[i] = 0;
    }
    memory.blocks.clear();
}

void sim_queue_record(const StatusRecord &record) {
    if (records.size() < SIM_RECORD_QUEUE_MAX) {
        records.push_back(record);
    }
}

void sim_queue_record_pinned(const StatusRecord &record) {
    if (records.size() < SIM_RECORD_QUEUE_MAX) {
        PinnedMemory memory{records_taken + records.size(), {}};
        sim_record_reads(record, &memory.reads);
        pinned.push_back(std::move(memory));
        records.push_back(record);
    }
}

// Takes the front record; with_memory also gives an unpinned record the
// memory it points at now.
static bool take_front(SimTakenRecord *taken, bool with_memory) {
    if (records.empty()) {
        return false;
    }
    taken->record = records.front();
    records.pop_front();
    const uint64_t sequence = records_taken++;
    taken->reads.clear();
    taken->pinned = !pinned.empty() && pinned.front().sequence == sequence;
    if (taken->pinned) {
        taken->reads.swap(pinned.front().reads);
        pinned.pop_front();
    } else if (with_memory) {
        sim_record_reads(taken->record, &taken->reads);
    }
    last_taken.record = taken->record;
    last_taken.pinned = taken->pinned;
    if (taken->pinned) {
        last_taken.reads = taken->reads;
    } else {
        last_taken.reads.clear();
    }
    return true;
}

bool sim_take_record(StatusRecord *record) {
    SimTakenRecord taken;
    if (!take_front(&taken, false)) {
        return false;
    }
    *record = taken.record;
    return true;
}

bool sim_take_record_memory(SimTakenRecord *taken) {
    return take_front(taken, true);
}

void sim_return_records(const SimTakenRecord *taken, size_t count) {
    for (size_t i = count; i-- > 0 && records_taken > 0;) {
        records.push_front(taken[i].record);
        --records_taken;
        if (taken[i].pinned) {
            pinned.push_front(PinnedMemory{records_taken, taken[i].reads});
        }
    }
}

size_t sim_pending_records() {
    return records.size();
}

void sim_queue_eye(int modem, const EyePoint *points, size_t count) {
    if (!modem_number_valid(modem) || (points == nullptr && count != 0)) {
        return;
    }
    EyeRing &ring = eye_rings[modem - 1];
    for (size_t i = 0; i < count; ++i) {
        if (ring.count == SIM_EYE_KEEP) {  // full: the oldest point goes
            ring.first = (ring.first + 1) % SIM_EYE_KEEP;
            --ring.count;
        }
        ring.points[(ring.first + ring.count) % SIM_EYE_KEEP] = points[i];
        ++ring.count;
    }
}

size_t sim_pending_eye(int modem) {
    return modem_number_valid(modem) ? eye_rings[modem - 1].count : 0;
}

size_t sim_take_eye(int modem, unsigned char *out, size_t max_points) {
    if (!modem_number_valid(modem) || out == nullptr) {
        return 0;
    }
    EyeRing &ring = eye_rings[modem - 1];
    const size_t taken = ring.count < max_points ? ring.count : max_points;
    for (size_t i = 0; i < taken; ++i) {
        const EyePoint &point = ring.points[(ring.first + i) % SIM_EYE_KEEP];
        const uint16_t x = uint16_t(point.x);
        const uint16_t y = uint16_t(point.y);
        out[4 * i] = (unsigned char)x;
        out[4 * i + 1] = (unsigned char)(x >> 8);
        out[4 * i + 2] = (unsigned char)y;
        out[4 * i + 3] = (unsigned char)(y >> 8);
    }
    ring.first = (ring.first + taken) % SIM_EYE_KEEP;
    ring.count -= taken;
    return taken;
}

void sim_queue_capture(int modem, const unsigned char *bytes, size_t count) {
    if (!modem_number_valid(modem) || bytes == nullptr) {
        return;
    }
    std::deque<CaptureChunk> &chunks = capture_chunks[modem - 1];
    count = capture_room(modem, count);
    capture_pending[modem - 1] += count;
    while (count > 0) {
        // Top up the last chunk of copied bytes before starting a new one.
        if (chunks.empty() || chunks.back().bytes.empty() ||
            chunks.back().bytes.size() >= CAPTURE_CHUNK_BYTES) {
            chunks.push_back(CaptureChunk{{}, 0, 0, 0});
            chunks.back().bytes.reserve(CAPTURE_CHUNK_BYTES);
        }
        std::vector<unsigned char> &last = chunks.back().bytes;
        const size_t room = CAPTURE_CHUNK_BYTES - last.size();
        const size_t part = count < room ? count : room;
        last.insert(last.end(), bytes, bytes + part);
        bytes += part;
        count -= part;
    }
}

void sim_queue_capture_fill(int modem, size_t count, unsigned char byte) {
    if (!modem_number_valid(modem) || count == 0) {
        return;
    }
    std::deque<CaptureChunk> &chunks = capture_chunks[modem - 1];
    count = capture_room(modem, count);
    if (count == 0) {
        return;
    }
    capture_pending[modem - 1] += count;
    if (!chunks.empty() && chunks.back().bytes.empty() && chunks.back().fill_byte == byte) {
        chunks.back().fill_count += count;
    } else {
        chunks.push_back(CaptureChunk{{}, count, byte, 0});
    }
}

size_t sim_pending_capture(int modem) {
    return modem_number_valid(modem) ? capture_pending[modem - 1] : 0;
}

size_t sim_take_capture(int index, unsigned char *out, size_t max) {
    if ((index != 0 && index != 1) || out == nullptr) {
        return 0;
    }
    std::deque<CaptureChunk> &chunks = capture_chunks[index];
    size_t done = 0;
    while (done < max && !chunks.empty()) {
        CaptureChunk &chunk = chunks.front();
        const size_t left = chunk_size(chunk) - chunk.taken;
        const size_t part = left < max - done ? left : max - done;
        if (chunk.bytes.empty()) {
            memset(out + done, chunk.fill_byte, part);
        } else {
            memcpy(out + done, chunk.bytes.data() + chunk.taken, part);
        }
        chunk.taken += part;
        done += part;
        if (chunk.taken == chunk_size(chunk)) {
            chunks.pop_front();
        }
    }
    capture_pending[index] -= done;
    return done;
}

void sim_map_memory(uint32_t address, const unsigned char *bytes, size_t count) {
    sparse_write(memory, address, bytes, count);
}

void sim_unmap_memory(uint32_t address, size_t count) {
    sparse_unmap(memory, address, count);
}

size_t sim_read_memory(uint32_t address, unsigned char *dest, size_t count) {
    return sparse_read(memory, address, dest, count);
}

size_t sim_read_record_memory(uint32_t address, unsigned char *dest, size_t count) {
    size_t got = 0;
    if (last_taken.pinned && dest != nullptr &&
        wire_find_read(last_taken.reads.data(), last_taken.reads.size(), address, dest, count, &got)) {
        return got;
    }
    return sim_read_memory(address, dest, count);
}
