#include "imu/input_report.h"

namespace vesko {
namespace {

std::int16_t read_i16(const std::uint8_t* p) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

std::uint32_t read_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void write_u16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

}  // namespace

bool decode_input_report(const std::uint8_t* data, std::size_t length, ImuSample out[kSamplesPerReport]) {
    if (data == nullptr || length < kImuReportMinLength || data[0] != kImuReportId) return false;
    for (std::size_t k = 0; k < kSamplesPerReport; ++k) {
        const std::uint8_t* slot = data + 1 + kSampleSlotSize * k;
        ImuSample& s = out[k];
        for (int i = 0; i < 3; ++i) {
            s.accel[i] = read_i16(slot + 2 * i);
            s.gyro[i] = read_i16(slot + 6 + 2 * i);
        }
        s.timestamp = read_u32(slot + 12);
        s.seq = slot[16];
    }
    return true;
}

void encode_sample_slot(const ImuSample& sample, std::uint8_t* slot) {
    for (int i = 0; i < 3; ++i) {
        write_u16(slot + 2 * i, static_cast<std::uint16_t>(sample.accel[i]));
        write_u16(slot + 6 + 2 * i, static_cast<std::uint16_t>(sample.gyro[i]));
    }
    write_u16(slot + 12, static_cast<std::uint16_t>(sample.timestamp));
    write_u16(slot + 14, static_cast<std::uint16_t>(sample.timestamp >> 16));
    slot[16] = sample.seq;
}

}  // namespace vesko
