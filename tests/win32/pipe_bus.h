#pragma once

// A test-only platform: the real Win32 calls for handles, events, reads,
// waits, but a bus on which the one HID interface is a named pipe
// that plays the tracking module (28DE:2300, interface 00, a fixed serial).
// Waits can be shortened by a factor, so the reader's seconds of
// silence and of rediscovery pass in a fraction of the time.

#include "pipe_module.h"
#include "platform/win32/win32_platform.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <set>

namespace vesko::testing {

class PipeBus final : public platform::Platform {
public:
    static constexpr char16_t kSerial[] = u"KVR-PIPE0001";

    explicit PipeBus(std::uint32_t time_divisor = 1) : divisor_(time_divisor == 0 ? 1 : time_divisor) {}

    // Plugs a new module in (the old one, if any, stays where it is until
    // unplug()). The pipe's name carries "&mi_00" as the module's path does.
    PipeModule& plug() {
        std::lock_guard<std::mutex> lock(mutex_);
        module_ = std::make_shared<PipeModule>(u"&mi_00");
        return *module_;
    }
    // Takes the module off the bus and closes its far end.
    void unplug() {
        std::shared_ptr<PipeModule> gone;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            gone.swap(module_);
        }
        if (gone) gone->hang_up();
    }
    std::shared_ptr<PipeModule> module() {
        std::lock_guard<std::mutex> lock(mutex_);
        return module_;
    }

    // Runs just before a read is issued (on the reader thread).
    void set_before_read(std::function<void()> hook) {
        std::lock_guard<std::mutex> lock(mutex_);
        before_read_ = std::move(hook);
    }

    unsigned opens() const { return opens_.load(); }

    // The ledger of handles the code under test got from this platform:
    // those still open, and closes of a handle it did not hold (a double
    // close, or one of a handle never opened).
    std::size_t live_handles() {
        std::lock_guard<std::mutex> lock(mutex_);
        return live_.size();
    }
    unsigned stray_closes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return stray_closes_;
    }

    // --- the bus ----------------------------------------------------------------
    std::optional<std::vector<platform::DevNode>> nodes_under_enumerator(std::u16string_view) override {
        return std::vector<platform::DevNode>{};
    }
    std::optional<platform::DevNode> parent(platform::DevNode) override { return std::nullopt; }
    std::optional<std::u16string> device_instance_id(platform::DevNode) override { return std::nullopt; }
    std::optional<std::u16string> location_paths(platform::DevNode) override { return std::nullopt; }

    std::optional<std::vector<platform::HidInterfaceDetail>> hid_interfaces() override {
        std::vector<platform::HidInterfaceDetail> interfaces;
        if (const auto module = this->module()) {
            platform::HidInterfaceDetail detail;
            detail.ok = true;
            detail.path = module->path();
            detail.node = 1;
            interfaces.push_back(detail);
        }
        return interfaces;
    }

    platform::Handle open_device(std::u16string_view path) override {
        const auto module = this->module();
        if (!module || path != module->path()) return platform::kInvalidHandle;
        const platform::Handle handle = real_.open_device(path);
        if (handle == platform::kInvalidHandle) return handle;
        if (!module->accept(handle)) {
            real_.close(handle);
            return platform::kInvalidHandle;
        }
        ++opens_;
        remember(handle);
        return handle;
    }

    std::optional<platform::HidAttributes> attributes(platform::Handle) override {
        platform::HidAttributes attributes;
        attributes.vendor_id = 0x28DE;
        attributes.product_id = 0x2300;
        return attributes;
    }

    std::u16string serial_number(platform::Handle) override {
        std::u16string serial(platform::kSerialNumberUnits, u'\0');
        serial.replace(0, std::char_traits<char16_t>::length(kSerial), kSerial);
        return serial;
    }

    // --- the real calls -----------------------------------------------------------
    void close(platform::Handle handle) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (live_.erase(handle) == 0) ++stray_closes_;
        }
        real_.close(handle);
    }
    platform::Handle create_event() override {
        const platform::Handle event = real_.create_event();
        if (event != platform::kNoHandle) remember(event);
        return event;
    }
    void reset_event(platform::Handle event) override { real_.reset_event(event); }
    void set_event(platform::Handle event) override { real_.set_event(event); }

    platform::ReadIssue begin_read(platform::Handle device, platform::Handle event, platform::OverlappedRecord& record,
                                   std::uint8_t* buffer, std::uint32_t length) override {
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            hook = before_read_;
        }
        if (hook) hook();
        return real_.begin_read(device, event, record, buffer, length);
    }

    platform::WaitStatus wait(platform::Handle event, std::uint32_t timeout_ms) override {
        return real_.wait(event, timeout_ms / divisor_);
    }
    void cancel_read(platform::Handle device, platform::OverlappedRecord& record) override {
        real_.cancel_read(device, record);
    }
    void cancel_all_reads(platform::Handle device) override { real_.cancel_all_reads(device); }
    platform::ReadOutcome read_result(platform::Handle device, platform::OverlappedRecord& record,
                                      bool wait_for_end) override {
        return real_.read_result(device, record, wait_for_end);
    }

private:
    void remember(platform::Handle handle) {
        std::lock_guard<std::mutex> lock(mutex_);
        live_.insert(handle);
    }

    platform::win32::Win32Platform real_;
    const std::uint32_t divisor_;
    std::mutex mutex_;
    std::shared_ptr<PipeModule> module_;
    std::function<void()> before_read_;
    std::set<platform::Handle> live_;
    unsigned stray_closes_ = 0;
    std::atomic<unsigned> opens_{0};
};

}  // namespace vesko::testing
