// setupapi.dll of the scripted device stack: device-information sets of the
// HID interfaces and of the device nodes under an enumerator, and the two
// configuration-manager queries the program imports from this DLL. Every
// answer comes from the stack's host; every argument the system would refuse
// is refused here too, and reported to the host as a misuse.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "devstack_client.h"
#include "fake_text.h"

using vesko::devstack::ask;
using vesko::devstack::misuse;
using vesko::devstack::Op;
using vesko::devstack::Reader;
using vesko::devstack::Writer;

namespace {

// {4D1E55B2-F16F-11CF-88CB-001111000030}: the HID interface class.
constexpr GUID kHidInterfaceClass = {0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
// {745A17A0-74D3-11D0-B6FE-00A0C90F57DA}: the HIDClass device setup class.
constexpr GUID kHidSetupClass = {0x745a17a0, 0x74d3, 0x11d0, {0xb6, 0xfe, 0x00, 0xa0, 0xc9, 0x0f, 0x57, 0xda}};

constexpr DWORD kKnownFlags = DIGCF_DEFAULT | DIGCF_PRESENT | DIGCF_ALLCLASSES | DIGCF_PROFILE | DIGCF_DEVICEINTERFACE;

struct Interface {
    bool detail_ok = false;
    std::u16string path;
    DWORD node = 0;
};

// One device-information set: the snapshot taken when it was built.
struct InfoSet {
    std::vector<Interface> interfaces;  // a set of device interfaces
    std::vector<DWORD> nodes;           // its devices, in order
};

std::mutex lock;
std::set<InfoSet*> live_sets;

InfoSet* find_set(HDEVINFO handle) {
    std::lock_guard<std::mutex> guard(lock);
    auto* set = static_cast<InfoSet*>(handle);
    return live_sets.count(set) != 0 ? set : nullptr;
}

bool same_guid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

BOOL refuse(const char* function, DWORD error, const std::string& why) {
    misuse(function, why);
    SetLastError(error);
    return FALSE;
}

std::vector<Interface> hid_interfaces() {
    std::vector<Interface> out;
    const auto reply = ask(Writer().op(Op::HidInterfaces));
    if (!reply) return out;
    Reader r(*reply);
    const std::uint32_t count = r.word();
    for (std::uint32_t i = 0; i < count && r.ok(); ++i) {
        Interface item;
        item.detail_ok = r.word() != 0;
        item.path = r.text();
        item.node = r.word();
        out.push_back(item);
    }
    return out;
}

std::optional<std::u16string> device_id(DWORD node) {
    const auto reply = ask(Writer().op(Op::DeviceId).word(node));
    if (!reply) return std::nullopt;
    Reader r(*reply);
    std::u16string id = r.text();
    if (!r.ok()) return std::nullopt;
    return id;
}

}  // namespace

extern "C" {

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* class_guid, PCWSTR enumerator, HWND, DWORD flags) {
    const char* const name = "SetupDiGetClassDevsW";
    if ((flags & ~kKnownFlags) != 0) {
        refuse(name, ERROR_INVALID_FLAGS, "unknown flags " + vesko::devstack::hex(flags));
        return INVALID_HANDLE_VALUE;
    }
    if (class_guid == nullptr && (flags & DIGCF_ALLCLASSES) == 0) {
        refuse(name, ERROR_INVALID_PARAMETER, "no class GUID and no DIGCF_ALLCLASSES");
        return INVALID_HANDLE_VALUE;
    }
    // Every device of this bus is present, so DIGCF_PRESENT changes nothing
    // here; DIGCF_PROFILE and DIGCF_DEFAULT keep them all as well.
    auto* set = new InfoSet;
    if ((flags & DIGCF_DEVICEINTERFACE) != 0) {
        const bool hid = (flags & DIGCF_ALLCLASSES) != 0 || same_guid(*class_guid, kHidInterfaceClass);
        if (hid) set->interfaces = hid_interfaces();
        // With interfaces, an enumerator names one device instance.
        if (enumerator != nullptr) {
            const std::u16string wanted = vesko::platform::ascii_upper(vesko::devstack::from_wide(enumerator));
            std::erase_if(set->interfaces, [&](const Interface& i) {
                const auto id = device_id(i.node);
                return !id || vesko::platform::ascii_upper(vesko::platform::up_to_nul(*id)) != wanted;
            });
        }
        for (const Interface& i : set->interfaces) {
            if (std::find(set->nodes.begin(), set->nodes.end(), i.node) == set->nodes.end())
                set->nodes.push_back(i.node);
        }
    } else if ((flags & DIGCF_ALLCLASSES) != 0 || same_guid(*class_guid, kHidSetupClass)) {
        // Device nodes; this bus sorts none of its nodes into setup classes
        // but the HID ones, and those only by their enumerator.
        Writer request;
        request.op(Op::NodesUnder).text(enumerator != nullptr ? vesko::devstack::from_wide(enumerator) : u"");
        if (const auto reply = ask(request)) {
            Reader r(*reply);
            const std::uint32_t count = r.word();
            for (std::uint32_t i = 0; i < count && r.ok(); ++i) set->nodes.push_back(r.word());
        }
        if ((flags & DIGCF_ALLCLASSES) == 0) {
            std::erase_if(set->nodes, [](DWORD node) {
                const auto id = device_id(node);
                return !id || vesko::platform::ascii_upper(*id).rfind(u"HID\\", 0) != 0;
            });
        }
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        live_sets.insert(set);
    }
    return set;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA device, const GUID* interface_class,
                                        DWORD index, PSP_DEVICE_INTERFACE_DATA data) {
    const char* const name = "SetupDiEnumDeviceInterfaces";
    InfoSet* set = find_set(handle);
    if (set == nullptr) return refuse(name, ERROR_INVALID_HANDLE, "not a device-information set");
    if (interface_class == nullptr) return refuse(name, ERROR_INVALID_PARAMETER, "no interface class GUID");
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return refuse(name, ERROR_INVALID_USER_BUFFER,
                      "SP_DEVICE_INTERFACE_DATA.cbSize " + std::to_string(data ? data->cbSize : 0) + ", not " +
                          std::to_string(sizeof(SP_DEVICE_INTERFACE_DATA)));
    }
    if (device != nullptr && device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return refuse(name, ERROR_INVALID_USER_BUFFER, "SP_DEVINFO_DATA.cbSize " + std::to_string(device->cbSize));
    }
    DWORD seen = 0;
    if (same_guid(*interface_class, kHidInterfaceClass)) {
        for (std::size_t i = 0; i < set->interfaces.size(); ++i) {
            if (device != nullptr && set->interfaces[i].node != device->DevInst) continue;
            if (seen++ != index) continue;
            data->InterfaceClassGuid = kHidInterfaceClass;
            data->Flags = SPINT_ACTIVE;
            data->Reserved = static_cast<ULONG_PTR>(i + 1);
            return TRUE;
        }
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD detail_size,
                                             PDWORD required_size, PSP_DEVINFO_DATA device) {
    const char* const name = "SetupDiGetDeviceInterfaceDetailW";
    InfoSet* set = find_set(handle);
    if (set == nullptr) return refuse(name, ERROR_INVALID_HANDLE, "not a device-information set");
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return refuse(name, ERROR_INVALID_USER_BUFFER,
                      "SP_DEVICE_INTERFACE_DATA.cbSize " + std::to_string(data ? data->cbSize : 0));
    }
    if (data->Reserved == 0 || data->Reserved > set->interfaces.size()) {
        return refuse(name, ERROR_INVALID_PARAMETER, "an interface that is not a member of this set");
    }
    constexpr DWORD kHeader = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    if (detail == nullptr && detail_size != 0) {
        return refuse(name, ERROR_INVALID_USER_BUFFER, "no buffer, but a size of " + std::to_string(detail_size));
    }
    if (detail != nullptr) {
        if (detail_size < kHeader + sizeof(WCHAR)) {
            return refuse(name, ERROR_INVALID_USER_BUFFER, "buffer of " + std::to_string(detail_size) + " bytes");
        }
        if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            return refuse(name, ERROR_INVALID_USER_BUFFER,
                          "SP_DEVICE_INTERFACE_DETAIL_DATA_W.cbSize " + std::to_string(detail->cbSize) + ", not " +
                              std::to_string(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)));
        }
    }
    if (device != nullptr && device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return refuse(name, ERROR_INVALID_USER_BUFFER, "SP_DEVINFO_DATA.cbSize " + std::to_string(device->cbSize));
    }
    const Interface& member = set->interfaces[data->Reserved - 1];
    const DWORD needed = kHeader + static_cast<DWORD>((member.path.size() + 1) * sizeof(WCHAR));
    if (required_size != nullptr) *required_size = needed;
    if (detail_size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (!member.detail_ok) {  // the device left between the two calls
        SetLastError(ERROR_NO_SUCH_DEVINST);
        return FALSE;
    }
    auto* bytes = reinterpret_cast<unsigned char*>(detail);
    vesko::devstack::scribble(bytes + needed, detail_size - needed);
    std::memcpy(bytes + kHeader, member.path.c_str(), (member.path.size() + 1) * sizeof(WCHAR));
    if (device != nullptr) {
        device->ClassGuid = kHidSetupClass;
        device->DevInst = member.node;
        device->Reserved = 0;
    }
    return TRUE;
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO handle, DWORD index, PSP_DEVINFO_DATA device) {
    const char* const name = "SetupDiEnumDeviceInfo";
    InfoSet* set = find_set(handle);
    if (set == nullptr) return refuse(name, ERROR_INVALID_HANDLE, "not a device-information set");
    if (device == nullptr || device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return refuse(name, ERROR_INVALID_USER_BUFFER,
                      "SP_DEVINFO_DATA.cbSize " + std::to_string(device ? device->cbSize : 0) + ", not " +
                          std::to_string(sizeof(SP_DEVINFO_DATA)));
    }
    if (index >= set->nodes.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    device->ClassGuid = GUID{};
    device->DevInst = set->nodes[index];
    device->Reserved = static_cast<ULONG_PTR>(index + 1);
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
    InfoSet* set = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        auto* candidate = static_cast<InfoSet*>(handle);
        if (live_sets.erase(candidate) != 0) set = candidate;
    }
    if (set == nullptr) return refuse("SetupDiDestroyDeviceInfoList", ERROR_INVALID_HANDLE, "not a live set");
    delete set;
    return TRUE;
}

CONFIGRET WINAPI CM_Get_Parent(PDEVINST parent, DEVINST node, ULONG flags) {
    if (parent == nullptr) return misuse("CM_Get_Parent", "no output"), CR_INVALID_POINTER;
    *parent = 0;
    if (flags != 0) return misuse("CM_Get_Parent", "flags " + vesko::devstack::hex(flags)), CR_INVALID_FLAG;
    const auto reply = ask(Writer().op(Op::Parent).word(node));
    if (!reply) return CR_NO_SUCH_DEVNODE;  // the root, or a node that left
    *parent = Reader(*reply).word();
    return CR_SUCCESS;
}

// The length is in characters. The ID and its NUL when both fit; the ID
// alone when it fills the buffer exactly; otherwise as much as fits and
// CR_BUFFER_SMALL.
CONFIGRET WINAPI CM_Get_Device_IDW(DEVINST node, PWSTR buffer, ULONG length, ULONG flags) {
    if (buffer == nullptr) return misuse("CM_Get_Device_IDW", "no buffer"), CR_INVALID_POINTER;
    if (flags != 0) return misuse("CM_Get_Device_IDW", "flags " + vesko::devstack::hex(flags)), CR_INVALID_FLAG;
    const auto id = device_id(node);
    if (!id) return CR_NO_SUCH_DEVNODE;
    const std::u16string_view text = vesko::platform::up_to_nul(*id);
    const std::size_t copied = std::min<std::size_t>(text.size(), length);
    std::memcpy(buffer, text.data(), copied * sizeof(WCHAR));
    if (text.size() > length) return CR_BUFFER_SMALL;
    if (copied < length) {
        buffer[copied] = L'\0';
        vesko::devstack::scribble(reinterpret_cast<unsigned char*>(buffer + copied + 1),
                                  (length - copied - 1) * sizeof(WCHAR));
    }
    return CR_SUCCESS;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) {
        std::size_t live = 0;
        {
            std::lock_guard<std::mutex> guard(lock);
            live = live_sets.size();
        }
        vesko::devstack::ledger("device-information list(s) never destroyed", live);
    }
    return TRUE;
}

}  // extern "C"
