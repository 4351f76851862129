#pragma once

// The module's input report (ID 0x20, three 17-byte sample slots): decoding, and encoding for
// whatever plays the module.

#include <cstddef>
#include <cstdint>

#include "imu/imu_sample.h"

namespace vesko {

// The module's IMU input report: report ID 0x20, then three packed 17-byte
// sample slots, little-endian. Reads ask for 64 bytes; 52 are needed.
inline constexpr std::uint8_t kImuReportId = 0x20;
inline constexpr std::size_t kImuReportMinLength = 52;
inline constexpr std::size_t kImuReportReadLength = 64;
inline constexpr std::size_t kSamplesPerReport = 3;
inline constexpr std::size_t kSampleSlotSize = 17;

// Decodes one completed read into out[0..2] in slot order. Returns false for
// a bad report (shorter than 52 bytes or another report ID); `out` is then
// left untouched.
bool decode_input_report(const std::uint8_t* data, std::size_t length, ImuSample out[kSamplesPerReport]);

// Writes one sample into a 17-byte slot; the inverse of the decoding, used by
// anything that plays the module.
void encode_sample_slot(const ImuSample& sample, std::uint8_t* slot);

}  // namespace vesko
