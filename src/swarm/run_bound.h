#pragma once

// How far an accepted run's scale may fall from the module's true scale, from
// the run's own conditions: the one bound the swarm holds every run to.

#include <cstdint>
#include <vector>

#include "simulator/model/jig.h"
#include "simulator/model/module_params.h"

namespace vesko::swarm {

// Stretches without samples count up to this long each: what the console's
// rules let go unsampled between two samples, and at a run's two edges.
inline constexpr double kUnsampledLimitS = 0.5;
// The noise's share, in standard deviations.
inline constexpr double kNoiseSigmas = 6.0;

// How far rotabench-report --matrix's K, when it gives one, may fall from the
// module's true K, element by element: on the diagonal (as a fraction), the
// loosest run_bound of the runs about that axis; off it (as a share of the
// row's diagonal), the loosest off_axis_bound of those runs on the row's
// axis; to each, the other columns' bounds on that row, each times the share
// of its axis's counts that a turn about the element's column brings (the
// true K's inverse): the fit carries that much of one column's error into
// another. The whole times this margin, for what the least-squares fit mixes
// of several runs.
inline constexpr double kMatrixBoundMargin = 2.0;

// One run as the bench saw it, on the bus clock.
struct RunWindow {
    int axis = 0;                   // the dominant axis the console named
    double typed_deg = 0;           // the angle the operator typed
    std::int64_t bias_from_ns = 0;  // the angle's Enter: the bias capture's 2 s start
    std::int64_t arm_ns = 0;        // the arming Enter
    std::int64_t finish_ns = 0;     // the finishing Enter
    // When the samples handed to the console were taken: between the two
    // Enters, and during the bias capture (see sample_times).
    std::vector<std::int64_t> samples_ns;
    std::vector<std::int64_t> bias_samples_ns;
};

// The parts of the bound, each in radians of the dominant axis.
struct RunBound {
    double turned_rad = 0;       // what the jig turned between the Enters, as the axis feels it
    double angle_rad = 0;        // |typed - turned|: the jig's (and the operator's) angle error
    double unsampled_rad = 0;    // the stretches without samples, each weighted by the jig's rate in it
    double bias_motion_rad = 0;  // the jig's motion the bias capture's samples saw, over the run
    double noise_rad = 0;        // kNoiseSigmas of the noise of the integral and of the bias
    double rounding = 0;         // the printed scale's last digit, a fraction
    double fraction = 0;         // the whole bound on |scale / true - 1|; infinite when nothing is left of the turn
};

// When each sample was taken, from when it reached the console: the samples
// that came at one instant (a report's, or a backlog's) were taken one
// sample interval apart, the last of them then.
std::vector<std::int64_t> sample_times(const std::vector<std::int64_t>& arrived_ns, double rate_hz);

// The bound of one run of a module with truth `truth` on a jig that made `turns`.
RunBound run_bound(const RunWindow& run, const simulator::ModuleParams& truth,
                   const std::vector<simulator::JigTurn>& turns);

// How far the run's integral on `other` axis may fall from the truth, as a
// share of its turn (`own`, the run's run_bound): the noise there, the jig's motion it felt during the
// bias capture, the stretches without samples weighted by its rate in them,
// and the printed integral's last digit. What the cross-axis term of `other`
// against the run's axis is known to.
double off_axis_bound(const RunWindow& run, const RunBound& own, const simulator::ModuleParams& truth,
                      const std::vector<simulator::JigTurn>& turns, int other);

}  // namespace vesko::swarm
