#include "platform/sim/sim_bus.h"

#include <algorithm>

#include "platform/device_text.h"

namespace vesko::platform::sim {

using platform::DevNode;
using platform::Handle;

SimBus::SimBus(TimeMode mode) : clock_(mode) {}

SimBus::~SimBus() = default;

std::int64_t SimBus::now_ns() const {
    Lock lock(mutex_);
    return now_locked();
}

void SimBus::changed_locked() {
    // A sleeper waits for time alone; every other wait looks again.
    clock_.mark_if_locked([](const WaitOn& on) { return on.kind != WaitOn::Kind::Time; });
}

void SimBus::mark_locked(WaitOn::Kind kind, Handle handle) {
    clock_.mark_if_locked(
        [&](const WaitOn& on) { return on.kind == kind && (kind != WaitOn::Kind::Event || on.handle == handle); });
}

// --- building ----------------------------------------------------------------

DevNode SimBus::add_node(SimNode node) {
    Lock lock(mutex_);
    nodes_.push_back(std::move(node));
    return static_cast<DevNode>(nodes_.size());
}

void SimBus::set_node_present(DevNode node, bool present) {
    Lock lock(mutex_);
    if (node >= 1 && node <= nodes_.size()) nodes_[node - 1].present = present;
}

std::size_t SimBus::add_hid_interface(SimHidInterface iface) {
    Lock lock(mutex_);
    Interface added;
    added.config = std::move(iface);
    interfaces_.push_back(std::move(added));
    changed_locked();
    return interfaces_.size() - 1;
}

void SimBus::set_interface_present(std::size_t iface, bool present) {
    Lock lock(mutex_);
    Interface& i = interfaces_.at(iface);
    if (i.present == present) return;
    i.present = present;
    if (!present) {
        ++i.generation;
        for (auto& [handle, h] : handles_) {
            if (h.is_event || !h.open || h.iface != iface || !h.read || h.read->done) continue;
            finish_locked(*h.read, false, 0, platform::kErrorDeviceNotConnected);
        }
    }
    changed_locked();
}

void SimBus::queue_reads(std::size_t iface, std::vector<ReadStep> steps) {
    Lock lock(mutex_);
    auto& script = interfaces_.at(iface).script;
    for (auto& s : steps) script.push_back(std::move(s));
}

void SimBus::attach_source(std::size_t iface, std::shared_ptr<ReportSource> source) {
    Lock lock(mutex_);
    interfaces_.at(iface).source = std::move(source);
    changed_locked();
}

void SimBus::notify_source_changed() {
    Lock lock(mutex_);
    changed_locked();
}

void SimBus::set_interface_set_fails(bool fails) {
    Lock lock(mutex_);
    interface_set_fails_ = fails;
}

void SimBus::set_node_sets_fail(bool fails) {
    Lock lock(mutex_);
    node_sets_fail_ = fails;
}

void SimBus::set_event_creation_fails(bool fails) {
    Lock lock(mutex_);
    event_creation_fails_ = fails;
}

void SimBus::hold_enumeration(bool hold) {
    Lock lock(mutex_);
    enumeration_held_ = hold;
    mark_locked(WaitOn::Kind::Enumeration);
}

// --- observing ---------------------------------------------------------------

std::size_t SimBus::node_count() const {
    Lock lock(mutex_);
    return nodes_.size();
}

std::size_t SimBus::open_attempts(std::size_t iface) const {
    Lock lock(mutex_);
    return interfaces_.at(iface).open_attempts;
}

std::size_t SimBus::open_handle_count() const {
    Lock lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(handles_.begin(), handles_.end(), [](const auto& e) { return e.second.open; }));
}

std::size_t SimBus::bad_close_count() const {
    Lock lock(mutex_);
    return bad_closes_;
}

std::vector<BusEvent> SimBus::events() const {
    Lock lock(mutex_);
    return events_;
}

std::optional<SimNode> SimBus::node_info(DevNode node) const {
    Lock lock(mutex_);
    const SimNode* n = node_locked(node);
    if (n == nullptr) return std::nullopt;
    return *n;
}

std::optional<SimHidInterface> SimBus::interface_info(std::u16string_view path) const {
    Lock lock(mutex_);
    const std::u16string wanted = ascii_upper(path);
    for (const Interface& i : interfaces_) {
        if (i.present && ascii_upper(i.config.path) == wanted) return i.config;
    }
    return std::nullopt;
}

void SimBus::log_locked(BusEvent::Kind kind, Handle handle, std::u16string path) {
    events_.push_back(BusEvent{kind, now_locked(), handle, std::move(path)});
}

// --- device tree -------------------------------------------------------------

const SimNode* SimBus::node_locked(DevNode node) const {
    if (node < 1 || node > nodes_.size()) return nullptr;
    const SimNode& n = nodes_[node - 1];
    return n.present ? &n : nullptr;
}

std::optional<std::vector<DevNode>> SimBus::nodes_under_enumerator(std::u16string_view enumerator) {
    Lock lock(mutex_);
    if (node_sets_fail_) return std::nullopt;
    const std::u16string prefix = ascii_upper(enumerator);
    std::vector<DevNode> out;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
        if (!nodes_[i].present) continue;
        if (ascii_upper(nodes_[i].instance_id).compare(0, prefix.size(), prefix) == 0) {
            out.push_back(static_cast<DevNode>(i + 1));
        }
    }
    return out;
}

std::optional<DevNode> SimBus::parent(DevNode node) {
    Lock lock(mutex_);
    const SimNode* n = node_locked(node);
    if (n == nullptr || n->parent_query_fails || !n->parent) return std::nullopt;
    return n->parent;
}

std::optional<std::u16string> SimBus::device_instance_id(DevNode node) {
    Lock lock(mutex_);
    const SimNode* n = node_locked(node);
    if (n == nullptr || n->id_query_fails) return std::nullopt;
    if (n->instance_id.size() > platform::kDeviceIdUnits) return std::nullopt;
    std::u16string id = n->instance_id;
    if (id.size() < platform::kDeviceIdUnits) id.push_back(u'\0');
    return id;
}

std::optional<std::u16string> SimBus::location_paths(DevNode node) {
    Lock lock(mutex_);
    const SimNode* n = node_locked(node);
    if (n == nullptr || !n->location_paths) return std::nullopt;
    if (n->location_paths->size() > platform::kLocationPathsUnits) return std::nullopt;
    return n->location_paths;
}

// --- HID interfaces and handles ----------------------------------------------

std::optional<std::vector<platform::HidInterfaceDetail>> SimBus::hid_interfaces() {
    Lock lock(mutex_);
    log_locked(BusEvent::Kind::Enumerate, 0);
    while (enumeration_held_) block_locked(lock, kNever, WaitOn::of(WaitOn::Kind::Enumeration));
    if (interface_set_fails_) return std::nullopt;
    std::vector<platform::HidInterfaceDetail> out;
    for (const Interface& i : interfaces_) {
        if (!i.present) continue;
        out.push_back(platform::HidInterfaceDetail{i.config.detail_ok, i.config.path, i.config.node});
    }
    return out;
}

Handle SimBus::open_device(std::u16string_view path) {
    Lock lock(mutex_);
    for (std::size_t index = 0; index < interfaces_.size(); ++index) {
        Interface& i = interfaces_[index];
        if (i.config.path != path) continue;
        ++i.open_attempts;
        if (!i.present || i.config.open_fails) break;
        const Handle handle = next_handle_;
        next_handle_ += 4;
        HandleState h;
        h.iface = index;
        h.generation = i.generation;
        handles_.emplace(handle, std::move(h));
        log_locked(BusEvent::Kind::Open, handle, std::u16string(path));
        return handle;
    }
    return platform::kInvalidHandle;
}

SimBus::HandleState* SimBus::device_locked(Handle device) {
    const auto it = handles_.find(device);
    if (it == handles_.end() || it->second.is_event || !it->second.open) return nullptr;
    return &it->second;
}

bool SimBus::device_alive_locked(const HandleState& h) const {
    const Interface& i = interfaces_[h.iface];
    return i.present && i.generation == h.generation;
}

std::optional<platform::HidAttributes> SimBus::attributes(Handle device) {
    Lock lock(mutex_);
    const HandleState* h = device_locked(device);
    if (h == nullptr || !device_alive_locked(*h)) return std::nullopt;
    return interfaces_[h->iface].config.attributes;
}

std::u16string SimBus::serial_number(Handle device) {
    Lock lock(mutex_);
    std::u16string buffer(platform::kSerialNumberUnits, u'\0');
    const HandleState* h = device_locked(device);
    if (h == nullptr || !device_alive_locked(*h)) return buffer;
    const std::u16string& serial = interfaces_[h->iface].config.serial;
    std::copy_n(serial.begin(), std::min(serial.size(), buffer.size()), buffer.begin());
    return buffer;
}

void SimBus::close(Handle handle) {
    Lock lock(mutex_);
    const auto it = handles_.find(handle);
    if (it == handles_.end() || !it->second.open) {
        ++bad_closes_;
        return;
    }
    HandleState& h = it->second;
    // Closing a handle ends the read pending on it, as aborted.
    if (!h.is_event && h.read && !h.read->done) {
        finish_locked(*h.read, false, 0, platform::kErrorOperationAborted);
    }
    h.open = false;
    log_locked(BusEvent::Kind::Close, handle);
    changed_locked();
}

Handle SimBus::create_event() {
    Lock lock(mutex_);
    if (event_creation_fails_) return platform::kNoHandle;
    const Handle handle = next_handle_;
    next_handle_ += 4;
    HandleState h;
    h.is_event = true;
    handles_.emplace(handle, std::move(h));
    return handle;
}

void SimBus::reset_event(Handle event) {
    Lock lock(mutex_);
    const auto it = handles_.find(event);
    if (it != handles_.end() && it->second.is_event) it->second.signalled = false;
}

void SimBus::signal_locked(Handle event) {
    const auto it = handles_.find(event);
    if (it != handles_.end() && it->second.is_event && it->second.open) it->second.signalled = true;
    mark_locked(WaitOn::Kind::Event, event);
    mark_locked(WaitOn::Kind::ReadEnd);
}

void SimBus::set_event(Handle event) {
    Lock lock(mutex_);
    const auto it = handles_.find(event);
    if (it == handles_.end() || !it->second.is_event || !it->second.open) return;
    signal_locked(event);
}

}  // namespace vesko::platform::sim
