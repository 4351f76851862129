// Reading what the system left in fixed buffers, within their bounds.

#include "platform/win32/win32_platform.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace vesko::platform::win32::detail {
namespace {

using namespace std::string_literals;

constexpr std::size_t kPathOffset = 4;  // after the record's 32-bit cbSize

std::vector<std::byte> detail_record(const std::u16string& units, std::size_t extra_bytes = 0) {
    std::vector<std::byte> record(kPathOffset + units.size() * sizeof(char16_t) + extra_bytes, std::byte{0xAB});
    std::memcpy(record.data() + kPathOffset, units.data(), units.size() * sizeof(char16_t));
    return record;
}

TEST(Win32DetailPath, EndsAtTheFirstNul) {
    const auto record = detail_record(u"\\\\?\\hid#vid_28de&pid_2300&mi_00#7\0junk"s);
    EXPECT_EQ(detail_path(record.data(), record.size(), kPathOffset), u"\\\\?\\hid#vid_28de&pid_2300&mi_00#7");
}

TEST(Win32DetailPath, APathThatFillsTheBufferEndsWithIt) {
    const std::u16string path(200, u'x');
    auto record = detail_record(path);
    record.push_back(std::byte{0x41});  // one stray byte after the path: not half a unit of it
    EXPECT_EQ(detail_path(record.data(), record.size(), kPathOffset), path);
}

TEST(Win32DetailPath, ASizeThatHoldsNoPathGivesNothing) {
    const auto record = detail_record(u"abc");
    EXPECT_EQ(detail_path(record.data(), 0, kPathOffset), u"");
    EXPECT_EQ(detail_path(record.data(), 3, kPathOffset), u"");
    EXPECT_EQ(detail_path(record.data(), kPathOffset, kPathOffset), u"");
    EXPECT_EQ(detail_path(record.data(), kPathOffset + 1, kPathOffset), u"");
    EXPECT_EQ(detail_path(record.data(), kPathOffset + 2, kPathOffset), u"a");
}

TEST(Win32DetailPath, AnUnalignedPathFieldIsReadWhole) {
    std::vector<std::byte> record(1 + kPathOffset + 6, std::byte{0});
    const std::u16string units = u"MI_";
    std::memcpy(record.data() + 1 + kPathOffset, units.data(), 6);
    EXPECT_EQ(detail_path(record.data() + 1, record.size() - 1, kPathOffset), u"MI_");
}

TEST(Win32TextInBuffer, AnIdWithoutNulFillsTheBuffer) {
    std::u16string id(kDeviceIdUnits, u'7');
    EXPECT_EQ(text_in_buffer(id.data(), kDeviceIdUnits), id);
    id[10] = u'\0';
    EXPECT_EQ(text_in_buffer(id.data(), kDeviceIdUnits), std::u16string(10, u'7'));
    EXPECT_EQ(text_in_buffer(id.data(), 0), u"");
}

TEST(Win32PropertyValue, KeepsTheListOfTextsWithItsNuls) {
    const std::u16string value = u"PCIROOT(0)#USB(2)\0ACPI(_SB_)#USB(2)\0\0"s;
    std::u16string buffer(kLocationPathsUnits, u'\0');
    buffer.replace(0, value.size(), value);
    EXPECT_EQ(property_value(buffer.data(), buffer.size(), static_cast<std::uint32_t>(value.size() * 2)), value);
}

TEST(Win32PropertyValue, NeverReadsPastTheBuffer) {
    const std::u16string full(kLocationPathsUnits, u'#');  // fills its 1024 bytes, no NUL
    EXPECT_EQ(property_value(full.data(), full.size(), 1024), full);
    EXPECT_EQ(property_value(full.data(), full.size(), 4096), full);
    EXPECT_EQ(property_value(full.data(), full.size(), 0xFFFFFFFFu), full);
}

TEST(Win32PropertyValue, DropsAnOddByte) {
    const std::u16string buffer = u"ab";
    EXPECT_EQ(property_value(buffer.data(), buffer.size(), 3), u"a");
    EXPECT_EQ(property_value(buffer.data(), buffer.size(), 1), u"");
}

}  // namespace
}  // namespace vesko::platform::win32::detail
