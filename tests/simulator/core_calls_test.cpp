// The simulated driver's device-control calls: buffers, counts and faults.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driverlink/ioctl.h"
#include "simulator/sim.h"

namespace {

constexpr unsigned char SENTINEL = 0xCD;

StatusRecord numbered_record(uint32_t n) {
    StatusRecord record = {};
    record.code = n;
    record.param1 = 0x04030201;
    record.param8 = 0xFFFFFFFF;
    record.modem = 1;
    return record;
}

uint32_t word_at(const unsigned char *bytes) {
    return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (uint32_t(bytes[3]) << 24);
}

TEST(CoreStatus, OneWholeRecordOrNothing) {
    struct Case {
        const char *description;
        int queued;
        uint32_t out_size;
        uint32_t fault_count;
        uint32_t expected_count;
        bool delivers;
    } cases[] = {
        {"one record, 40-byte buffer", 1, 40, 0, 40, true},
        {"larger buffer still gets 40", 2, 64, 0, 40, true},
        {"empty queue", 0, 40, 0, 0, false},
        {"39-byte buffer gets nothing", 1, 39, 0, 0, false},
        {"no buffer gets nothing", 1, 0, 0, 0, false},
        {"fault reports 39 for a delivered record", 1, 40, 39, 39, true},
        {"fault reports 1000 for a delivered record", 1, 40, 1000, 1000, true},
        {"fault does not lie on an empty queue", 0, 40, 39, 0, false},
        {"fault with a short buffer: nothing, count 0", 1, 20, 39, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        sim_reset();
        for (int i = 0; i < c.queued; ++i) {
            sim_queue_record(numbered_record(100 + i));
        }
        SimFaults faults = {};
        faults.status_count = c.fault_count;
        sim_set_faults(faults);
        unsigned char out[80];
        memset(out, SENTINEL, sizeof out);
        uint32_t returned = 12345;
        EXPECT_TRUE(sim_device_control(IOCTL_TARVEL_GET_STATUS, nullptr, 0, out, c.out_size, &returned));
        EXPECT_EQ(returned, c.expected_count);
        const uint32_t written = c.delivers ? 40 : 0;
        for (uint32_t i = written; i < sizeof out; ++i) {
            ASSERT_EQ(out[i], SENTINEL) << "byte " << i << " written past the record";
        }
        if (c.delivers) {
            // code, param1 .. param8, modem as little-endian words.
            EXPECT_EQ(word_at(out), 100u);
            const unsigned char param1[4] = {0x01, 0x02, 0x03, 0x04};
            EXPECT_EQ(memcmp(out + 4, param1, 4), 0);
            EXPECT_EQ(word_at(out + 32), 0xFFFFFFFFu);
            EXPECT_EQ(word_at(out + 36), 1u);
        }
        EXPECT_EQ(sim_pending_records(), size_t(c.queued - (c.delivers ? 1 : 0)));
    }
}

TEST(CoreStatus, RecordsComeInQueueOrder) {
    sim_reset();
    for (uint32_t i = 1; i <= 5; ++i) {
        sim_queue_record(numbered_record(i));
    }
    for (uint32_t i = 1; i <= 5; ++i) {
        unsigned char out[40];
        uint32_t returned = 0;
        sim_device_control(IOCTL_TARVEL_GET_STATUS, nullptr, 0, out, 40, &returned);
        ASSERT_EQ(returned, 40u);
        EXPECT_EQ(word_at(out), i);
    }
}

TEST(CoreEye, PointsDeliveredAreTheSmallestLimit) {
    struct Case {
        const char *description;
        int modem;
        uint32_t code;
        size_t queued;
        bool has_input;
        uint32_t wanted;
        uint32_t out_size;
        uint32_t fault_count;
        uint32_t expected_count;
        uint32_t expected_points;  // points actually copied
    } cases[] = {
        {"10 queued, 512 wanted", 1, IOCTL_TARVEL_GET_EYE_1, 10, true, 512, 2048, 0, 10, 10},
        {"600 queued, 512 wanted", 1, IOCTL_TARVEL_GET_EYE_1, 600, true, 512, 2048, 0, 512, 512},
        {"600 queued, 1000 wanted, capped at 512", 2, IOCTL_TARVEL_GET_EYE_2, 600, true, 1000, 4096, 0, 512, 512},
        {"3 wanted", 2, IOCTL_TARVEL_GET_EYE_2, 100, true, 3, 2048, 0, 3, 3},
        {"10-byte buffer holds 2 points", 1, IOCTL_TARVEL_GET_EYE_1, 100, true, 512, 10, 0, 2, 2},
        {"nothing queued", 1, IOCTL_TARVEL_GET_EYE_1, 0, true, 512, 2048, 0, 0, 0},
        {"no input word", 1, IOCTL_TARVEL_GET_EYE_1, 10, false, 0, 2048, 0, 0, 0},
        {"fault 600 with 10 queued", 1, IOCTL_TARVEL_GET_EYE_1, 10, true, 512, 2048, 600, 600, 10},
        {"fault 600 with nothing queued", 2, IOCTL_TARVEL_GET_EYE_2, 0, true, 512, 2048, 600, 600, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        sim_reset();
        std::vector<EyePoint> points;
        for (size_t i = 0; i < c.queued; ++i) {
            points.push_back(EyePoint{int16_t(i), int16_t(-1 - int(i))});
        }
        sim_queue_eye(c.modem, points.data(), points.size());
        // Points of the other modem must not come out of this call.
        const EyePoint other = {9999, 9999};
        sim_queue_eye(3 - c.modem, &other, 1);
        SimFaults faults = {};
        faults.eye_count = c.fault_count;
        sim_set_faults(faults);
        std::vector<unsigned char> out(4200, SENTINEL);
        const unsigned char input[4] = {(unsigned char)c.wanted, (unsigned char)(c.wanted >> 8),
                                        (unsigned char)(c.wanted >> 16), (unsigned char)(c.wanted >> 24)};
        uint32_t returned = 12345;
        sim_device_control(c.code, c.has_input ? input : nullptr, c.has_input ? 4 : 0, out.data(),
                           c.out_size, &returned);
        EXPECT_EQ(returned, c.expected_count);
        for (uint32_t i = 0; i < c.expected_points; ++i) {
            // x = i, y = -1 - i as signed 16-bit little-endian.
            const uint16_t x = uint16_t(i), y = uint16_t(-1 - int(i));
            ASSERT_EQ(out[4 * i], x & 0xFF) << "point " << i;
            ASSERT_EQ(out[4 * i + 1], x >> 8) << "point " << i;
            ASSERT_EQ(out[4 * i + 2], y & 0xFF) << "point " << i;
            ASSERT_EQ(out[4 * i + 3], y >> 8) << "point " << i;
        }
        for (size_t i = 4 * c.expected_points; i < out.size(); ++i) {
            ASSERT_EQ(out[i], SENTINEL) << "byte " << i << " written past the points";
        }
        EXPECT_EQ(sim_pending_capture(1), 0u);
    }
}

TEST(CoreEye, KeepsOnlyTheNewestPoints) {
    sim_reset();
    std::vector<EyePoint> points;
    for (int i = 0; i < 5000; ++i) {
        points.push_back(EyePoint{int16_t(i), 0});
    }
    sim_queue_eye(1, points.data(), points.size());
    // 4096 kept: the first one left is point 5000 - 4096 = 904.
    unsigned char out[2048];
    const unsigned char wanted[4] = {0x00, 0x02, 0, 0};  // 512
    uint32_t total = 0;
    uint32_t returned = 0;
    sim_device_control(IOCTL_TARVEL_GET_EYE_1, wanted, 4, out, sizeof out, &returned);
    EXPECT_EQ(returned, 512u);
    EXPECT_EQ(out[0] | (out[1] << 8), 904);
    total += returned;
    do {
        sim_device_control(IOCTL_TARVEL_GET_EYE_1, wanted, 4, out, sizeof out, &returned);
        total += returned;
    } while (returned != 0);
    EXPECT_EQ(total, 4096u);
}

TEST(CoreCapture, BytesDeliveredAreTheSmallestLimit) {
    struct Case {
        const char *description;
        size_t pending;
        bool has_input;
        uint32_t index;
        uint32_t out_size;
        uint32_t fault_count;
        uint32_t expected_count;
        uint32_t expected_bytes;
    } cases[] = {
        {"all of a small amount", 1000, true, 0, 524288, 0, 1000, 1000},
        {"limited by the buffer", 1000, true, 0, 300, 0, 300, 300},
        {"at most 524288 per call", 600000, true, 0, 700000, 0, 524288, 524288},
        {"nothing pending", 0, true, 0, 524288, 0, 0, 0},
        {"index 1 reads modem 2", 1000, true, 1, 524288, 0, 1000, 1000},
        {"index 2 is refused", 1000, true, 2, 524288, 0, 0, 0},
        {"index 0xFFFFFFFF is refused", 1000, true, 0xFFFFFFFF, 524288, 0, 0, 0},
        {"no input word", 1000, false, 0, 524288, 0, 0, 0},
        {"fault above the buffer, bytes still bounded", 50, true, 0, 100, 999999, 999999, 50},
        {"fault with a short buffer", 500, true, 0, 100, 999999, 999999, 100},
        {"fault does not lie with nothing pending", 0, true, 0, 524288, 999999, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        sim_reset();
        const int modem = c.index == 1 ? 2 : 1;
        std::vector<unsigned char> data(c.pending);
        for (size_t i = 0; i < data.size(); ++i) {
            data[i] = (unsigned char)(i * 7 + 3);
        }
        sim_queue_capture(modem, data.data(), data.size());
        SimFaults faults = {};
        faults.capture_count = c.fault_count;
        sim_set_faults(faults);
        std::vector<unsigned char> out(720000, SENTINEL);
        const unsigned char input[4] = {(unsigned char)c.index, (unsigned char)(c.index >> 8),
                                        (unsigned char)(c.index >> 16), (unsigned char)(c.index >> 24)};
        uint32_t returned = 12345;
        sim_device_control(IOCTL_TARVEL_READ_CAPTURE, c.has_input ? input : nullptr, c.has_input ? 4 : 0,
                           out.data(), c.out_size, &returned);
        EXPECT_EQ(returned, c.expected_count);
        if (c.expected_bytes != 0) {
            EXPECT_EQ(memcmp(out.data(), data.data(), c.expected_bytes), 0);
        }
        for (size_t i = c.expected_bytes; i < out.size(); ++i) {
            ASSERT_EQ(out[i], SENTINEL) << "byte " << i << " written past the data";
        }
        EXPECT_EQ(sim_pending_capture(modem), c.pending - c.expected_bytes);
    }
}

TEST(CoreCapture, BytesAndFillRunsKeepTheirOrder) {
    sim_reset();
    const unsigned char head[3] = {0x01, 0x02, 0x03};
    const unsigned char tail[1] = {0x04};
    sim_queue_capture(1, head, 3);
    sim_queue_capture_fill(1, 4, 0xFF);
    sim_queue_capture(1, tail, 1);
    EXPECT_EQ(sim_pending_capture(1), 8u);
    const unsigned char expected[3][3] = {{0x01, 0x02, 0x03}, {0xFF, 0xFF, 0xFF}, {0xFF, 0x04, SENTINEL}};
    const uint32_t counts[3] = {3, 3, 2};
    const unsigned char index0[4] = {0, 0, 0, 0};
    for (int call = 0; call < 3; ++call) {
        SCOPED_TRACE("read " + std::to_string(call));
        unsigned char out[3] = {SENTINEL, SENTINEL, SENTINEL};
        uint32_t returned = 0;
        sim_device_control(IOCTL_TARVEL_READ_CAPTURE, index0, 4, out, 3, &returned);
        EXPECT_EQ(returned, counts[call]);
        EXPECT_EQ(memcmp(out, expected[call], 3), 0);
    }
}

TEST(CoreCapture, TwentyMebibyteFillComesOutWhole) {
    sim_reset();
    sim_queue_capture_fill(1, 20971520, 0x5A);
    EXPECT_EQ(sim_pending_capture(1), 20971520u);
    std::vector<unsigned char> out(CAPTURE_BUFFER_SIZE);
    const unsigned char index0[4] = {0, 0, 0, 0};
    int full_chunks = 0;
    uint32_t returned = 0;
    for (;;) {
        sim_device_control(IOCTL_TARVEL_READ_CAPTURE, index0, 4, out.data(), CAPTURE_BUFFER_SIZE, &returned);
        if (returned == 0) {
            break;
        }
        ASSERT_EQ(returned, CAPTURE_BUFFER_SIZE);
        ASSERT_EQ(out[0], 0x5A);
        ASSERT_EQ(out[CAPTURE_BUFFER_SIZE - 1], 0x5A);
        ++full_chunks;
    }
    EXPECT_EQ(full_chunks, 40);  // 20971520 / 524288
}

TEST(CoreCallLog, OneLinePerCall) {
    sim_reset();
    sim_queue_record(numbered_record(1));
    const unsigned char one[4] = {1, 0, 0, 0};
    const unsigned char two[4] = {2, 0, 0, 0};
    const unsigned char want[4] = {0x00, 0x02, 0x00, 0x00};
    unsigned char out[2048];
    uint32_t returned = 0;
    sim_device_control(IOCTL_TARVEL_GET_STATUS, nullptr, 0, out, 40, &returned);
    sim_device_control(IOCTL_TARVEL_GET_STATUS, nullptr, 0, out, 40, &returned);
    sim_device_control(IOCTL_TARVEL_GET_EYE_2, want, 4, out, 2048, &returned);
    sim_device_control(IOCTL_TARVEL_READ_CAPTURE, one, 4, out, 2048, &returned);
    sim_device_control(IOCTL_TARVEL_CAPTURE_BEGIN_1, two, 4, nullptr, 0, &returned);
    sim_device_control(IOCTL_TARVEL_CAPTURE_BEGIN_2, two, 4, nullptr, 0, &returned);
    EXPECT_FALSE(sim_device_control(0x1B201C, nullptr, 0, out, 40, &returned));
    EXPECT_STREQ(sim_call_log(),
                 "IOCTL_TARVEL_GET_STATUS - 40\n"
                 "IOCTL_TARVEL_GET_STATUS - 0\n"
                 "IOCTL_TARVEL_GET_EYE_2 512 0\n"
                 "IOCTL_TARVEL_READ_CAPTURE 1 0\n"
                 "IOCTL_TARVEL_CAPTURE_BEGIN_1 2 0\n"
                 "IOCTL_TARVEL_CAPTURE_BEGIN_2 2 0\n"
                 "0x001B201C - 0\n");
    sim_clear_call_log();
    EXPECT_STREQ(sim_call_log(), "");
}

TEST(CoreDevice, OpeningByName) {
    struct Case {
        const char *description;
        const char *driver_name;
        const char *path;
        bool refuse_open;
        uint32_t active;
        bool opens;
    } cases[] = {
        {"default name", "trvlmd", "\\\\.\\trvlmd", false, 0, true},
        {"case does not matter", "trvlmd", "\\\\.\\TRVLMD", false, 1, true},
        {"prefix required", "trvlmd", "trvlmd", false, 1, false},
        {"other name", "trvlmd", "\\\\.\\TRVLM", false, 1, false},
        {"longer name", "abc", "\\\\.\\abcd", false, 1, false},
        {"refused while a modem is active", "trvlmd", "\\\\.\\trvlmd", true, 2, false},
        {"refusal only while active", "trvlmd", "\\\\.\\trvlmd", true, 0, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        sim_reset();
        sim_set_device_name(c.driver_name);
        SimFaults faults = {};
        faults.refuse_open = c.refuse_open;
        sim_set_faults(faults);
        sim_set_active_modems(c.active);
        EXPECT_EQ(sim_open_device(c.path), c.opens);
        EXPECT_EQ(sim_device_open(), c.opens);
        EXPECT_EQ(sim_open_count(), 1u);
    }
    EXPECT_FALSE(sim_open_device(nullptr));
}

TEST(CoreMemory, MappedBytesOnly) {
    sim_reset();
    const unsigned char abc[3] = {'a', 'b', 'c'};
    const unsigned char xy[2] = {'x', 'y'};
    sim_map_memory(0x80001000, abc, 3);
    sim_map_memory(0x80001002, xy, 2);  // overwrites c, extends by one
    sim_map_memory(0xFFFFFFFE, xy, 2);  // the last two addresses
    sim_map_memory(0x80000FFF, abc, 1);  // across a page boundary with the block above
    struct Case {
        const char *description;
        uint32_t address;
        size_t count;
        size_t expected;
        const char *bytes;
    } cases[] = {
        {"whole block", 0x80001000, 4, 4, "abxy"},
        {"stops at the unmapped byte", 0x80001000, 10, 4, "abxy"},
        {"across a page boundary", 0x80000FFF, 3, 3, "aab"},
        {"unmapped address", 0x80002000, 4, 0, ""},
        {"address 0", 0, 4, 0, ""},
        {"end of the address space", 0xFFFFFFFE, 8, 2, "xy"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description);
        unsigned char out[16];
        memset(out, SENTINEL, sizeof out);
        EXPECT_EQ(sim_read_memory(c.address, out, c.count), c.expected);
        EXPECT_EQ(memcmp(out, c.bytes, c.expected), 0);
        EXPECT_EQ(out[c.expected], SENTINEL);
    }
}

TEST(CoreRegistry, ResetWorld) {
    sim_reset();
    uint32_t size = 4;
    unsigned char word[4] = {9, 9, 9, 9};
    ASSERT_TRUE(sim_get_value("SOFTWARE\\Velmora\\Tarvel", "ActiveModems", word, &size));
    EXPECT_EQ(word_at(word), 0u);
    size = 4;
    EXPECT_FALSE(sim_get_value("SOFTWARE\\Ostrand\\Tarvel", "TarvelSetup", word, &size));
    sim_set_active_modems(2);
    size = 4;
    ASSERT_TRUE(sim_get_value("SOFTWARE\\Ostrand\\Tarvel", "ActiveModems", word, &size));
    EXPECT_EQ(word_at(word), 2u);
}

TEST(CoreRegistry, SetupSizeFaultMakesAPatternedValue) {
    sim_reset();
    SimFaults faults = {};
    faults.setup_value_size = 70;
    sim_set_faults(faults);
    for (const char *key : {"SOFTWARE\\Velmora\\Tarvel", "SOFTWARE\\Ostrand\\Tarvel"}) {
        SCOPED_TRACE(key);
        unsigned char value[128];
        uint32_t size = sizeof value;
        ASSERT_TRUE(sim_get_value(key, "TarvelSetup", value, &size));
        ASSERT_EQ(size, 70u);
        EXPECT_EQ(value[0], '@');
        EXPECT_EQ(value[1], 'A');
        EXPECT_EQ(value[63], 0x7F);
        EXPECT_EQ(value[64], '@');
        EXPECT_EQ(value[69], 'E');
    }
}

}  // namespace
