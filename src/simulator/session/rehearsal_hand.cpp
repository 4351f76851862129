#include "simulator/session/rehearsal_hand.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <type_traits>
#include <variant>

#include "console/console_input.h"
#include "console/console_texts.h"
#include "simulator/session/rehearsal_plan.h"
#include "text/printf_text.h"

namespace vesko::simulator {
namespace {

// How often the hand looks at the clock: well inside what a person notices.
constexpr std::int64_t kLookNs = 20'000'000;

std::int64_t ns_of(double seconds) { return std::llround(seconds * 1e9); }

bool ends_with(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

RehearsalHand::RehearsalHand(const Scenario& scenario, platform::sim::SimBus& bus, SimBench& bench,
                             const TextBuffer& transcript, std::FILE* notes)
    : scenario_(scenario),
      bus_(bus),
      bench_(bench),
      transcript_(transcript),
      notes_(notes),
      draws_(scenario.errors.seed) {
    // The script's faults keep their places in its dialogue: each comes as
    // long after the operator's line before it as the script waits and turns.
    std::size_t lines = 0;
    double offset = 0.0;
    for (const OperatorStep& s : scenario.script) {
        if (std::holds_alternative<TypeLine>(s)) {
            ++lines;
            offset = 0.0;
        } else if (const auto* wait = std::get_if<Wait>(&s)) {
            offset += wait->seconds;
        } else if (const auto* turn = std::get_if<TurnJig>(&s)) {
            offset += turn->seconds;
        } else if (const auto* fault = std::get_if<FaultStep>(&s)) {
            PendingFault f{lines, offset + fault->delay, *fault};
            f.step.delay = 0.0;
            faults_.push_back(f);
        }
    }
}

void RehearsalHand::note(const char* text) {
    if (notes_ == nullptr) return;
    // Off the line of the console's question, if one is open and the
    // operator's Enter has not closed it yet.
    const std::size_t shown = transcript_.size();
    const bool open_line = shown != 0 && shown != entered_at_ && transcript_.text().back() != '\n';
    TextSink(notes_).print("%s[rotabench-sim] %s\n", open_line ? "\n" : "", text);
    TextSink(notes_).flush();
}

void RehearsalHand::schedule_faults(std::size_t lines_ended) {
    for (PendingFault& f : faults_)
        if (f.after_lines == lines_ended) f.due_ns = bus_.now_ns() + ns_of(f.offset_s);
}

void RehearsalHand::reading() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (started_) return;
    started_ = true;
    schedule_faults(0);
}

void RehearsalHand::heard(int c) {
    if (c != '\n' && c != EOF) {
        const std::lock_guard<std::mutex> lock(mutex_);
        line_.push_back(static_cast<char>(c));
        return;
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::string typed = std::move(line_);
    line_.clear();
    const std::string shown = transcript_.text();
    const std::int64_t now = bus_.now_ns();
    entered_at_ = shown.size();
    if (c == '\n') schedule_faults(++lines_ended_);
    if (ends_with(shown, texts::kAngleQuestion)) {
        const auto angle = accepted_angle(typed);
        if (!angle || c == EOF) return;
        // A run whose bias capture refused it was never armed: its turn is still to come.
        if (!runs_.empty() && runs_.back().armed_ns == 0) {
            runs_.pop_back();
            outcome_from_.pop_back();
        }
        RehearsedRun run;
        run.typed = typed;
        run.typed_degrees = *angle;
        run.plan = planned_turn(scenario_.rehearsal, runs_.size());
        run.angle_ns = now;
        runs_.push_back(run);
        outcome_from_.push_back(0);
        const double degrees = std::fabs(planned_degrees(run.plan, run.typed_degrees));
        note(printf_text("run %zu: the jig turns %s by %g deg, 1 s after the arming Enter", runs_.size(),
                         turn_name(run.plan), degrees)
                 .c_str());
    } else if (ends_with(shown, texts::fixed_text(texts::kArmQuestion, 1))) {
        if (runs_.empty() || c == EOF) return;
        RehearsedRun& run = runs_.back();
        run.armed_ns = now;
        // The jig turns a little more or less than it was meant to, in its direction.
        double degrees = planned_degrees(run.plan, run.typed_degrees);
        const OperatorErrors& e = scenario_.errors;
        if (e.turn_error != 0 || e.turn_error_sd > 0) {
            const double error = e.turn_error + e.turn_error_sd * draws_.next();
            degrees += degrees < 0 ? -error : error;
        }
        run.jig_degrees = degrees;
        turn_started_ = false;
        still_told_ = false;
    } else if (ends_with(shown, texts::kIntegrating)) {
        if (runs_.empty() || c == EOF) return;  // an interrupt, not the operator's Enter
        runs_.back().finished_ns = now;
        outcome_from_.back() = shown.size();
    }
}

void RehearsalHand::step() {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::int64_t now = bus_.now_ns();
    // A fault due before the hand looks again is given now for its moment.
    for (PendingFault& f : faults_) {
        if (f.due_ns < 0 || f.due_ns > now + kLookNs) continue;
        FaultStep step = f.step;
        step.delay = static_cast<double>(std::max<std::int64_t>(0, f.due_ns - now)) * 1e-9;
        f.due_ns = -1;
        f.after_lines = ~std::size_t{0};
        bench_.fault(step);
    }
    if (runs_.empty()) return;
    RehearsedRun& run = runs_.back();
    if (run.armed_ns == 0) return;
    if (!turn_started_ && !run.finished_ns && now >= run.armed_ns + kRehearsalTurnDelayNs) {
        turn_started_ = true;
        TurnJig turn;
        turn.axis = run.plan.axis;
        turn.degrees = run.jig_degrees;
        turn.seconds = hand_turn_seconds(run.jig_degrees);
        still_ns_ = bench_.turn_jig(turn);
        if (!bench_.turns().empty()) run.turn = bench_.turns().back();
        note(printf_text("the jig is turning %s (%.1f s)", turn_name(run.plan), turn.seconds).c_str());
    } else if (turn_started_ && !still_told_ && now >= still_ns_) {
        still_told_ = true;
        // After the run, the console may be in the middle of its next lines.
        if (!run.finished_ns) note("the jig is still: finish the run with Enter");
    }
}

void RehearsalHand::run() {
    while (!stopping_) {
        const std::int64_t until = bus_.now_ns() + kLookNs;
        bench_.sleep_until(until);  // where the bench plugs a module back in
        if (bench_.interrupted() != 0) bus_.clock().sleep_until(until);
        step();
    }
}

std::vector<RehearsedRun> RehearsalHand::runs(const std::vector<RunResult>& accepted) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::string shown = transcript_.text();
    std::vector<RehearsedRun> armed;
    std::size_t next = 0;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        if (runs_[i].armed_ns == 0) continue;
        armed.push_back(runs_[i]);
        if (!runs_[i].finished_ns) continue;
        const std::size_t from = outcome_from_[i];
        std::size_t to = shown.size();
        for (std::size_t j = i + 1; j < runs_.size(); ++j) {
            if (outcome_from_[j] == 0) continue;
            to = outcome_from_[j];
            break;
        }
        const std::string_view outcome = std::string_view(shown).substr(from, to - from);
        if (outcome.find(texts::fixed_text(texts::kRunScale)) != std::string_view::npos && next < accepted.size())
            armed.back().result = accepted[next++];
    }
    return armed;
}

}  // namespace vesko::simulator
