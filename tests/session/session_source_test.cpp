// A session played as a driver: what each call of a program delivers, step
// by step. Each case runs a string of calls and compares what they gave:
//   S  a status call: the record's code, or "-" for none
//   Tn the program sleeps n ms
//   A  ActiveModems: "aN"
//   E1 E2  an eye call of modem 1 or 2 (512 wanted): "eCOUNT:x,y" of its first point
//   M  two bytes of memory at 0x1000: "mGOT"
//   W  a TarvelSetup write: "w1" when taken, "w0" refused
//   C  a capture read and a capture start: "cRETURNED"
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driverlink/ioctl.h"
#include "session/session_source.h"
#include "trace/trace.h"

namespace {

std::string play_calls(const char *trace_text, const char *calls) {
    FILE *input = std::tmpfile();
    std::fputs(trace_text, input);
    std::rewind(input);
    std::vector<TraceDirective> trace;
    EXPECT_TRUE(read_trace(input, "case", &trace));
    std::fclose(input);
    SessionDriverSource source;
    source.play(trace);
    const PlatformHandle device = source.open_device("\\\\.\\trvlmd");
    const PlatformHandle key = source.open_key("SOFTWARE\\Velmora\\Tarvel", REGISTRY_QUERY | REGISTRY_SET);
    std::string result;
    for (const char *c = calls; *c != '\0'; ++c) {
        if (!result.empty() && *c != 'T') result += ' ';
        uint32_t returned = 0;
        switch (*c) {
        case 'S': {
            unsigned char bytes[STATUS_RECORD_BYTES];
            source.device_control(device, IOCTL_TARVEL_GET_STATUS, nullptr, 0, bytes, sizeof bytes, &returned);
            result += returned == STATUS_RECORD_BYTES ? std::to_string(status_record_from_bytes(bytes).code) : "-";
            break;
        }
        case 'T': {
            char *end = nullptr;
            source.sleep(unsigned(std::strtoul(c + 1, &end, 10)));
            c = end - 1;
            break;
        }
        case 'A': {
            unsigned char value[4] = {};
            uint32_t size = sizeof value;
            EXPECT_EQ(source.read_value(key, "ActiveModems", value, &size), VALUE_READ);
            result += "a" + std::to_string(value[0]);
            break;
        }
        case 'E': {
            const uint32_t wanted = 512;
            unsigned char points[512 * 4] = {};
            ++c;
            source.device_control(device, *c == '1' ? IOCTL_TARVEL_GET_EYE_1 : IOCTL_TARVEL_GET_EYE_2, &wanted,
                                  sizeof wanted, points, sizeof points, &returned);
            result += "e" + std::to_string(returned) + ":" + std::to_string(int16_t(points[0] | points[1] << 8)) +
                      "," + std::to_string(int16_t(points[2] | points[3] << 8));
            break;
        }
        case 'M': {
            unsigned char bytes[2];
            result += "m" + std::to_string(source.read_memory(0x1000, bytes, 2));
            break;
        }
        case 'W': {
            const unsigned char flag[4] = {1, 0, 0, 0};
            result += source.write_value(key, "TarvelSetup", flag, 4) ? "w1" : "w0";
            break;
        }
        case 'C': {
            unsigned char data[64];
            uint32_t begun = 7;
            const uint32_t modem = 1;
            source.device_control(device, IOCTL_TARVEL_READ_CAPTURE, &modem, 4, data, sizeof data, &returned);
            source.device_control(device, IOCTL_TARVEL_CAPTURE_BEGIN_1, &modem, 4, nullptr, 0, &begun);
            result += "c" + std::to_string(returned + begun);
            break;
        }
        }
    }
    return result;
}

TEST(SessionSourceTest, EachCallDeliversWhatTheSessionHeldAtThatTime) {
    const struct {
        const char *name;
        const char *trace;
        const char *calls;
        const char *expected;
    } cases[] = {
        {"records wait for the time of their tick", "active 1\nrec 1 13\nwait 100\nrec 1 14\nrec 1 15\n",
         "SST99ST1SSS", "13 - - 14 15 -"},
        {"the other tick's records come in a drain of their own",
         "session 2026-12-08T17:46:16.123Z \"t\"\nactive 2\nfetch 1\nrec 1 13\nfetch 2\nrec 2 14\nrec 2 15\n"
         "wait 100\nfetch 1\nrec 1 16\n",
         "SSSSST100S", "13 - 14 15 - 16"},
        {"memory as the session defined it before the record, unreadable where it failed",
         "mem 0x1000 41 42\nrec 1 13\nunreadable 0x1001 1\nrec 1 14\n", "SMSM", "13 m2 14 m1"},
        {"active modems change with time", "active 2\nwait 100\nactive 0\n", "AT50AT50A", "a2 a2 a0"},
        {"eye points once, the latest of each modem",
         "active 2\neyehex 1 0100feff\neyehex 1 e80318fc\neyehex 2 02000300\n", "E1E1E2", "e1:1000,-1000 e0:0,0 e1:2,3"},
        {"nothing is written and no capture data comes", "active 1\ncap 1 41 42 43\n", "WC", "w0 c0"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(play_calls(c.trace, c.calls), c.expected);
    }
}

}  // namespace
