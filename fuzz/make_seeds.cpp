// Seeds the fuzzers' corpora from scenario traces:
//
//   make_seeds OUT_DIR TRACE...
//
// writes OUT_DIR/decode_status, trace_parser, intake and wire, one seed per
// record (decode_status) or per trace (the others), each in its target's
// input format.
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driverlink/ioctl.h"
#include "simwire/sim_wire.h"
#include "trace/trace.h"

namespace {

using Bytes = std::vector<unsigned char>;

void put_word(Bytes &out, uint32_t word) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<unsigned char>(word >> shift));
    }
}

void put_record(Bytes &out, const StatusRecord &r) {
    const uint32_t words[10] = {r.code,   r.param1, r.param2, r.param3, r.param4,
                                r.param5, r.param6, r.param7, r.param8, r.modem};
    for (uint32_t word : words) {
        put_word(out, word);
    }
}

bool write_seed(const std::string &path, const Bytes &bytes) {
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

void put_request(Bytes &out, uint32_t op, uint32_t code, const Bytes &input, uint32_t output_size) {
    const uint32_t words[5] = {WIRE_MAGIC, op, code, uint32_t(input.size()), output_size};
    for (uint32_t word : words) {
        put_word(out, word);  // the host is little-endian, like the wire here
    }
    out.insert(out.end(), input.begin(), input.end());
}

Bytes word_bytes(uint32_t word) {
    Bytes bytes;
    put_word(bytes, word);
    return bytes;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        fputs("usage: make_seeds OUT_DIR TRACE...\n", stderr);
        return 2;
    }
    const std::string out = argv[1];
    const char *targets[] = {"decode_status", "trace_parser", "intake", "wire"};
    mkdir(out.c_str(), 0700);
    for (const char *target : targets) {
        mkdir((out + "/" + target).c_str(), 0700);
    }
    int seeds = 0;
    for (int t = 2; t < argc; ++t) {
        std::vector<TraceDirective> trace;
        if (!read_trace_file(argv[t], &trace)) {
            return 1;
        }
        const std::string stem = std::to_string(t - 1);
        Bytes whole;
        if (FILE *file = fopen(argv[t], "rb")) {
            int c;
            while ((c = getc(file)) != EOF && whole.size() < 16384) {
                whole.push_back(static_cast<unsigned char>(c));
            }
            fclose(file);
        }
        bool ok = write_seed(out + "/trace_parser/" + stem, whole);

        Bytes intake;
        Bytes wire;
        put_request(wire, WIRE_OPEN, 0, Bytes{'t', 'r', 'v', 'l', 'm', 'd'}, 0);
        std::vector<const TraceDirective *> blocks;  // mem and str so far
        int record_number = 0;
        for (const TraceDirective &d : trace) {
            switch (d.op) {
            case TRACE_REC: {
                Bytes seed;
                put_record(seed, d.record);
                const uint32_t params[8] = {d.record.param1, d.record.param2, d.record.param3,
                                            d.record.param4, d.record.param5, d.record.param6,
                                            d.record.param7, d.record.param8};
                const TraceDirective *block = nullptr;
                for (auto it = blocks.rbegin(); it != blocks.rend() && block == nullptr; ++it) {
                    for (uint32_t param : params) {
                        if (param != 0 && param == (*it)->address) {
                            block = *it;
                        }
                    }
                }
                put_word(seed, block != nullptr ? block->address : 0);
                if (block != nullptr) {
                    seed.insert(seed.end(), block->bytes.begin(), block->bytes.end());
                }
                ok = ok && write_seed(out + "/decode_status/" + stem + "-" +
                                          std::to_string(++record_number), seed);
                intake.push_back(0);
                put_record(intake, d.record);
                intake.push_back(4);
                put_request(wire, WIRE_CONTROL, IOCTL_TARVEL_GET_STATUS, {}, STATUS_RECORD_BYTES);
                break;
            }
            case TRACE_MEM:
            case TRACE_STR: {
                blocks.push_back(&d);
                const size_t length = d.bytes.size() < 255 ? d.bytes.size() : 255;
                intake.push_back(2);
                put_word(intake, d.address);
                intake.push_back(static_cast<unsigned char>(length));
                intake.insert(intake.end(), d.bytes.begin(), d.bytes.begin() + length);
                put_request(wire, WIRE_READ_MEMORY, d.address, {}, uint32_t(d.bytes.size()));
                break;
            }
            case TRACE_ACTIVE:
                intake.push_back(1);
                put_word(intake, d.value);
                intake.push_back(5);
                break;
            case TRACE_CAP:
            case TRACE_CAP_FILL: {
                const size_t count = d.op == TRACE_CAP ? d.bytes.size() : d.value;
                intake.push_back(3);
                intake.push_back(static_cast<unsigned char>(d.modem - 1));
                intake.push_back(static_cast<unsigned char>(count > 0xFFFF ? 0xFF : count));
                intake.push_back(static_cast<unsigned char>(count > 0xFFFF ? 0xFF : count >> 8));
                intake.push_back(d.op == TRACE_CAP && !d.bytes.empty() ? d.bytes[0] : d.fill_byte);
                intake.push_back(5);
                put_request(wire, WIRE_CONTROL, IOCTL_TARVEL_READ_CAPTURE, word_bytes(uint32_t(d.modem - 1)),
                            CAPTURE_BUFFER_SIZE);
                break;
            }
            case TRACE_EYE:
                put_request(wire, WIRE_CONTROL, d.modem == 1 ? IOCTL_TARVEL_GET_EYE_1 : IOCTL_TARVEL_GET_EYE_2,
                            word_bytes(EYE_POINTS_WANTED), EYE_POINTS_WANTED * 4);
                break;
            default:
                break;
            }
        }
        ok = ok && write_seed(out + "/intake/" + stem, intake) && write_seed(out + "/wire/" + stem, wire);
        if (!ok) {
            fprintf(stderr, "make_seeds: cannot write the seeds of %s\n", argv[t]);
            return 1;
        }
        seeds += 3 + record_number;
    }
    printf("%d seeds\n", seeds);
    return 0;
}
