#pragma once

// PacedPlatform: the simulated bus as the session's reader sees it, publishing when the reader
// waits.

#include "platform/platform.h"
#include "platform/sim/sim_bus.h"
#include "simulator/wait_mark.h"

namespace vesko::simulator {

// The platform as the session's stream reader sees it: every call goes to
// the simulated bus unchanged, and the reader's thread publishes, around each
// of its blocking calls (wait, sleep, waiting for a cancelled read to end),
// that it waits and until when. A driver of virtual time moves the clock only
// while the reader waits and never past that deadline, so a rediscovery or a
// burst of reports never races a running clock.
class PacedPlatform final : public platform::Platform {
public:
    explicit PacedPlatform(platform::sim::SimBus& bus) : bus_(bus) {}

    const WaitMark& reader() const { return reader_; }

    std::optional<std::vector<platform::DevNode>> nodes_under_enumerator(
        std::u16string_view enumerator) override {
        return bus_.nodes_under_enumerator(enumerator);
    }
    std::optional<platform::DevNode> parent(platform::DevNode node) override { return bus_.parent(node); }
    std::optional<std::u16string> device_instance_id(platform::DevNode node) override {
        return bus_.device_instance_id(node);
    }
    std::optional<std::u16string> location_paths(platform::DevNode node) override {
        return bus_.location_paths(node);
    }
    std::optional<std::vector<platform::HidInterfaceDetail>> hid_interfaces() override {
        return bus_.hid_interfaces();
    }
    platform::Handle open_device(std::u16string_view path) override { return bus_.open_device(path); }
    std::optional<platform::HidAttributes> attributes(platform::Handle device) override {
        return bus_.attributes(device);
    }
    std::u16string serial_number(platform::Handle device) override { return bus_.serial_number(device); }
    void close(platform::Handle handle) override { bus_.close(handle); }
    platform::Handle create_event() override { return bus_.create_event(); }
    void reset_event(platform::Handle event) override { bus_.reset_event(event); }
    platform::ReadIssue begin_read(platform::Handle device, platform::Handle event,
                                   platform::OverlappedRecord& record, std::uint8_t* buffer,
                                   std::uint32_t length) override {
        return bus_.begin_read(device, event, record, buffer, length);
    }
    void cancel_read(platform::Handle device, platform::OverlappedRecord& record) override {
        bus_.cancel_read(device, record);
    }
    void cancel_all_reads(platform::Handle device) override { bus_.cancel_all_reads(device); }

    platform::WaitStatus wait(platform::Handle event, std::uint32_t timeout_ms) override;
    platform::ReadOutcome read_result(platform::Handle device, platform::OverlappedRecord& record,
                                      bool wait_for_end) override;
    void sleep_ms(std::uint32_t ms) override;

private:
    platform::sim::SimBus& bus_;
    WaitMark reader_;
};

}  // namespace vesko::simulator
