// Choosing the tracking module: the pure selection rule, and the whole
// discovery on a simulated bus with its exact diagnostics and handle count.
#include <gtest/gtest.h>

#include "discovery/imu_candidate.h"
#include "discovery/open_imu_device.h"
#include "platform/sim/sim_bus.h"
#include "simulator/session/sim_topology.h"
#include "support/captured_stream.h"

namespace vesko {
namespace {

using platform::kInvalidHandle;

TEST(ChooseCandidate, ExplicitSerialIsExactAndFirstWins) {
    const std::vector<ImuCandidate> c{{1, u"KVR-A1", false}, {2, u"KVR-B", true}, {3, u"KVR-A1", true}};
    EXPECT_EQ(choose_candidate(c, u"KVR-A1"), 0u);
    EXPECT_EQ(choose_candidate(c, u"kvr-a1"), std::nullopt);
    EXPECT_EQ(choose_candidate(c, u"KVR-A"), std::nullopt);
    EXPECT_EQ(choose_candidate(c, u"KVR-A1 "), std::nullopt);
}

TEST(ChooseCandidate, AutomaticChoiceNeedsExactlyOnePaired) {
    EXPECT_EQ(choose_candidate({{1, u"A", false}, {2, u"B", true}}, u""), 1u);
    EXPECT_EQ(choose_candidate({{1, u"A", false}}, u""), std::nullopt);
    EXPECT_EQ(choose_candidate({{1, u"A", true}, {2, u"B", true}}, u""), std::nullopt);
    EXPECT_EQ(choose_candidate({{1, u"", true}}, u""), 0u);  // no serial, still chosen
    EXPECT_EQ(choose_candidate({}, u""), std::nullopt);
}

const std::u16string kHubA = u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)";
const std::u16string kHubB = u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(3)#USB(4)";
const char* const kDash = "\xE2\x80\x94";

// A bus, the streams discovery prints on, and the call.
struct Discovery {
    platform::sim::SimBus bus;
    test::CapturedStream out;
    test::CapturedStream err;
    std::u16string serial = u"(unchanged)";

    simulator::SimModule module(std::u16string serial, const std::u16string& location) {
        simulator::SimModuleConfig config;
        config.serial = std::move(serial);
        config.location = location;
        return simulator::add_module(bus, config);
    }
    platform::Handle run(std::u16string_view requested = u"", bool verbose = true) {
        return open_imu_device(bus, requested, &serial, verbose, {out.get(), err.get()});
    }
    std::string cannot_pick(std::size_t n, std::size_t paired, bool no_mcu) const {
        return "VantisImu: cannot pick among " + std::to_string(n) + " Gantrell device(s) (" + std::to_string(paired) +
               " MCU-paired" + (no_mcu ? ", no Telvar MCU on the bus" : "") + ") " + kDash +
               " is the Telvar attached? Or pass its KVR serial:\n";
    }
};

TEST(OpenImuDevice, OneModuleNoMcuIsNotChosen) {
    Discovery d;
    const auto m = d.module(u"KVR-0001", kHubA + u"#USB(1)");
    EXPECT_EQ(d.run(), kInvalidHandle);
    EXPECT_EQ(d.out.text(), "VantisImu: 1 Gantrell device(s), 0 MCU-paired\n");
    EXPECT_EQ(d.err.text(), d.cannot_pick(1, 0, true) + "  KVR-0001\n");
    EXPECT_EQ(d.serial, u"(unchanged)");
    EXPECT_EQ(d.bus.open_attempts(m.hid_interface), 1u);
    EXPECT_EQ(d.bus.open_handle_count(), 0u);
}

TEST(OpenImuDevice, TheOnePairedModuleIsChosenAndTheOtherClosed) {
    Discovery d;
    d.module(u"KVR-FAR", kHubB + u"#USB(1)");
    const auto near = d.module(u"KVR-NEAR", kHubA + u"#USB(2)");
    simulator::add_mcu(d.bus, std::nullopt, kHubA + u"#USB(3)");
    const auto h = d.run();
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_EQ(d.out.text(), "VantisImu: 2 Gantrell device(s), 1 MCU-paired\n");
    EXPECT_EQ(d.err.text(), "");
    EXPECT_EQ(d.serial, u"KVR-NEAR");
    EXPECT_TRUE(d.bus.attributes(h).has_value());
    EXPECT_EQ(d.bus.open_handle_count(), 1u);  // only the result
    d.bus.close(h);
    EXPECT_EQ(d.bus.bad_close_count(), 0u);
    EXPECT_EQ(d.bus.open_attempts(near.hid_interface), 1u);
}

TEST(OpenImuDevice, TwoPairedModulesChooseNone) {
    Discovery d;
    d.module(u"KVR-A", kHubA + u"#USB(1)");
    d.module(u"KVR-B", kHubA + u"#USB(2)");
    simulator::add_mcu(d.bus, std::nullopt, kHubA + u"#USB(3)");
    EXPECT_EQ(d.run(), kInvalidHandle);
    EXPECT_EQ(d.out.text(), "VantisImu: 2 Gantrell device(s), 2 MCU-paired\n");
    EXPECT_EQ(d.err.text(), d.cannot_pick(2, 2, false) +
                                "  KVR-A  [shares hub with Telvar MCU]\n"
                                "  KVR-B  [shares hub with Telvar MCU]\n");
    EXPECT_EQ(d.bus.open_handle_count(), 0u);
}

TEST(OpenImuDevice, McuPresentButNothingPairedHasNoSuffix) {
    Discovery d;
    d.module(u"KVR-A", kHubA + u"#USB(1)#USB(1)#USB(1)");
    simulator::add_mcu(d.bus, std::nullopt, kHubB + u"#USB(3)");
    EXPECT_EQ(d.run(), kInvalidHandle);
    EXPECT_EQ(d.err.text(), d.cannot_pick(1, 0, false) + "  KVR-A\n");
}

TEST(OpenImuDevice, McuNodesWithoutAUsableLocationCountAsNoMcu) {
    // MCU nodes are present, but none yields a location path: one has no
    // property, the other is an interface node. The report says so.
    Discovery d;
    d.module(u"KVR-A", kHubA + u"#USB(1)");
    platform::sim::SimNode bare;
    bare.instance_id = u"USB\\VID_35BD&PID_0101\\6&1";
    d.bus.add_node(bare);
    platform::sim::SimNode interface_node;
    interface_node.instance_id = u"USB\\VID_35BD&PID_0101&MI_00\\7&2";
    interface_node.location_paths = simulator::location_value({kHubA + u"#USB(3)"});
    d.bus.add_node(interface_node);
    EXPECT_EQ(d.run(), kInvalidHandle);
    EXPECT_EQ(d.err.text(), d.cannot_pick(1, 0, true) + "  KVR-A\n");

    // A usable MCU whose set cannot be built is no MCU either.
    Discovery f;
    f.module(u"KVR-A", kHubA + u"#USB(1)");
    simulator::add_mcu(f.bus, std::nullopt, kHubA + u"#USB(3)");
    f.bus.set_node_sets_fail(true);
    EXPECT_EQ(f.run(), kInvalidHandle);
    EXPECT_EQ(f.err.text(), f.cannot_pick(1, 0, true) + "  KVR-A\n");
}

TEST(OpenImuDevice, ExplicitSerialMatchesExactlyWhateverThePairing) {
    Discovery d;
    d.module(u"KVR-0001", kHubA + u"#USB(1)");
    d.module(u"KVR-00012", kHubB + u"#USB(1)");
    simulator::add_mcu(d.bus, std::nullopt, kHubA + u"#USB(3)");  // pairs KVR-0001 only

    EXPECT_NE(d.run(u"KVR-00012"), kInvalidHandle);  // unpaired, asked for by name
    EXPECT_EQ(d.serial, u"KVR-00012");

    for (const auto* asked : {u"kvr-0001", u"KVR-000", u"KVR-9"}) {
        Discovery e;
        e.module(u"KVR-0001", kHubA + u"#USB(1)");
        EXPECT_EQ(e.run(asked), kInvalidHandle);
        EXPECT_EQ(e.err.text(), e.cannot_pick(1, 0, true) + "  KVR-0001\n");
        EXPECT_EQ(e.bus.open_handle_count(), 0u);
    }
}

TEST(OpenImuDevice, TwoModulesWithOneSerialTheFirstIsReturned) {
    Discovery d;
    const auto first = d.module(u"KVR-SAME", kHubA + u"#USB(1)");
    d.module(u"KVR-SAME", kHubB + u"#USB(1)");
    const auto h = d.run(u"KVR-SAME");
    ASSERT_NE(h, kInvalidHandle);
    EXPECT_EQ(d.bus.open_handle_count(), 1u);
    const auto events = d.bus.events();
    const auto opened = std::find_if(events.begin(), events.end(), [&](const platform::sim::BusEvent& e) {
        return e.kind == platform::sim::BusEvent::Kind::Open && e.handle == h;
    });
    ASSERT_NE(opened, events.end());
    EXPECT_EQ(opened->path, first.path);
}

TEST(OpenImuDevice, OnlyInterfaceZeroOfTheRightDeviceIsOpened) {
    Discovery d;
    simulator::SimModuleConfig capitals;
    capitals.serial = u"KVR-CAPS";
    capitals.location = kHubA + u"#USB(1)";
    capitals.upper_case_path = true;
    const auto caps = simulator::add_module(d.bus, capitals);
    simulator::SimModuleConfig other = capitals;
    other.serial = u"OTHER";
    other.product_id = 0x2301;
    const auto wrong = simulator::add_module(d.bus, other);
    simulator::add_mcu(d.bus, std::nullopt, kHubA + u"#USB(3)");

    ASSERT_NE(d.run(), kInvalidHandle);
    EXPECT_EQ(d.serial, u"KVR-CAPS");
    EXPECT_EQ(d.out.text(), "VantisImu: 1 Gantrell device(s), 1 MCU-paired\n");
    EXPECT_EQ(d.bus.open_attempts(*caps.second_hid_interface), 0u);
    EXPECT_EQ(d.bus.open_attempts(*wrong.second_hid_interface), 0u);
    EXPECT_EQ(d.bus.open_attempts(wrong.hid_interface), 1u);  // opened, then closed
    EXPECT_EQ(d.bus.open_handle_count(), 1u);
}

TEST(OpenImuDevice, SkippedInterfacesAndUnreadableSerials) {
    Discovery d;
    platform::sim::SimHidInterface broken;
    broken.path = u"\\\\?\\hid#vid_28de&pid_2300&mi_00#broken";
    broken.detail_ok = false;
    broken.attributes = platform::HidAttributes{0x28DE, 0x2300, 0};
    const auto b = d.bus.add_hid_interface(broken);
    platform::sim::SimHidInterface busy = broken;
    busy.path += u"#busy";
    busy.detail_ok = true;
    busy.open_fails = true;
    d.bus.add_hid_interface(busy);
    // A serial that fills all 128 units without a NUL is taken whole.
    const std::u16string full(platform::kSerialNumberUnits, u'S');
    d.module(full + u"-cut", kHubA + u"#USB(1)");
    simulator::add_mcu(d.bus, std::nullopt, kHubA + u"#USB(2)");

    ASSERT_NE(d.run(), kInvalidHandle);
    EXPECT_EQ(d.out.text(), "VantisImu: 1 Gantrell device(s), 1 MCU-paired\n");
    EXPECT_EQ(d.serial, full);
    EXPECT_EQ(d.bus.open_attempts(b), 0u);
}

TEST(OpenImuDevice, NoModuleOrNoInterfaceSet) {
    Discovery d;
    EXPECT_EQ(d.run(), kInvalidHandle);
    EXPECT_EQ(d.out.text(), "VantisImu: 0 Gantrell device(s), 0 MCU-paired\n");
    EXPECT_EQ(d.err.text(), "");

    Discovery f;
    f.module(u"KVR-1", kHubA + u"#USB(1)");
    f.bus.set_interface_set_fails(true);
    EXPECT_EQ(f.run(), kInvalidHandle);
    EXPECT_EQ(f.out.text(), "");
    EXPECT_EQ(f.err.text(), "");

    Discovery quiet;
    quiet.module(u"KVR-1", kHubA + u"#USB(1)");
    EXPECT_EQ(quiet.run(u"", false), kInvalidHandle);
    EXPECT_EQ(quiet.out.text() + quiet.err.text(), "");
}

TEST(OpenImuDevice, WithoutAnOutputSerialTheChoiceStillReturnsTheHandle) {
    Discovery d;
    d.module(u"KVR-1", kHubA + u"#USB(1)");
    EXPECT_NE(open_imu_device(d.bus, u"KVR-1", nullptr, false, {d.out.get(), d.err.get()}), kInvalidHandle);
}

}  // namespace
}  // namespace vesko
