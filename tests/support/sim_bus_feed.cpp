#include "support/sim_bus_feed.h"

#include "imu/input_report.h"
#include "imu/vantis_imu.h"
#include "simulator/session/sim_reader.h"

namespace vesko::test {

SimBusFeed::SimBusFeed(std::u16string serial) : source_(std::make_shared<QueuedReports>()) {
    const std::u16string hub = u"PCIROOT(0)#PCI(1400)#USBROOT(0)#USB(1)#USB(2)";
    simulator::add_mcu(bus_, std::nullopt, hub + u"#USB(4)");
    simulator::SimModuleConfig config;
    config.serial = std::move(serial);
    config.location = hub + u"#USB(1)";
    module_ = simulator::add_module(bus_, config);
    bus_.attach_source(module_.hid_interface, source_);
}

ReaderFactory SimBusFeed::reader_factory(OutputStreams streams) {
    return [this, streams](SampleCallback callback) -> std::unique_ptr<ImuReader> {
        return std::make_unique<VantisImu>(std::move(callback), bus_, simulator::reader_options_on(bus_, streams));
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
    // The queue is filled and the waiting read told to look again; this
    // thread then lets the reader run at this same instant, and runs again
    // once the reader waits: every report taken, its samples delivered.
    for (auto& report : reports) source_->push(std::move(report));
    bus_.notify_source_changed();
    bus_.sleep_until(bus_.now_ns());
}

}  // namespace vesko::test
