#include "support/sim_bus_feed.h"

#include <algorithm>
#include <mutex>

#include "imu/input_report.h"
#include "imu/vantis_imu.h"

namespace vesko::test {

// Reports queued by the test, each due at once. The bus asks it under its
// own lock; the feed fills it under the source's lock alone and tells the bus
// afterwards, so the two locks are only ever taken bus first.
class SimBusFeed::QueuedSource final : public sim::ReportSource {
public:
    void push(std::vector<std::vector<std::uint8_t>> reports) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& r : reports) reports_.push_back(std::move(r));
    }
    std::optional<std::int64_t> next_report_time() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (reports_.empty()) return std::nullopt;
        return std::int64_t{0};
    }
    std::size_t take_report(std::int64_t, std::uint8_t* buffer, std::size_t capacity) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (reports_.empty()) return 0;
        const std::vector<std::uint8_t> report = std::move(reports_.front());
        reports_.pop_front();
        const std::size_t n = std::min(report.size(), capacity);
        std::copy_n(report.begin(), n, buffer);
        return n;
    }

private:
    std::mutex mutex_;
    std::deque<std::vector<std::uint8_t>> reports_;
};

SimBusFeed::SimBusFeed(std::u16string serial) : source_(std::make_shared<QueuedSource>()) {
    const std::u16string hub = u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)";
    sim::add_mcu(bus_, std::nullopt, hub + u"#USB(4)");
    sim::SimModuleConfig config;
    config.serial = std::move(serial);
    config.location = hub + u"#USB(1)";
    module_ = sim::add_module(bus_, config);
    bus_.attach_source(module_.hid_interface, source_);
}

SimBusFeed::~SimBusFeed() { bus_.set_free_running(true); }

ReaderFactory SimBusFeed::reader_factory(OutputStreams streams) {
    return [this, streams](SampleCallback callback) -> std::unique_ptr<ImuReader> {
        return std::make_unique<VantisImu>(std::move(callback), bus_, streams);
    };
}

void SimBusFeed::deliver(const std::vector<ImuSample>& batch) {
    if (batch.empty()) return;
    std::vector<std::vector<std::uint8_t>> reports;
    for (std::size_t i = 0; i < batch.size(); i += kSamplesPerReport) {
        std::vector<std::uint8_t> report(kImuReportReadLength, 0);
        report[0] = kImuReportId;
        for (std::size_t k = 0; k < kSamplesPerReport; ++k) {
            const ImuSample& s = batch[std::min(i + k, batch.size() - 1)];
            encode_sample_slot(s, report.data() + 1 + kSampleSlotSize * k);
        }
        reports.push_back(std::move(report));
    }
    // The reader waits on its pending read; the queue is filled, then the bus
    // tells the waiting read to look again.
    bus_.wait_until_blocked();
    source_->push(std::move(reports));
    bus_.notify_source_changed();
    // Blocked again means every report was taken and its samples delivered.
    bus_.wait_until_blocked();
}

}  // namespace vesko::test
