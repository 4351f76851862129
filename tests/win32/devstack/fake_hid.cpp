// hid.dll of the scripted device stack. A module's HID interface is a named
// pipe served by the stack's host; the handle the program opened is told
// apart by the pipe's name, and switched to message reads on first use so
// that one read returns one input report, as from the HID class driver.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

extern "C" {
#include <hidsdi.h>
}

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "devstack_client.h"
#include "fake_text.h"

using vesko::devstack::misuse;
using vesko::devstack::Op;
using vesko::devstack::Reader;
using vesko::devstack::Writer;

namespace {

constexpr GUID kHidInterfaceClass = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

std::mutex lock;
std::map<HANDLE, std::u16string> seen_handles;  // every handle a query was made on, by its pipe name

// The pipe's name as the file system gives it ("\hid#vid_28de&..."), or
// nothing for a handle that is not an open file.
std::optional<std::u16string> file_name(HANDLE handle) {
    alignas(FILE_NAME_INFO) unsigned char bytes[sizeof(FILE_NAME_INFO) + 2048] = {};
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(bytes);
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, info, sizeof bytes)) return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(info->FileName), info->FileNameLength / sizeof(WCHAR));
}

struct Device {
    HIDD_ATTRIBUTES attributes{};
    std::u16string serial;
};

// The module behind a handle; nothing (and the error a gone device gives)
// when the handle is not one of the bus's pipes or its module left.
std::optional<Device> device_of(HANDLE handle) {
    const auto name = file_name(handle);
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    if (!name) return std::nullopt;
    {
        std::lock_guard<std::mutex> guard(lock);
        seen_handles[handle] = *name;
    }
    const auto reply = vesko::devstack::ask(Writer().op(Op::HidDevice).text(*name));
    if (!reply) return std::nullopt;
    Reader r(*reply);
    Device device;
    device.attributes.Size = sizeof(HIDD_ATTRIBUTES);
    device.attributes.VendorID = static_cast<USHORT>(r.word());
    device.attributes.ProductID = static_cast<USHORT>(r.word());
    device.attributes.VersionNumber = static_cast<USHORT>(r.word());
    device.serial = r.text();
    if (!r.ok()) return std::nullopt;
    return device;
}

}  // namespace

extern "C" {

void WINAPI HidD_GetHidGuid(LPGUID guid) {
    if (guid != nullptr) *guid = kHidInterfaceClass;
}

BOOLEAN WINAPI HidD_GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
    if (attributes == nullptr) {
        misuse("HidD_GetAttributes", "no attributes record");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (attributes->Size != sizeof(HIDD_ATTRIBUTES)) {
        misuse("HidD_GetAttributes", "HIDD_ATTRIBUTES.Size " + std::to_string(attributes->Size) + ", not " +
                                         std::to_string(sizeof(HIDD_ATTRIBUTES)));
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto device = device_of(handle);
    if (!device) return FALSE;
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(handle, &mode, nullptr, nullptr);
    attributes->VendorID = device->attributes.VendorID;
    attributes->ProductID = device->attributes.ProductID;
    attributes->VersionNumber = device->attributes.VersionNumber;
    return TRUE;
}

// The length is in bytes. The serial and its NUL, or as many units of them
// as the buffer holds: a serial as long as the buffer comes back without one.
BOOLEAN WINAPI HidD_GetSerialNumberString(HANDLE handle, PVOID buffer, ULONG length) {
    if (buffer == nullptr) {
        misuse("HidD_GetSerialNumberString", "no buffer");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto device = device_of(handle);
    if (!device) return FALSE;
    std::u16string text = device->serial;
    text.push_back(u'\0');
    const std::size_t units = std::min<std::size_t>(text.size(), length / sizeof(WCHAR));
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::memcpy(bytes, text.data(), units * sizeof(WCHAR));
    vesko::devstack::scribble(bytes + units * sizeof(WCHAR), length - units * sizeof(WCHAR));
    return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) {
        // A handle still open at exit still carries its module's pipe name.
        unsigned long open = 0;
        std::lock_guard<std::mutex> guard(lock);
        for (const auto& [handle, name] : seen_handles) {
            const auto now = file_name(handle);
            if (now && *now == name) ++open;
        }
        vesko::devstack::ledger("module handle(s) still open at exit", open);
    }
    return TRUE;
}

}  // extern "C"
