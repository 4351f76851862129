#pragma once

// ImuSample: one IMU sample as the module's input report carries it.

#include <cstdint>
#include <functional>

namespace vesko {

// One IMU reading as the tracking module sends it. Plain value type.
struct ImuSample {
    std::int16_t accel[3] = {0, 0, 0};  // raw accelerometer counts x, y, z
    std::int16_t gyro[3] = {0, 0, 0};   // raw gyroscope counts x, y, z (LSB)
    std::uint32_t timestamp = 0;        // module clock, 48 MHz, wraps modulo 2^32
    std::uint8_t seq = 0;               // sequence counter, wraps 255 -> 0
};

// Called on the reader's thread once per accepted sample, in order.
// The reference is valid only for the duration of the call.
using SampleCallback = std::function<void(const ImuSample&)>;

}  // namespace vesko
