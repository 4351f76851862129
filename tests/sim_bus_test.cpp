// The simulated bus itself: scripted reads, handles across an unplug, and
// the order in which its virtual clock lets threads run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/sim_bus.h"
#include "simulator/session/sim_topology.h"

namespace vesko::platform::sim {
namespace {

using namespace std::chrono_literals;
using platform::ReadStatus;
using platform::WaitStatus;
using simulator::add_module;
using simulator::SimModule;
using simulator::SimModuleConfig;

void sleep_ms(SimBus& bus, std::int64_t ms) { bus.clock().sleep_until(bus.now_ns() + ms * 1'000'000); }

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
    EXPECT_FALSE(m.bus.read_result(h, rec, false).ok);  // not finished yet
    {
        const BusClock::Participation self(m.bus.clock(), "test", kOtherRank);
        EXPECT_EQ(m.bus.wait(ev, 1000), WaitStatus::Finished);
    }
    EXPECT_EQ(m.bus.now_ns(), 5'000'000);
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

TEST(SimBusVirtualTime, OneThreadRunsAtATimeTiesGoByRankAndAWokenThreadGoesBeforeTheClock) {
    SimBus bus;
    const BusClock::Participation self(bus.clock(), "test", kOtherRank);
    const auto ev = bus.create_event();
    std::vector<std::string> log;  // one participant at a time writes it
    const auto note = [&](const std::string& who) {
        log.push_back(who + "@" + std::to_string(bus.now_ns() / 1'000'000));
    };
    platform::Thread console = bus.clock().start_thread("console", kConsoleRank, [&] {
        sleep_ms(bus, 100);
        note("console");
        sleep_ms(bus, 100);
        note("console");
    });
    platform::Thread reader = bus.clock().start_thread("reader", kReaderRank, [&] {
        sleep_ms(bus, 100);
        note("reader");
        EXPECT_EQ(bus.wait(ev, 1000), WaitStatus::Finished);
        note("reader woken");
    });
    note("test");  // the new threads have not run yet
    sleep_ms(bus, 100);
    note("test");
    bus.set_event(ev);
    sleep_ms(bus, 0);
    note("test");
    reader.join();
    console.join();
    EXPECT_EQ(log, (std::vector<std::string>{"test@0", "reader@100", "console@100", "test@100", "reader woken@100",
                                             "test@100", "console@200"}));
}

TEST(SimBusVirtualTimeDeathTest, NoThreadAbleToRunIsReportedAsADeadlock) {
    EXPECT_EXIT(
        {
            OneModule m;
            const BusClock::Participation self(m.bus.clock(), "test", kOtherRank);
            const auto h = m.bus.open_device(m.module.path);
            const auto ev = m.bus.create_event();
            platform::OverlappedRecord rec;
            std::uint8_t buf[64];
            m.bus.begin_read(h, ev, rec, buf, 64);  // nothing ever comes
            sleep_ms(m.bus, 1500);
            m.bus.read_result(h, rec, true);  // and nobody cancels it
        },
        testing::ExitedWithCode(kDeadlockExitCode),
        "deadlock at t=1.500000 s of virtual time: no thread can run again\n  test: waits for the read on handle 0x");
}

}  // namespace
}  // namespace vesko::platform::sim
