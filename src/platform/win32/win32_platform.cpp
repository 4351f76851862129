#include "platform/win32/win32_platform.h"

#include "platform/clock.h"
#include "platform/device_text.h"
#include "platform/native_platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cfgmgr32.h>
#include <devpropdef.h>
#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

namespace vesko::platform::win32 {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 units are wchar_t on Windows");
static_assert(sizeof(HANDLE) == sizeof(Handle), "a Handle holds a HANDLE");
static_assert(sizeof(DEVINST) == sizeof(DevNode), "a DevNode holds a DEVINST");

// The OVERLAPPED of a read lives in the caller's record for the life of the read.
static_assert(sizeof(OVERLAPPED) <= sizeof(OverlappedRecord::storage), "OVERLAPPED fits the record");
static_assert(alignof(OVERLAPPED) <= alignof(OverlappedRecord), "the record is aligned for OVERLAPPED");

// The sizes the system checks in cbSize / Size. On x64 both SetupAPI records
// are 32 bytes, the detail header 8 (a DWORD and one WCHAR, padded), and the
// HID attributes 12; on 32-bit Windows they are 28, 28, 6 and 12.
#if defined(_WIN64)
static_assert(sizeof(SP_DEVINFO_DATA) == 32, "SP_DEVINFO_DATA is 32 bytes on x64");
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 32, "SP_DEVICE_INTERFACE_DATA is 32 bytes on x64");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) == 8, "the detail header is 8 bytes on x64");
#endif
static_assert(sizeof(HIDD_ATTRIBUTES) == 12, "HIDD_ATTRIBUTES is 12 bytes");

// Device location paths: {A45C254E-DF1C-4EFD-8020-67D146A850E0}, 37. Spelled
// out here so no GUID-definition mode of the SDK headers is needed.
const DEVPROPKEY kLocationPathsKey = {{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}},
                                      37};

constexpr DWORD kHidInterfaceFlags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;  // 0x12
constexpr DWORD kEnumeratorFlags = DIGCF_PRESENT | DIGCF_ALLCLASSES;         // 6
static_assert(kHidInterfaceFlags == 0x12 && kEnumeratorFlags == 6, "SetupAPI flag values");

// No device path is longer than 32767 units; a larger detail size is not believed.
constexpr DWORD kMaxDetailBytes = 4 + 2 * 32768;

HANDLE native(Handle handle) { return reinterpret_cast<HANDLE>(handle); }

Handle from_native(HANDLE handle) { return reinterpret_cast<Handle>(handle); }

// A NUL-terminated copy of a UTF-16 text for the W calls. A NUL inside the
// text ends it there, as it would for the system.
std::wstring to_wide(std::u16string_view text) {
    std::wstring wide(text.size(), L'\0');
    if (!text.empty()) {
        std::memcpy(wide.data(), text.data(), text.size() * sizeof(char16_t));
    }
    return wide;
}

// A device-information set, released when it goes out of scope.
class DeviceInfoSet {
public:
    explicit DeviceInfoSet(HDEVINFO set) : set_(set) {}
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
    ~DeviceInfoSet() {
        if (valid()) {
            SetupDiDestroyDeviceInfoList(set_);
        }
    }
    bool valid() const { return set_ != INVALID_HANDLE_VALUE; }
    HDEVINFO get() const { return set_; }

private:
    HDEVINFO set_;
};

OVERLAPPED* fresh_overlapped(OverlappedRecord& record) {
    return ::new (static_cast<void*>(record.storage)) OVERLAPPED{};
}

OVERLAPPED* overlapped_of(OverlappedRecord& record) {
    return std::launder(reinterpret_cast<OVERLAPPED*>(record.storage));
}

// One interface of the set: its detail (device path and device node).
HidInterfaceDetail read_interface_detail(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interface_data) {
    HidInterfaceDetail detail;

    DWORD required = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &interface_data, nullptr, 0, &required, nullptr);
    // A size that cannot hold the header would have cbSize written past the
    // buffer; such an interface counts as a failed detail read.
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) || required > kMaxDetailBytes) {
        return detail;
    }

    // Zero-filled, with the record's cbSize in its first word. The heap block
    // is aligned for any fundamental type, so for the record too.
    std::vector<std::byte> bytes(required, std::byte{0});
    const DWORD header_size = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    std::memcpy(bytes.data(), &header_size, sizeof(header_size));

    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(SP_DEVINFO_DATA);
    if (!SetupDiGetDeviceInterfaceDetailW(set, &interface_data,
                                          reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(bytes.data()), required,
                                          nullptr, &info)) {
        return detail;
    }

    detail.ok = true;
    detail.path =
        detail::detail_path(bytes.data(), bytes.size(), offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath));
    detail.node = info.DevInst;
    return detail;
}

}  // namespace

namespace detail {

std::u16string text_in_buffer(const char16_t* buffer, std::size_t units) {
    return std::u16string(up_to_nul(std::u16string_view(buffer, units)));
}

std::u16string detail_path(const std::byte* record, std::size_t size, std::size_t path_offset) {
    if (size <= path_offset) {
        return {};
    }
    const std::size_t units = (size - path_offset) / sizeof(char16_t);
    // Copied out unit by unit: the path field need not be aligned for char16_t.
    std::u16string path(units, u'\0');
    if (units != 0) {
        std::memcpy(path.data(), record + path_offset, units * sizeof(char16_t));
    }
    path.resize(std::find(path.begin(), path.end(), u'\0') - path.begin());
    return path;
}

std::u16string property_value(const char16_t* buffer, std::size_t buffer_units, std::uint32_t reported_bytes) {
    const std::size_t units = std::min<std::size_t>(reported_bytes / sizeof(char16_t), buffer_units);
    return std::u16string(buffer, units);
}

}  // namespace detail

// --- device tree -------------------------------------------------------------

std::optional<std::vector<DevNode>> Win32Platform::nodes_under_enumerator(std::u16string_view enumerator) {
    const std::wstring wide = to_wide(enumerator);
    DeviceInfoSet set(SetupDiGetClassDevsW(nullptr, wide.c_str(), nullptr, kEnumeratorFlags));
    if (!set.valid()) {
        return std::nullopt;
    }
    std::vector<DevNode> nodes;
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA info{};
        info.cbSize = sizeof(SP_DEVINFO_DATA);
        if (!SetupDiEnumDeviceInfo(set.get(), index, &info)) {
            break;
        }
        nodes.push_back(info.DevInst);
    }
    return nodes;
}

std::optional<DevNode> Win32Platform::parent(DevNode node) {
    DEVINST up = 0;
    if (CM_Get_Parent(&up, node, 0) != CR_SUCCESS) {
        return std::nullopt;
    }
    return up;
}

std::optional<std::u16string> Win32Platform::device_instance_id(DevNode node) {
    // The buffers the system fills are char16_t, handed over as WCHAR (the
    // same 16-bit units), so this code reads them only as their own type.
    char16_t buffer[kDeviceIdUnits] = {};
    if (CM_Get_Device_IDW(node, reinterpret_cast<PWCHAR>(buffer), static_cast<ULONG>(kDeviceIdUnits), 0) !=
        CR_SUCCESS) {
        return std::nullopt;
    }
    // An ID of exactly 200 units leaves no NUL; the text then ends with the buffer.
    return detail::text_in_buffer(buffer, kDeviceIdUnits);
}

std::optional<std::u16string> Win32Platform::location_paths(DevNode node) {
    char16_t buffer[kLocationPathsUnits] = {};
    DEVPROPTYPE type = 0;  // not examined
    ULONG size = static_cast<ULONG>(sizeof(buffer));
    if (CM_Get_DevNode_PropertyW(node, &kLocationPathsKey, &type, reinterpret_cast<PBYTE>(buffer), &size, 0) !=
        CR_SUCCESS) {
        return std::nullopt;
    }
    return detail::property_value(buffer, kLocationPathsUnits, size);
}

// --- HID interfaces and handles ------------------------------------------------

std::optional<std::vector<HidInterfaceDetail>> Win32Platform::hid_interfaces() {
    GUID hid_guid{};
    HidD_GetHidGuid(&hid_guid);
    DeviceInfoSet set(SetupDiGetClassDevsW(&hid_guid, nullptr, nullptr, kHidInterfaceFlags));
    if (!set.valid()) {
        return std::nullopt;
    }
    std::vector<HidInterfaceDetail> interfaces;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interface_data{};
        interface_data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
        if (!SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hid_guid, index, &interface_data)) {
            break;
        }
        interfaces.push_back(read_interface_detail(set.get(), interface_data));
    }
    return interfaces;
}

Handle Win32Platform::open_device(std::u16string_view path) {
    const std::wstring wide = to_wide(path);
    HANDLE handle = CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        return kInvalidHandle;
    }
    return from_native(handle);
}

std::optional<HidAttributes> Win32Platform::attributes(Handle device) {
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(HIDD_ATTRIBUTES);
    if (!HidD_GetAttributes(native(device), &attributes)) {
        return std::nullopt;
    }
    HidAttributes result;
    result.vendor_id = attributes.VendorID;
    result.product_id = attributes.ProductID;
    result.version_number = attributes.VersionNumber;
    return result;
}

std::u16string Win32Platform::serial_number(Handle device) {
    char16_t buffer[kSerialNumberUnits] = {};
    HidD_GetSerialNumberString(native(device), buffer, static_cast<ULONG>(sizeof(buffer)));
    // All 128 units, NUL or not: the caller finds the end of the text.
    return std::u16string(buffer, kSerialNumberUnits);
}

void Win32Platform::close(Handle handle) {
    if (handle == kNoHandle || handle == kInvalidHandle) {
        return;  // nothing was opened; INVALID_HANDLE_VALUE is also the current process
    }
    CloseHandle(native(handle));
}

// --- overlapped reads ------------------------------------------------------------

Handle Win32Platform::create_event() {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event == nullptr ? kNoHandle : from_native(event);
}

void Win32Platform::reset_event(Handle event) { ResetEvent(native(event)); }

void Win32Platform::set_event(Handle event) { SetEvent(native(event)); }

ReadIssue Win32Platform::begin_read(Handle device, Handle event, OverlappedRecord& record, std::uint8_t* buffer,
                                    std::uint32_t length) {
    OVERLAPPED* overlapped = fresh_overlapped(record);
    overlapped->hEvent = native(event);

    DWORD bytes = 0;
    ReadIssue issue;
    if (ReadFile(native(device), buffer, length, &bytes, overlapped)) {
        issue.status = ReadStatus::Completed;
        issue.bytes = bytes;
        return issue;
    }
    const DWORD error = GetLastError();
    issue.status = error == ERROR_IO_PENDING ? ReadStatus::Pending : ReadStatus::Failed;
    issue.error = error;
    return issue;
}

WaitStatus Win32Platform::wait(Handle event, std::uint32_t timeout_ms) {
    if (timeout_ms == INFINITE) {
        return WaitForSingleObject(native(event), INFINITE) == WAIT_TIMEOUT ? WaitStatus::TimedOut
                                                                            : WaitStatus::Finished;
    }
    // The system's time-out runs on its timer ticks and may end a little
    // early: the wait lasts until the monotonic clock reaches its deadline.
    constexpr std::int64_t kNsPerMs = 1'000'000;
    Clock& clock = monotonic_clock();
    const std::int64_t deadline = clock.now_ns() + std::int64_t{timeout_ms} * kNsPerMs;
    DWORD ms = timeout_ms;
    for (;;) {
        if (WaitForSingleObject(native(event), ms) != WAIT_TIMEOUT) return WaitStatus::Finished;
        const std::int64_t left = deadline - clock.now_ns();
        if (left <= 0) return WaitStatus::TimedOut;
        ms = static_cast<DWORD>((left + kNsPerMs - 1) / kNsPerMs);
    }
}

void Win32Platform::cancel_read(Handle device, OverlappedRecord& record) {
    CancelIoEx(native(device), overlapped_of(record));
}

void Win32Platform::cancel_all_reads(Handle device) { CancelIoEx(native(device), nullptr); }

ReadOutcome Win32Platform::read_result(Handle device, OverlappedRecord& record, bool wait_for_end) {
    DWORD bytes = 0;
    ReadOutcome outcome;
    if (GetOverlappedResult(native(device), overlapped_of(record), &bytes, wait_for_end ? TRUE : FALSE)) {
        outcome.ok = true;
        outcome.bytes = bytes;
        return outcome;
    }
    outcome.error = GetLastError();
    return outcome;
}

}  // namespace vesko::platform::win32

// --- the platform this build runs on ----------------------------------------------

namespace vesko::platform {

std::unique_ptr<Platform> make_native_platform() { return std::make_unique<win32::Win32Platform>(); }

}  // namespace vesko::platform
