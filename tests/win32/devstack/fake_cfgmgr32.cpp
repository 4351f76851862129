// cfgmgr32.dll of the scripted device stack: the device-property query of
// the location paths. The length is in bytes, in and out; the value is a list
// of NUL-terminated texts closed by an empty one, as the bus describes it.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cfgmgr32.h>
#include <devpropdef.h>

#include <cstring>
#include <string>

#include "devstack_client.h"
#include "fake_text.h"

using vesko::devstack::misuse;
using vesko::devstack::Op;
using vesko::devstack::Reader;
using vesko::devstack::Writer;

namespace {

// DEVPKEY_Device_LocationPaths: {A45C254E-DF1C-4EFD-8020-67D146A850E0}, 37.
constexpr DEVPROPKEY kLocationPaths = {{0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}},
                                       37};

CONFIGRET refuse(CONFIGRET result, const std::string& why) {
    misuse("CM_Get_DevNode_PropertyW", why);
    return result;
}

}  // namespace

extern "C" CONFIGRET WINAPI CM_Get_DevNode_PropertyW(DEVINST node, const DEVPROPKEY* key, DEVPROPTYPE* type,
                                                     PBYTE buffer, PULONG size, ULONG flags) {
    if (key == nullptr || type == nullptr || size == nullptr) return refuse(CR_INVALID_POINTER, "a null argument");
    if (buffer == nullptr && *size != 0)
        return refuse(CR_INVALID_POINTER, "no buffer, but a size of " + std::to_string(*size));
    if (flags != 0) return refuse(CR_INVALID_FLAG, "flags " + vesko::devstack::hex(flags));
    if (std::memcmp(key, &kLocationPaths, sizeof(DEVPROPKEY)) != 0) return CR_NO_SUCH_VALUE;

    const auto reply = vesko::devstack::ask(Writer().op(Op::LocationPaths).word(node));
    if (!reply) return CR_NO_SUCH_VALUE;
    Reader r(*reply);
    const std::u16string value = r.text();  // the whole value, its closing empty text included
    if (!r.ok()) return CR_NO_SUCH_VALUE;
    const ULONG needed = static_cast<ULONG>(value.size() * sizeof(char16_t));
    *type = DEVPROP_TYPE_STRING_LIST;
    if (*size < needed) {
        *size = needed;
        return CR_BUFFER_SMALL;
    }
    std::memcpy(buffer, value.data(), needed);
    vesko::devstack::scribble(buffer + needed, *size - needed);
    *size = needed;
    return CR_SUCCESS;
}
