#include "Runner.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>
#include <unordered_set>

#include "Commands.h"
#include "Files.h"
#include "FontDocument.h"
#include "FontPaths.h"
#include "Invocation.h"
#include "Listing.h"
#include "UnifiedDiff.h"

namespace names {

namespace {

namespace fs = std::filesystem;

// "37/1000 files" on the terminal, once a run has taken a second; redrawn
// at most ten times a second and cleared before anything else is written.
class ProgressLine {
  public:
    ProgressLine(TextOut& err, bool enabled, std::size_t total)
        : err_(err), enabled_(enabled && total > 1), total_(total) {}

    void show(std::size_t done) {
        if (!enabled_) {
            return;
        }
        const auto now = Clock::now();
        if (now - start_ < std::chrono::seconds(1) || (shown_ && now - drawn_ < kInterval)) {
            return;
        }
        err_ << '\r' << done << '/' << total_ << " files";
        err_.flush();
        shown_ = true;
        drawn_ = now;
    }
    void clear() {
        if (shown_) {
            err_ << "\r\033[K";
            err_.flush();
            shown_ = false;
        }
    }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kInterval = std::chrono::milliseconds(100);
    TextOut& err_;
    bool enabled_;
    std::size_t total_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point drawn_;
    bool shown_ = false;
};

struct Tally {
    std::size_t changed = 0, unchanged = 0, failed = 0;
};

std::string plural(std::size_t count, const char* word) {
    return std::to_string(count) + ' ' + word + (count == 1 ? "" : "s");
}

class Run {
  public:
    Run(const Invocation& invocation, Action& action, TextOut& out, TextOut& err)
        : invocation_(invocation), action_(action), out_(out), err_(err) {}

    // The font's report and messages are gathered per file and written when
    // the file is done, so that the progress line can be cleared first and a
    // file that fails half-way shows no diff.
    void file(const FontPath& font, TextOut& out, TextOut& err) {
        if (!font.problem.empty()) {
            err << "Error: " << font.path << ": cannot read the folder: " << font.problem << ".\n";
            ++tally_.failed;
            return;
        }
        FontDocument document;
        std::string problem;
        if (!document.load(font.path, problem)) {
            err << "Error: " << font.path << ": " << problem << ".\n";
            ++tally_.failed;
            return;
        }
        std::size_t first = 0, count = document.fontCount();
        if (invocation_.member) {
            if (*invocation_.member > count) {
                err << "Error: " << font.path << ": there is no font " << *invocation_.member
                    << " (the file holds " << plural(count, "font") << ").\n";
                ++tally_.failed;
                return;
            }
            first = *invocation_.member - 1;
            count = 1;
        }
        const bool writes = invocation_.command->writes;
        bool changed = false;
        TextOut diffs;
        for (std::size_t index = first; index < first + count; ++index) {
            FontUnit unit{font.path, font.path, std::nullopt, document.names(index),
                          document.directory(index)};
            if (document.isCollection()) {
                unit.member = static_cast<std::uint32_t>(index + 1);
                unit.label += '#' + std::to_string(index + 1);
            }
            std::vector<std::string> before;
            if (writes && invocation_.dryRun) {
                before = listLines(unit.names, {});
            }
            const UnitResult result = action_.apply(unit, out, err);
            if (result == UnitResult::Failed) {
                ++tally_.failed;
                return;
            }
            if (result == UnitResult::Changed) {
                changed = true;
                if (invocation_.dryRun) {
                    writeUnifiedDiff(diffs, unit.label, before, listLines(unit.names, {}));
                }
            }
        }
        if (!writes) {
            return;
        }
        if (!changed) {
            ++tally_.unchanged;
        } else if (invocation_.dryRun) {
            out << diffs.str();
            ++tally_.changed;
        } else if (save(document, font, err)) {
            ++tally_.changed;
        } else {
            ++tally_.failed;
        }
    }

    int finish() {
        if (invocation_.command->writes && !invocation_.quiet) {
            err_ << plural(tally_.changed, "file")
                 << (invocation_.dryRun ? " would change, " : " changed, ") << tally_.unchanged
                 << " unchanged, " << tally_.failed << " failed\n";
        }
        return tally_.failed != 0 || action_.flagged() ? kSomeFailed : kSucceeded;
    }

  private:
    bool save(FontDocument& document, const FontPath& font, TextOut& err) {
        std::string target = font.path;
        if (invocation_.outputFolder) {
            const fs::path place = fs::path(*invocation_.outputFolder) / font.outputName;
            std::error_code error;
            if (folders_.insert(place.parent_path().string()).second) {
                fs::create_directories(place.parent_path(), error);
            }
            if (error) {
                folders_.erase(place.parent_path().string());
                err << "Error: " << font.path << ": cannot create the folder "
                    << place.parent_path().string() << ": " << error.message() << ".\n";
                return false;
            }
            target = place.string();
            // Two fonts of one name (from different folders) would land on one
            // output; the first keeps it.
            if (written_.add(target, ++outputs_).has_value()) {
                err << "Error: " << font.path << ": " << target
                    << " was written for an earlier font of the same name; not replaced.\n";
                return false;
            }
        }
        std::string problem;
        if (!document.save(target, problem)) {
            err << "Error: " << target << ": " << problem << ".\n";
            return false;
        }
        return true;
    }

    const Invocation& invocation_;
    Action& action_;
    TextOut& out_;
    TextOut& err_;
    Tally tally_;
    // Outputs written so far, however spelled (a case-insensitive folder
    // makes A.ttf and a.ttf one file).
    filecore::SameFiles written_;
    std::size_t outputs_ = 0;
    // Output folders made (or found) so far: each is made once per run.
    std::unordered_set<std::string> folders_;
};

int runCommand(const Invocation& invocation, TextOut& out, TextOut& err, bool terminal) {
    std::string error;
    const std::unique_ptr<Action> action = invocation.command->make(invocation, error);
    if (!action) {
        err << "kestrin-names: " << error << "\n";
        return kUsage;
    }
    const std::vector<FontPath> fonts = expandFontPaths(invocation.fonts, invocation.recursive);
    Run run(invocation, *action, out, err);
    // Fonts replaced in place have their bytes synced one by one, but the
    // renames of a folder's fonts once, when all of them are done: half the
    // journal commits of syncing the folder after each.
    filecore::FolderSyncBatch folderSyncs;
    ProgressLine progress(err, terminal, fonts.size());
    action->begin(out);
    for (std::size_t i = 0; i < fonts.size(); ++i) {
        TextOut fileOut, fileErr;
        run.file(fonts[i], fileOut, fileErr);
        if (!fileOut.empty() || !fileErr.empty()) {
            progress.clear();
            out << fileOut.str();
            out.flush();
            err << fileErr.str();
            err.flush();
        }
        progress.show(i + 1);
    }
    progress.clear();
    folderSyncs.syncAll();
    action->end(out);
    out.flush();
    return run.finish();
}

}  // namespace

std::string usageText() {
    TextOut text;
    text << "usage: kestrin-names COMMAND [OPTIONS] FONT...\n"
            "\n"
            "Each FONT is a font file (.ttf .otf, or a collection .ttc .otc: all its\n"
            "fonts, or --font N) or a folder of them.\n"
            "\n"
            "Commands:\n";
    for (const Command& command : commands()) {
        std::string synopsis(command.name);
        if (!command.operands.empty()) {
            synopsis += ' ';
            synopsis += command.operands;
        }
        text << "  " << synopsis
             << std::string(synopsis.size() < 20 ? 20 - synopsis.size() : 1, ' ') << command.summary
             << '\n';
    }
    text << "\n"
            "Which names (every command; set names its ID as an operand):\n"
            "  -i, --id LIST        name IDs: 1,2,16-17\n"
            "  -p, --platform LIST  platform IDs, or unicode, mac, win\n"
            "  -e, --encoding LIST  encoding IDs\n"
            "  -l, --language LIST  language IDs: 0x409,1033\n"
            "  -f, --font N         only font N (from 1) of a collection\n"
            "\n"
            "Output:\n"
            "  -j, --json           list as JSON\n"
            "  -a, --add            set: also where the font lacks the name\n"
            "  -n, --dry-run        show the changes as a diff; write nothing\n"
            "  -o, --output DIR     write the fonts into DIR instead of in place\n"
            "  -r, --recursive      take the fonts of subfolders too\n"
            "  -q, --quiet          no summary line\n"
            "  -h, --help           show this text\n"
            "  -V, --version        show the version\n"
            "\n"
            "Exit status: 0 all went well, 1 a font failed (or check warned), 2 usage.\n";
    return text.str();
}

int runNames(const std::vector<std::string>& arguments, TextOut& out, TextOut& err, bool terminal) {
    std::string error;
    const std::optional<Invocation> invocation = parseArguments(arguments, error);
    if (!invocation) {
        err << "kestrin-names: " << error << "\nTry 'kestrin-names --help'.\n";
        return kUsage;
    }
    if (invocation->help) {
        out << usageText();
        return kSucceeded;
    }
    if (invocation->version) {
        out << "kestrin-names " FONTTOOLS_VERSION "\n";
        return kSucceeded;
    }
    return runCommand(*invocation, out, err, terminal);
}

}  // namespace names
