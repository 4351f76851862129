#pragma once

// The platform seam and its contract. Discovery and the stream reader are
// written once against this interface; each backend (win32, linux, sim) only
// translates its own system's calls into these operations and decides
// nothing.
//
// The model is the Windows one on every platform: a device tree of nodes with
// instance IDs ("USB\VID_28DE&PID_2300\...") and location paths
// ("...#USB(2)#USB(3)"), a list of HID interfaces with device paths, open
// handles with one overlapped read at a time. Time and threads are the
// clock's (clock.h).
//
// The contract, for every backend:
//
// Threads. Every operation may be called from any thread. Operations on one
// device handle come from one thread at a time, with one exception: the
// stream reader's owner calls cancel_all_reads() while the reader thread
// waits on that handle's read (never while it issues a read on it or closes
// it). An event handle is waited on by one thread at a time.
//
// Blocking. Only wait() (up to its time-out, measured on the monotonic
// clock, or until its event is set) and read_result() with wait_for_end
// (until the cancelled read has ended, which a cancel makes prompt) block.
// The device-tree and HID queries take as long as the system takes to answer
// and do not wait for devices. Nothing else blocks.
//
// Failures are results, never exceptions: an empty optional, kInvalidHandle
// or kNoHandle, a zero-filled serial buffer, or a read that failed with an
// error code of the list below. Misuse is answered, not undefined:
//   - a handle that is unknown or already closed: begin_read() fails with
//     kErrorInvalidHandle, read_result() fails with kErrorInvalidHandle,
//     attributes() is empty, serial_number() all zero, wait() returns
//     Finished at once, cancel_read(), cancel_all_reads(), reset_event(),
//     set_event() and close() do nothing;
//   - a second read on a handle that has one in flight: begin_read() fails
//     with kErrorBusy and the read in flight goes on;
//   - read_result() for a record that has no read in flight on that handle:
//     kErrorInvalidParameter; for a read still going on (without
//     wait_for_end): kErrorIoIncomplete, and the read goes on;
//   - a handle closed while a wait on its read runs: the read ends as
//     cancelled (kErrorOperationAborted) and the wait returns Finished.
// On Windows the system answers misuse itself, with its own codes where they
// differ (it does not refuse a second overlapped read, for instance); the
// portable code never relies on a misuse answer.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesko::platform {

// An open file or event handle, opaque to the portable code.
using Handle = std::uintptr_t;

// "No device": what discovery returns when it chose no module, and what
// open_device() returns on failure (Windows' INVALID_HANDLE_VALUE, all bits set).
inline constexpr Handle kInvalidHandle = ~Handle{0};

// "None": the reader's empty device and event fields, and create_event()'s
// failure value.
inline constexpr Handle kNoHandle = 0;

// A node of the device tree (Windows' DEVINST).
using DevNode = std::uint32_t;

// Error codes, in the Windows numbering on every backend (a backend turns its
// own system's failures into these); the reader prints them as unsigned
// decimals. This is the one list.
inline constexpr std::uint32_t kErrorAccessDenied = 5;   // not allowed to open the device
inline constexpr std::uint32_t kErrorInvalidHandle = 6;  // unknown or closed handle
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorGenFailure = 31;            // the device failed the read
inline constexpr std::uint32_t kErrorInvalidParameter = 87;      // no such read, or a bad buffer
inline constexpr std::uint32_t kErrorBusy = 170;                 // a read is already in flight
inline constexpr std::uint32_t kErrorOperationAborted = 995;     // a cancelled read
inline constexpr std::uint32_t kErrorIoIncomplete = 996;         // the read has not finished yet
inline constexpr std::uint32_t kErrorIoPending = 997;            // the read goes on
inline constexpr std::uint32_t kErrorNoAccess = 998;             // the buffer cannot be written
inline constexpr std::uint32_t kErrorDeviceNotConnected = 1167;  // the device left the bus

// Buffer sizes in UTF-16 units that the platform queries fill.
inline constexpr std::size_t kDeviceIdUnits = 200;       // device instance ID, NUL included
inline constexpr std::size_t kLocationPathsUnits = 512;  // location-paths property, 1024 bytes
inline constexpr std::size_t kSerialNumberUnits = 128;   // HID serial string, 256 bytes

struct HidAttributes {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint16_t version_number = 0;
};

// One member of the present HID interfaces, as its detail read left it.
struct HidInterfaceDetail {
    bool ok = false;      // the detail read succeeded; otherwise skip it
    std::u16string path;  // device path units as read; the text ends at the first NUL, if any
    DevNode node = 0;     // device node of the interface's device
};

// A HID interface the system lists but will not let this process open, and
// what the system tells of its device without opening it.
struct DeniedInterface {
    std::u16string path;  // device path, as hid_interfaces() gives it
    std::string node;     // where the operator finds it (on Linux, /dev/hidrawN)
    HidAttributes attributes;
    std::u16string serial;  // empty when the system does not tell
};

// The record of one overlapped read. Owned by the reader thread for the life
// of the read; the backend keeps in it whatever it needs (Windows: OVERLAPPED).
struct alignas(16) OverlappedRecord {
    std::byte storage[64] = {};
};

enum class ReadStatus {
    Completed,  // finished at once; `bytes` holds the length
    Pending,    // goes on and will signal the event (ERROR_IO_PENDING)
    Failed,     // failed at once; `error` holds the code
};

struct ReadIssue {
    ReadStatus status = ReadStatus::Failed;
    std::uint32_t bytes = 0;
    std::uint32_t error = 0;
};

enum class WaitStatus {
    TimedOut,  // WAIT_TIMEOUT: the read did not finish within the wait
    Finished,  // anything else: the read finished, well or badly
};

struct ReadOutcome {
    bool ok = false;  // the read completed; `bytes` holds the length
    std::uint32_t bytes = 0;
    std::uint32_t error = 0;  // the failure code when !ok
};

class Platform {
public:
    Platform() = default;
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;
    virtual ~Platform() = default;

    // --- device tree -------------------------------------------------------

    // The present device nodes whose instance IDs lie under `enumerator`
    // (e.g. "USB\VID_35BD&PID_0101"), in the platform's order; nullopt when
    // the set cannot be built.
    virtual std::optional<std::vector<DevNode>> nodes_under_enumerator(std::u16string_view enumerator) = 0;

    // The parent of `node`; nullopt at the root or on any failure.
    virtual std::optional<DevNode> parent(DevNode node) = 0;

    // The node's device instance ID as the 200-unit query left it: at most
    // kDeviceIdUnits units, normally NUL-terminated (the caller stops at the
    // first NUL and copes with none). nullopt on failure.
    virtual std::optional<std::u16string> device_instance_id(DevNode node) = 0;

    // The node's location-paths property value (a list of NUL-terminated
    // texts) as the 1024-byte query left it: at most kLocationPathsUnits
    // units. nullopt when there is none or it does not fit.
    virtual std::optional<std::u16string> location_paths(DevNode node) = 0;

    // --- HID interfaces and handles -----------------------------------------

    // The present HID interfaces in enumeration order; nullopt when the set
    // cannot be built.
    virtual std::optional<std::vector<HidInterfaceDetail>> hid_interfaces() = 0;

    // Opens a device path for overlapped reading and writing, shared.
    // kInvalidHandle on failure.
    virtual Handle open_device(std::u16string_view path) = 0;

    // Vendor and product of an open HID handle; nullopt on failure.
    virtual std::optional<HidAttributes> attributes(Handle device) = 0;

    // The serial-number buffer as the 256-byte query left it: exactly
    // kSerialNumberUnits units, zero-filled first, so all zero on failure and
    // possibly without any NUL.
    virtual std::u16string serial_number(Handle device) = 0;

    // Closes a device or event handle.
    virtual void close(Handle handle) = 0;

    // The present HID interfaces this process may not open for lack of
    // permission, for telling the operator why a device was passed over.
    // Empty where opening a HID device asks no permission (Windows) or the
    // system cannot tell. Does not block; any thread.
    virtual std::vector<DeniedInterface> denied_interfaces() { return {}; }

    // --- overlapped reads ---------------------------------------------------

    // A manual-reset event, not signalled; kNoHandle on failure.
    virtual Handle create_event() = 0;
    virtual void reset_event(Handle event) = 0;

    // Issues one read of up to `length` bytes into `buffer`, signalling
    // `event` when it finishes. One read per handle at a time. Reader thread.
    virtual ReadIssue begin_read(Handle device, Handle event, OverlappedRecord& record, std::uint8_t* buffer,
                                 std::uint32_t length) = 0;

    // Waits up to `timeout_ms` for `event`. Reader thread.
    virtual WaitStatus wait(Handle event, std::uint32_t timeout_ms) = 0;

    // Cancels the read of `record` (after a time-out). Reader thread.
    virtual void cancel_read(Handle device, OverlappedRecord& record) = 0;

    // Cancels every pending read on `device`; the reader's wait then returns
    // and the read's result is a failure. The owner's thread, while the reader
    // thread may be waiting.
    virtual void cancel_all_reads(Handle device) = 0;

    // The result of a finished read. With `wait_for_end` true it blocks until
    // a cancelled read has ended (the result is then not examined). Reader thread.
    virtual ReadOutcome read_result(Handle device, OverlappedRecord& record, bool wait_for_end) = 0;

    // Sets `event` (Windows' SetEvent): a wait on it returns. The owner's
    // thread ends the reader's pause between rediscoveries this way, while
    // no read uses the event. Any thread.
    virtual void set_event(Handle event) = 0;
};

}  // namespace vesko::platform
