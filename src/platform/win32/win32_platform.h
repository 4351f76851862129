#pragma once

// The Windows backend of the platform seam: SetupAPI for the HID interfaces
// and the headset MCUs, the HID class driver for attributes and serial
// numbers, CfgMgr32 for the device tree, and overlapped file I/O for the
// input reports. Each operation is one system call (or one enumeration)
// translated into the seam's types; every decision stays in the portable code.
//
// This header includes no Windows header, so code that only needs the type
// (a test or a program entry) does not pull <windows.h> in.

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesko::platform::win32 {

class Win32Platform final : public Platform {
public:
    Win32Platform() = default;

    std::optional<std::vector<DevNode>> nodes_under_enumerator(std::u16string_view enumerator) override;
    std::optional<DevNode> parent(DevNode node) override;
    std::optional<std::u16string> device_instance_id(DevNode node) override;
    std::optional<std::u16string> location_paths(DevNode node) override;

    std::optional<std::vector<HidInterfaceDetail>> hid_interfaces() override;
    Handle open_device(std::u16string_view path) override;
    std::optional<HidAttributes> attributes(Handle device) override;
    std::u16string serial_number(Handle device) override;
    void close(Handle handle) override;

    Handle create_event() override;
    void reset_event(Handle event) override;
    void set_event(Handle event) override;
    ReadIssue begin_read(Handle device, Handle event, OverlappedRecord& record, std::uint8_t* buffer,
                         std::uint32_t length) override;
    WaitStatus wait(Handle event, std::uint32_t timeout_ms) override;
    void cancel_read(Handle device, OverlappedRecord& record) override;
    void cancel_all_reads(Handle device) override;
    ReadOutcome read_result(Handle device, OverlappedRecord& record, bool wait_for_end) override;
};

namespace detail {

// The device path held in an interface-detail record that the system filled:
// `record` is the whole buffer of `size` bytes, `path_offset` the offset of
// its path field. The path ends at the first NUL or at the end of the
// buffer, whichever comes first; a buffer too small to hold any of the path
// yields nothing. Kept apart from the system call so it can be tested on
// hand-made buffers.
std::u16string detail_path(const std::byte* record, std::size_t size, std::size_t path_offset);

// The text in a fixed buffer of UTF-16 units filled by the system: the units
// up to the first NUL, or all `units` of them when there is none.
std::u16string text_in_buffer(const char16_t* buffer, std::size_t units);

// The value of a property query that reported `reported_bytes` bytes into a
// buffer of `buffer_units` UTF-16 units: never more than the buffer holds,
// an odd trailing byte dropped.
std::u16string property_value(const char16_t* buffer, std::size_t buffer_units, std::uint32_t reported_bytes);

}  // namespace detail

}  // namespace vesko::platform::win32
