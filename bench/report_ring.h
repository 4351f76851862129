#pragma once

// A ring of input reports as the module sends them, for the benchmarks that
// feed the reader.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imu/input_report.h"

namespace vesko::bench {

// 256 reports of three samples carry the sequence counter once round its
// 8-bit wrap, so the ring can be played again and again and the sequence
// filter accepts every sample. Samples are 1 ms apart on the 48 MHz clock;
// the timestamp jumps back once per pass of the ring.
inline constexpr std::size_t kRingReports = 256;

using ReportBytes = std::array<std::uint8_t, kImuReportReadLength>;

const std::vector<ReportBytes>& report_ring();

}  // namespace vesko::bench
