// The bounded line store: a ring of line offsets over a ring of text.
#include "monitor/line_store.h"

#include <algorithm>
#include <cstring>

void line_store_init(LineStore *store, char *text, size_t text_size, uint32_t *offsets,
                     int64_t *times, size_t capacity, uint32_t *codes) {
    store->text = text;
    store->text_size = text_size;
    store->offsets = offsets;
    store->times = times;
    store->codes = codes;
    store->capacity = capacity;
    store->first = 0;
    store->count = 0;
    store->text_end = 0;
    store->first_number = 0;
    store->dropped = 0;
}

void line_store_init_filled(LineStore *store, char *text, size_t text_size, uint32_t *offsets, int64_t *times,
                            size_t capacity, size_t count, size_t text_end, uint32_t *codes) {
    line_store_init(store, text, text_size, offsets, times, capacity, codes);
    store->count = count <= capacity ? count : capacity;
    store->text_end = text_end <= text_size ? text_end : text_size;
}

static void drop_oldest(LineStore *store) {
    store->first = (store->first + 1) % store->capacity;
    --store->count;
    ++store->first_number;
    ++store->dropped;
    if (store->count == 0) {
        store->text_end = 0;
    }
}

// Where a text of `need` bytes can go without touching a stored line, or
// SIZE_MAX when it cannot go anywhere now.
static size_t free_offset(const LineStore &store, size_t need) {
    if (store.count == 0) {
        return need <= store.text_size ? 0 : SIZE_MAX;
    }
    const size_t oldest = store.offsets[store.first];
    if (store.text_end > oldest) {
        // Lines run from oldest to text_end: room after them, else at the
        // start up to the oldest line.
        if (store.text_end + need <= store.text_size) {
            return store.text_end;
        }
        return need <= oldest ? 0 : SIZE_MAX;
    }
    // The lines have wrapped: the gap runs from text_end to the oldest line.
    return store.text_end + need <= oldest ? store.text_end : SIZE_MAX;
}

bool line_store_add(LineStore *store, const char *line, int64_t time, uint32_t code) {
    const size_t need = std::strlen(line) + 1;
    if (store->capacity == 0 || need > store->text_size) {
        ++store->dropped;
        return false;
    }
    if (store->count == store->capacity) {
        drop_oldest(store);
    }
    size_t offset = free_offset(*store, need);
    while (offset == SIZE_MAX) {
        drop_oldest(store);
        offset = free_offset(*store, need);
    }
    std::memcpy(store->text + offset, line, need);
    const size_t slot = (store->first + store->count) % store->capacity;
    store->offsets[slot] = static_cast<uint32_t>(offset);
    store->times[slot] = time;
    if (store->codes != nullptr) {
        store->codes[slot] = code;
    }
    ++store->count;
    store->text_end = offset + need;
    return true;
}

const char *line_store_text(const LineStore &store, size_t i) {
    return store.text + store.offsets[(store.first + i) % store.capacity];
}

int64_t line_store_time(const LineStore &store, size_t i) {
    return store.times[(store.first + i) % store.capacity];
}

uint32_t line_store_code(const LineStore &store, size_t i) {
    return store.codes != nullptr ? store.codes[(store.first + i) % store.capacity] : 0;
}

size_t line_store_find_time(const LineStore &store, int64_t time) {
    if (store.count == 0) {
        return store.count;
    }
    // First line after `time`, by halving; the one before it is the answer.
    size_t low = 0, high = store.count;
    while (low < high) {
        const size_t mid = low + (high - low) / 2;
        if (line_store_time(store, mid) <= time) {
            low = mid + 1;
        } else {
            high = mid;
        }
    }
    return low > 0 ? low - 1 : 0;
}

size_t line_store_find_code_near(const LineStore &store, int64_t time, int64_t window, uint32_t code) {
    size_t best = store.count;
    int64_t best_distance = window + 1;
    size_t i = line_store_find_time(store, time + window);
    if (i >= store.count) {
        return best;
    }
    // Back from the last line in the window to the first.
    for (;; --i) {
        const int64_t t = line_store_time(store, i);
        if (t < time - window) {
            break;
        }
        const int64_t distance = t > time ? t - time : time - t;
        if (t <= time + window && distance < best_distance && line_store_code(store, i) == code) {
            best = i;
            best_distance = distance;
        }
        if (i == 0) {
            break;
        }
    }
    return best;
}

ViewChange line_view_catch_up(const LineStore &store, uint64_t *shown_first, uint64_t *shown_end) {
    ViewChange change{0, 0};
    const uint64_t first = store.first_number;
    const uint64_t end = line_store_end_number(store);
    // Rows whose lines have left the store since the view last looked.
    const uint64_t kept_from = std::min(std::max(first, *shown_first), *shown_end);
    change.removed = static_cast<size_t>(kept_from - *shown_first);
    // Lines that arrived and are still stored (some may have come and gone).
    const uint64_t insert_from = std::max(first, *shown_end);
    change.inserted = static_cast<size_t>(end - insert_from);
    *shown_first = first;
    *shown_end = end;
    return change;
}
