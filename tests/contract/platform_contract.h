#pragma once

// The contract suite of the platform seam: the read path of platform.h and
// the clock of clock.h checked once, the same way, on every backend that
// implements them. Each backend's test program instantiates it with rigs of
// its own.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/platform.h"

namespace vesko::contract {

// One backend with one tracking module on it, and the module's far end.
class ContractRig {
public:
    ContractRig() = default;
    ContractRig(const ContractRig&) = delete;
    ContractRig& operator=(const ContractRig&) = delete;
    virtual ~ContractRig() = default;

    virtual platform::Platform& platform() = 0;
    // Opens the module for reads (kInvalidHandle on failure).
    virtual platform::Handle open_module() = 0;
    // The module sends one input report; on return a read can take all of it.
    virtual void send(const std::vector<std::uint8_t>& report) = 0;
    // The module leaves the bus: its reads fail from now on.
    virtual void pull() = 0;

    // The codes a read fails with once the module has left.
    virtual std::set<std::uint32_t> gone_errors() const { return {platform::kErrorDeviceNotConnected}; }
    // False when this machine cannot host the rig (the test is then skipped).
    virtual bool ready() const { return true; }
    // Whether misuse gets the contract's answers; the Windows system gives
    // its own, which the portable code never relies on.
    virtual bool answers_misuse_by_contract() const { return true; }
};

// How a suite makes a fresh rig of one backend, and the rig's name.
template <class Rig>
struct Maker {
    std::string name;
    std::function<std::unique_ptr<Rig>()> make;
};

// A rig prints as its name, so the tests' names stay the same from build to
// build (GoogleTest would print the function's bytes).
template <class Rig>
void PrintTo(const Maker<Rig>& maker, std::ostream* os) {
    *os << maker.name;
}

template <class Rig>
std::string maker_name(const ::testing::TestParamInfo<Maker<Rig>>& info) {
    return info.param.name;
}

using RigMaker = Maker<ContractRig>;
class PlatformContract : public ::testing::TestWithParam<RigMaker> {};
inline constexpr auto rig_name = maker_name<ContractRig>;

// A clock of the seam, and whatever it needs while the test uses it. The
// thread that makes the rig is the one that uses the clock.
class ClockRig {
public:
    ClockRig() = default;
    ClockRig(const ClockRig&) = delete;
    ClockRig& operator=(const ClockRig&) = delete;
    virtual ~ClockRig() = default;

    virtual platform::Clock& clock() = 0;
};

using ClockMaker = Maker<ClockRig>;
class ClockContract : public ::testing::TestWithParam<ClockMaker> {};
inline constexpr auto clock_name = maker_name<ClockRig>;

// The rig of a clock that needs nothing beside it.
class PlainClockRig final : public ClockRig {
public:
    explicit PlainClockRig(platform::Clock& clock) : clock_(clock) {}
    platform::Clock& clock() override { return clock_; }

private:
    platform::Clock& clock_;
};

}  // namespace vesko::contract
