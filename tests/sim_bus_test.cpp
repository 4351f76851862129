// The simulated bus itself: scripted reads, handles across an unplug, and
// the virtual clock that tests step through.
#include <gtest/gtest.h>

#include <thread>

#include "platform/sim/sim_bus.h"
#include "platform/sim/sim_topology.h"

namespace vesko::platform::sim {
namespace {

using namespace std::chrono_literals;
using platform::ReadStatus;
using platform::WaitStatus;

struct OneModule {
    SimBus bus;
    SimModule module;
    OneModule() {
        SimModuleConfig config;
        config.serial = u"KVR-1";
        config.location = u"R#USB(1)";
        module = add_module(bus, config);
    }
};

TEST(SimBus, ScriptedReadsCompleteFailAndFinishLater) {
    OneModule m;
    m.bus.queue_reads(m.module.hid_interface, {ReadStep::completed({0x20, 1, 2}), ReadStep::failed(31),
                                               ReadStep::completed_after(5ms, {0x20, 9})});
    const auto h = m.bus.open_device(m.module.path);
    const auto ev = m.bus.create_event();
    platform::OverlappedRecord rec;
    std::uint8_t buf[64] = {};

    auto issue = m.bus.begin_read(h, ev, rec, buf, 2);  // cut to the read's size
    EXPECT_EQ(issue.status, ReadStatus::Completed);
    EXPECT_EQ(issue.bytes, 2u);
    issue = m.bus.begin_read(h, ev, rec, buf, 64);
    EXPECT_EQ(issue.status, ReadStatus::Failed);
    EXPECT_EQ(issue.error, 31u);

    issue = m.bus.begin_read(h, ev, rec, buf, 64);
    EXPECT_EQ(issue.status, ReadStatus::Pending);
    EXPECT_EQ(issue.error, platform::kErrorIoPending);
    EXPECT_FALSE(m.bus.read_result(h, rec, false).ok);        // not finished yet
    std::int64_t finished_at = -1;
    std::thread reader([&] {
        EXPECT_EQ(m.bus.wait(ev, 1000), WaitStatus::Finished);
        finished_at = m.bus.now_ns();
    });
    EXPECT_FALSE(m.bus.advance(1000ms, 50ms));  // after 5 ms nobody waits any more
    reader.join();
    EXPECT_EQ(finished_at, 5'000'000);
    const auto outcome = m.bus.read_result(h, rec, false);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.bytes, 2u);
    EXPECT_EQ(buf[1], 9);
    m.bus.close(ev);
    m.bus.close(h);
    EXPECT_EQ(m.bus.open_handle_count(), 0u);
}

TEST(SimBus, AHandleFromBeforeAnUnplugStaysDead) {
    OneModule m;
    const auto old_handle = m.bus.open_device(m.module.path);
    m.bus.set_interface_present(m.module.hid_interface, false);
    EXPECT_EQ(m.bus.open_device(m.module.path), platform::kInvalidHandle);
    EXPECT_TRUE(m.bus.hid_interfaces()->size() == 1u);  // interface 01 only
    m.bus.set_interface_present(m.module.hid_interface, true);

    const auto ev = m.bus.create_event();
    platform::OverlappedRecord rec;
    std::uint8_t buf[64];
    const auto issue = m.bus.begin_read(old_handle, ev, rec, buf, 64);
    EXPECT_EQ(issue.status, ReadStatus::Failed);
    EXPECT_EQ(issue.error, platform::kErrorDeviceNotConnected);
    EXPECT_FALSE(m.bus.attributes(old_handle).has_value());
    const auto fresh = m.bus.open_device(m.module.path);
    EXPECT_TRUE(m.bus.attributes(fresh).has_value());
    EXPECT_EQ(m.bus.begin_read(fresh, ev, rec, buf, 64).status, ReadStatus::Pending);

    m.bus.close(fresh);  // ends the pending read as aborted
    EXPECT_TRUE(m.bus.wait(ev, 0) == WaitStatus::Finished);
    m.bus.close(fresh);
    m.bus.close(old_handle);
    m.bus.close(ev);
    EXPECT_EQ(m.bus.bad_close_count(), 1u);
    EXPECT_EQ(m.bus.open_handle_count(), 0u);
}

TEST(SimBus, AdvanceStepsASleeperThroughEachDeadline) {
    SimBus bus;
    std::vector<std::int64_t> woke;
    std::thread sleeper([&] {
        for (int i = 0; i < 3; ++i) {
            bus.sleep_ms(100);
            woke.push_back(bus.now_ns() / 1'000'000);
        }
    });
    ASSERT_TRUE(bus.advance(250ms));
    EXPECT_EQ(woke, (std::vector<std::int64_t>{100, 200}));  // the sleeper is blocked: no race
    EXPECT_EQ(bus.now_ns(), 250'000'000);
    EXPECT_FALSE(bus.advance(100ms, 50ms));  // the last wake at 300; then nobody blocks
    sleeper.join();
    EXPECT_EQ(woke, (std::vector<std::int64_t>{100, 200, 300}));
}

}  // namespace
}  // namespace vesko::platform::sim
