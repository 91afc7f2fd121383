#include "UnifiedDiff.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace names {

namespace {

enum class Step : std::uint8_t { Same, Removed, Added };

// Past this many cells the lines between the common head and tail are shown
// as all removed and all added: a name table that large changed everywhere
// is better shown plainly than with a table of megabytes.
constexpr std::size_t kMaximumCells = std::size_t{1} << 21;

// The steps from `before` to `after`: common head and tail kept as they are,
// a longest common subsequence in between.
std::vector<Step> editScript(const std::vector<std::string>& before,
                             const std::vector<std::string>& after) {
    std::size_t head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head]) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
        ++tail;
    }
    const std::size_t rows = before.size() - head - tail;
    const std::size_t columns = after.size() - head - tail;
    std::vector<Step> steps(head, Step::Same);
    if (rows != 0 && columns != 0 && (rows + 1) * (columns + 1) <= kMaximumCells) {
        // common[i][j]: the longest common subsequence of the rest from i and j.
        const std::size_t width = columns + 1;
        std::vector<std::uint16_t> common((rows + 1) * width, 0);
        for (std::size_t i = rows; i-- > 0;) {
            for (std::size_t j = columns; j-- > 0;) {
                common[i * width + j] =
                    before[head + i] == after[head + j]
                        ? static_cast<std::uint16_t>(common[(i + 1) * width + j + 1] + 1)
                        : std::max(common[(i + 1) * width + j], common[i * width + j + 1]);
            }
        }
        std::size_t i = 0, j = 0;
        while (i < rows && j < columns) {
            if (before[head + i] == after[head + j]) {
                steps.push_back(Step::Same);
                ++i;
                ++j;
            } else if (common[(i + 1) * width + j] >= common[i * width + j + 1]) {
                steps.push_back(Step::Removed);
                ++i;
            } else {
                steps.push_back(Step::Added);
                ++j;
            }
        }
        steps.insert(steps.end(), rows - i, Step::Removed);
        steps.insert(steps.end(), columns - j, Step::Added);
    } else {
        steps.insert(steps.end(), rows, Step::Removed);
        steps.insert(steps.end(), columns, Step::Added);
    }
    steps.insert(steps.end(), tail, Step::Same);
    return steps;
}

void writeRange(TextOut& out, std::size_t first, std::size_t count) {
    if (count == 0) {
        out << first << ",0";  // the line before an empty range
    } else if (count == 1) {
        out << first + 1;
    } else {
        out << first + 1 << ',' << count;
    }
}

}  // namespace

void writeUnifiedDiff(TextOut& out, std::string_view label, const std::vector<std::string>& before,
                      const std::vector<std::string>& after) {
    constexpr std::size_t kContext = 3;
    const std::vector<Step> steps = editScript(before, after);
    if (std::all_of(steps.begin(), steps.end(), [](Step step) { return step == Step::Same; })) {
        return;
    }
    out << "--- " << label << "\n+++ " << label << '\n';
    // Where each step stands in before and after.
    std::vector<std::size_t> atBefore(steps.size() + 1), atAfter(steps.size() + 1);
    for (std::size_t k = 0; k < steps.size(); ++k) {
        atBefore[k + 1] = atBefore[k] + (steps[k] != Step::Added ? 1 : 0);
        atAfter[k + 1] = atAfter[k] + (steps[k] != Step::Removed ? 1 : 0);
    }
    std::size_t k = 0;
    while (k < steps.size()) {
        if (steps[k] == Step::Same) {
            ++k;
            continue;
        }
        // A hunk: this change, and every later one whose context touches it.
        const std::size_t start = k > kContext ? k - kContext : 0;
        std::size_t end = k;
        std::size_t sameRun = 0;
        for (std::size_t m = k; m < steps.size(); ++m) {
            if (steps[m] == Step::Same) {
                if (++sameRun > 2 * kContext) {
                    break;
                }
            } else {
                sameRun = 0;
                end = m + 1;
            }
        }
        end = std::min(steps.size(), end + kContext);
        out << "@@ -";
        writeRange(out, atBefore[start], atBefore[end] - atBefore[start]);
        out << " +";
        writeRange(out, atAfter[start], atAfter[end] - atAfter[start]);
        out << " @@\n";
        for (std::size_t m = start; m < end; ++m) {
            switch (steps[m]) {
                case Step::Same:
                    out << ' ' << before[atBefore[m]] << '\n';
                    break;
                case Step::Removed:
                    out << '-' << before[atBefore[m]] << '\n';
                    break;
                case Step::Added:
                    out << '+' << after[atAfter[m]] << '\n';
                    break;
            }
        }
        k = end;
    }
}

}  // namespace names
