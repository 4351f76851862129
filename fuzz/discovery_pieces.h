#pragma once

// The pieces that the discovery target's texts are made of, so that an
// input names the forms discovery looks for in a byte each (and the seed
// generator writes them by name).

#include <cstddef>
#include <string_view>

namespace vesko::fuzz {

enum Piece : unsigned char {
    kModuleUsbId,        // the module's USB device ID up to its instance
    kModuleInterfaceId,  // its interface-00 node
    kMcuUsbId,           // the headset MCU's USB device ID up to its instance
    kModuleUsbIdLower,
    kInterfaceMarker,
    kFirstInterfaceLower,
    kModuleHidId,
    kFirstInterfacePath,   // a HID device path of interface 00, up to its rest
    kSecondInterfacePath,  // the same for interface 01
    kHidClassGuid,
    kRootHubLocation,
    kUsbHop,
    kUsbPort1,
    kUsbPort2,
    kCloseParen,
    kSerialStem,
    kSerial,
    kNul,
    kLoneSurrogate,
    kNonAsciiLetter,
};

inline constexpr std::u16string_view kPieces[] = {
    u"USB\\VID_28DE&PID_2300\\",
    u"USB\\VID_28DE&PID_2300&MI_00\\",
    u"USB\\VID_35BD&PID_0101\\",
    u"usb\\vid_28de&pid_2300\\",
    u"&MI_",
    u"&mi_00",
    u"HID\\VID_28DE&PID_2300&MI_00\\",
    u"\\\\?\\hid#vid_28de&pid_2300&mi_00#",
    u"\\\\?\\hid#vid_28de&pid_2300&mi_01#",
    u"{4d1e55b2-f16f-11cf-88cb-001111000030}",
    u"PCIROOT(0)#PCI(1400)#USBROOT(0)",
    u"#USB(",
    u"#USB(1)",
    u"#USB(2)",
    u")",
    u"KVR-",
    u"KVR-0042",
    std::u16string_view(u"\0", 1),
    std::u16string_view(u"\xD800", 1),
    u"\u00e9",
};
inline constexpr std::size_t kPieceCount = sizeof kPieces / sizeof kPieces[0];
static_assert(kPieceCount == kNonAsciiLetter + 1);

// Bytes of a text that stand for something other than themselves.
inline constexpr unsigned char kDoubleText = 0xFE;
inline constexpr unsigned char kRawUnit = 0xFF;

}  // namespace vesko::fuzz
