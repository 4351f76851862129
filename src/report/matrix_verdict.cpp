#include "report/matrix_verdict.h"

#include <cmath>

#include "calibration/run_result.h"
#include "text/printf_text.h"

namespace vesko::report {
namespace {

// "2", "2 and 5", "2, 4 and 5": run numbers as a sentence names them.
std::string numbers_in_words(const std::vector<int>& numbers) {
    std::string text;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) text += i + 1 == numbers.size() ? " and " : ", ";
        text += std::to_string(numbers[i]);
    }
    return text;
}

std::string numbers_for_drop(const std::vector<int>& numbers) {
    std::string text;
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) text += ',';
        text += std::to_string(numbers[i]);
    }
    return text;
}

std::string suspect_refusal(const ReportInput& in, const std::vector<std::size_t>& suspect) {
    std::vector<int> numbers;
    for (std::size_t i : suspect) numbers.push_back(in.log->runs[i].number);
    const std::string drop = "--drop " + numbers_for_drop(numbers);
    if (suspect.size() == 1)
        return printf_text("run %d is suspect (%s): %s leaves it out", numbers[0],
                           in.figures.suspect[suspect[0]].c_str(), drop.c_str());
    std::string reasons;
    for (std::size_t k = 0; k < suspect.size(); ++k)
        reasons += printf_text("%srun %d: %s", k ? "; " : "", numbers[k], in.figures.suspect[suspect[k]].c_str());
    return printf_text("runs %s are suspect (%s): %s leaves them out", numbers_in_words(numbers).c_str(),
                       reasons.c_str(), drop.c_str());
}

}  // namespace

MatrixVerdict judge_matrix(const ReportInput& in) {
    MatrixVerdict v;
    for (std::size_t i = 0; i < in.log->runs.size(); ++i)
        if (!in.dropped[i] && !in.figures.suspect[i].empty()) v.suspect.push_back(i);
    if (!v.suspect.empty()) return v;
    v.fit = fit_cross_axis(in.figures.kept);
    if (!v.fit.fit) return v;
    const std::vector<Vector3>& residuals = v.fit.fit->residual_deg;
    for (std::size_t r = 0; r < residuals.size(); ++r) {
        for (int axis = 0; axis < 3; ++axis) {
            const double deg = residuals[r][static_cast<std::size_t>(axis)];
            // A residual that is not a number is over any bound.
            const bool over = !(std::fabs(deg) <= kMaxResidualDeg);
            if (over && (!v.worst || !(std::fabs(deg) <= std::fabs(v.worst->deg))))
                v.worst = ResidualOver{r, axis, deg};
        }
    }
    return v;
}

std::string matrix_refusal(const ReportInput& in, const MatrixVerdict& v) {
    if (!v.suspect.empty()) return suspect_refusal(in, v.suspect);
    if (v.fit.refusal == FitRefusal::MissingAxis)
        return printf_text("no run about %c: the matrix needs runs about all three axes",
                           axis_letter(v.fit.missing_axis));
    if (v.fit.refusal == FitRefusal::IllConditioned)
        return printf_text("the runs' integrals lie too close to one plane (condition %.0f, limit %.0f)",
                           v.fit.condition, kMaxCondition);
    if (!v.worst) return "";
    std::size_t seen = 0;
    int number = 0, about = 0;
    for (std::size_t i = 0; i < in.log->runs.size(); ++i) {
        if (in.dropped[i]) continue;
        if (seen++ == v.worst->kept_index) number = in.log->runs[i].number, about = in.log->runs[i].result.axis;
    }
    return printf_text(
        "run %d's residual is %+.4f deg on %c, over the %.0f deg a hand jig's angle error explains: "
        "a turn other than the angle typed, in this run or another about %c?",
        number, v.worst->deg, axis_letter(v.worst->axis), kMaxResidualDeg, axis_letter(about));
}

}  // namespace vesko::report
