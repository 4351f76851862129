#include "console/bias_capture.h"

#include <cmath>
#include <cstdio>

#include "console/console_texts.h"

namespace vesko {

BiasFigures bias_figures(const double sum[3], const double sum_sq[3], unsigned long long n) {
    BiasFigures f;
    f.count = n;
    if (n == 0) return f;
    const double count = static_cast<double>(n);
    for (int i = 0; i < 3; ++i) {
        f.mean[i] = sum[i] / count;
        f.sd[i] = std::sqrt(sum_sq[i] / count - f.mean[i] * f.mean[i]);
    }
    return f;
}

std::optional<std::array<double, 3>> capture_bias(CalAccumulator& acc, const ConsoleIo& io) {
    const TextSink out = io.streams.out;
    out.write(texts::kBiasCapture);
    out.flush();
    {
        std::lock_guard<std::mutex> lock(acc.mutex);
        for (int i = 0; i < 3; ++i) acc.sum[i] = acc.sum_sq[i] = 0;
        acc.bias_count = 0;
        acc.phase = Bias;
    }
    io.sleep(std::chrono::milliseconds(2000));
    BiasFigures f;
    {
        std::lock_guard<std::mutex> lock(acc.mutex);
        acc.phase = Idle;
        f = bias_figures(acc.sum, acc.sum_sq, acc.bias_count);
    }
    if (interrupted(io)) return std::nullopt;  // cut short: no figures to judge
    if (f.count < kMinBiasSamples) {
        out.print(texts::kBiasStarved, f.count);
        return std::nullopt;
    }
    out.print(texts::kBiasFigures, f.mean[0], f.mean[1], f.mean[2], f.sd[0], f.sd[1], f.sd[2], f.count);
    return f.mean;
}

}  // namespace vesko
