#include "discovery/open_imu_device.h"

#include <cstdio>
#include <vector>

#include "discovery/device_tree.h"
#include "discovery/imu_candidate.h"
#include "discovery/product_ids.h"
#include "platform/device_text.h"
#include "text/em_dash.h"

namespace vesko {

using platform::ascii_lower;
using platform::to_utf8;
using platform::up_to_nul;
namespace {

using platform::Handle;

constexpr std::u16string_view kFirstInterface = u"&mi_00";

// Only interface 00 carries the IMU stream; the other interfaces of the
// module are never opened.
bool is_first_interface(std::u16string_view path) {
    return ascii_lower(path).find(kFirstInterface) != std::u16string::npos;
}

// Opens one interface and turns it into a candidate, or closes what it opened
// and returns nothing.
std::optional<ImuCandidate> probe_interface(platform::Platform& platform, const platform::HidInterfaceDetail& detail,
                                            const std::vector<std::u16string>& mcu_locations) {
    if (!detail.ok) return std::nullopt;
    const std::u16string_view path = up_to_nul(detail.path);
    if (!is_first_interface(path)) return std::nullopt;

    const Handle handle = platform.open_device(path);
    if (handle == platform::kInvalidHandle) return std::nullopt;

    const auto attributes = platform.attributes(handle);
    if (!attributes || attributes->vendor_id != kModuleVendorId || attributes->product_id != kModuleProductId) {
        platform.close(handle);
        return std::nullopt;
    }

    const std::u16string serial_buffer = platform.serial_number(handle);
    const std::u16string_view filled = std::u16string_view(serial_buffer).substr(0, platform::kSerialNumberUnits);

    ImuCandidate candidate;
    candidate.handle = handle;
    candidate.serial = std::u16string(up_to_nul(filled));
    candidate.paired = is_mcu_paired(platform, detail.node, mcu_locations);
    return candidate;
}

void print_cannot_pick(const std::vector<ImuCandidate>& candidates, std::size_t paired_count, bool no_mcu,
                       TextSink err) {
    err.print("VantisImu: cannot pick among %zu Gantrell device(s) (%zu MCU-paired%s) " ROTABENCH_EM_DASH
              " is the Telvar attached? Or pass its KVR serial:\n",
              candidates.size(), paired_count, no_mcu ? ", no Telvar MCU on the bus" : "");
    for (const auto& c : candidates) {
        err.print("  %s%s\n", to_utf8(c.serial).c_str(), c.paired ? "  [shares hub with Telvar MCU]" : "");
    }
}

}  // namespace

Handle open_imu_device(platform::Platform& platform, std::u16string_view requested_serial, std::u16string* out_serial,
                       bool verbose, const OutputStreams& streams) {
    const auto interfaces = platform.hid_interfaces();
    if (!interfaces) return platform::kInvalidHandle;

    const std::vector<std::u16string> mcu_locations = collect_mcu_locations(platform);

    std::vector<ImuCandidate> candidates;
    for (const auto& detail : *interfaces) {
        if (auto candidate = probe_interface(platform, detail, mcu_locations)) {
            candidates.push_back(std::move(*candidate));
        }
    }

    std::size_t paired_count = 0;
    for (const auto& c : candidates) paired_count += c.paired ? 1 : 0;
    if (verbose) {
        streams.out.print("VantisImu: %zu Gantrell device(s), %zu MCU-paired\n", candidates.size(), paired_count);
    }

    const auto chosen = choose_candidate(candidates, requested_serial);
    Handle result = platform::kInvalidHandle;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (chosen && *chosen == i) {
            result = candidates[i].handle;
            if (out_serial != nullptr) *out_serial = candidates[i].serial;
        } else {
            platform.close(candidates[i].handle);
        }
    }

    if (verbose && !chosen && !candidates.empty()) {
        print_cannot_pick(candidates, paired_count, mcu_locations.empty(), streams.err);
    }
    return result;
}

void report_denied_modules(platform::Platform& platform, TextSink err) {
    for (const platform::DeniedInterface& denied : platform.denied_interfaces()) {
        if (!is_first_interface(up_to_nul(denied.path)) || denied.attributes.vendor_id != kModuleVendorId ||
            denied.attributes.product_id != kModuleProductId) {
            continue;
        }
        const std::string serial = to_utf8(up_to_nul(denied.serial));
        err.print("VantisImu: no permission to open %s (%s%s) " ROTABENCH_EM_DASH
                  " install the udev rule "
                  "70-rotabench.rules, see docs/linux.md\n",
                  denied.node.c_str(), serial.empty() ? "a module without a serial" : "module ", serial.c_str());
    }
}

}  // namespace vesko
