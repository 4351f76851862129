#pragma once

// What the report works out from the runs it keeps: the console's per-axis
// figures, the statistics an engineer asks for, the runs that look wrong,
// and the gate's verdict.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "calibration/run_summary.h"
#include "report/session_log.h"

namespace vesko::report {

// A run is suspect when its off-axis leakage is over this share (a crooked
// mount), or when its scale is further than this share from its axis's other
// runs and from both nominal scales (a wrong turn, or a wrong angle typed).
inline constexpr double kSuspectLeakage = 0.05;
inline constexpr double kSuspectScaleOff = 0.10;
// A hand-turned jig turns a run by a few turns at the most: an angle past ten
// turns is a typing slip (the console takes any positive number). Such a run
// is suspect, and its scale, which may be of any size, is kept out of the
// statistics.
inline constexpr double kJigAngleLimitDeg = 3600;

// Per axis, beyond the console's summary, from the kept runs within the jig's
// angle; nullopt where there are too few of them.
struct AxisStatistics {
    std::optional<double> sd;               // sample standard deviation of the scales (2+ runs)
    std::optional<double> sem;              // standard error of the mean (2+ runs)
    std::optional<double> ci_low, ci_high;  // 95% interval of the mean, Student's t (2+ runs)
    std::optional<double> asymmetry_pct;    // mean of + turns minus mean of - turns, % of the mean
};

enum class Verdict { Pass, Fail, NotDecided };

struct ReportFigures {
    std::vector<RunResult> kept;  // in log order, without the dropped runs
    AxisSummaries axes;
    std::array<AxisStatistics, 3> statistics;
    std::optional<GateFigure> gate;  // nullopt unless every axis has a run
    bool two_runs_every_axis = false;
    double gate_limit_pct = kGateLimitPct;
    Verdict verdict = Verdict::NotDecided;  // NotDecided unless every axis has two runs
    std::vector<std::string> suspect;       // per run of the log; empty when not suspect
};

ReportFigures work_out(const std::vector<LoggedRun>& runs, const std::vector<bool>& dropped, double gate_limit_pct);

// The 97.5th percentile of Student's t with `df` degrees of freedom.
double t975(int df);

}  // namespace vesko::report
