// AllZelvic: joins every .ttf file of the current folder into "Fonts.TTC" by
// starting Zelvic on them. Zelvic is started directly with an argument vector,
// never through a command interpreter, so any file name reaches it unchanged.

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

extern char** environ;

namespace {

constexpr int kNoFonts = -1;
// The fonts can't be handed to Zelvic (the folder can't be listed, or their
// names don't fit one command line): like Zelvic's own "an input can't be
// used", and nothing is written.
constexpr int kFontsUnusable = -2;
constexpr int kCannotStart = 127;  // what a shell answers for a command it can't run
constexpr const char* kToolName = "Zelvic";
constexpr const char* kCollectionName = "Fonts.TTC";

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool hasTtfExtension(std::string_view name) {
    constexpr std::string_view extension = ".ttf";
    if (name.size() < extension.size()) {
        return false;
    }
    const std::string_view tail = name.substr(name.size() - extension.size());
    return std::equal(tail.begin(), tail.end(), extension.begin(),
                      [](char a, char b) { return lowerAscii(a) == b; });
}

// Case-insensitive order, the order a case-insensitive folder lists in; names
// equal but for case fall back to their bytes so that runs are reproducible.
bool comesBefore(const std::string& a, const std::string& b) {
    const auto lowerLess = [](char x, char y) {
        return static_cast<unsigned char>(lowerAscii(x)) <
               static_cast<unsigned char>(lowerAscii(y));
    };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), lowerLess)) {
        return true;
    }
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), lowerLess)) {
        return false;
    }
    return a < b;
}

// Every entry of the current folder named *.ttf, folders and special files
// included: Zelvic refuses what it can't read, at once, and says which. A
// folder that can't be listed (or only in part) is an error, not "no .ttf".
bool listFonts(std::vector<std::string>& names, std::error_code& error) {
    for (std::filesystem::directory_iterator it(".", error), end; !error && it != end;
         it.increment(error)) {
        std::string name = it->path().filename().string();
        if (hasTtfExtension(name)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end(), comesBefore);
    return !error;
}

bool isExecutableFile(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// Zelvic installed beside this program comes first, then PATH. Relative PATH
// entries are skipped: the current folder holds the fonts, not the tools.
std::optional<std::filesystem::path> findTool() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto beside = self.parent_path() / kToolName;
        if (isExecutableFile(beside)) {
            return beside;
        }
    }
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view entry = rest.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        if (entry.empty() || entry.front() != '/') {
            continue;
        }
        const auto candidate = std::filesystem::path(entry) / kToolName;
        if (isExecutableFile(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

// Runs the tool and waits for it; its exit status becomes ours.
int runTool(const std::filesystem::path& tool, const std::vector<std::string>& fonts) {
    std::vector<std::string> arguments{kToolName, kCollectionName};
    arguments.insert(arguments.end(), fonts.begin(), fonts.end());
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    std::fflush(stdout);
    pid_t child = 0;
    const int error = ::posix_spawn(&child, tool.c_str(), nullptr, nullptr, argv.data(), environ);
    if (error == E2BIG) {
        std::fputs(
            "Error: the names of the .ttf files are too long together for one command line.\n",
            stderr);
        return kFontsUnusable;
    }
    if (error != 0) {
        std::fprintf(stderr, "Error: %s: cannot start: %s.\n", tool.c_str(), std::strerror(error));
        return kCannotStart;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "Error: %s: lost track of it: %s.\n", tool.c_str(),
                         std::strerror(errno));
            return kCannotStart;
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    // Killed by a signal: answer as a shell would.
    return 128 + WTERMSIG(status);
}

}  // namespace

int main(int argc, char** argv) {
    // --help and --version only when alone; any other argument is ignored.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(
            "AllZelvic: joins every .ttf file of the current folder into Fonts.TTC"
            " with Zelvic\n\n"
            "usage:      cd FOLDER && AllZelvic\n"
            "--help:     show this text\n"
            "--version:  show the version\n",
            stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::fputs("AllZelvic " FONTTOOLS_VERSION "\n", stdout);
        return 0;
    }
    std::vector<std::string> fonts;
    std::error_code error;
    if (!listFonts(fonts, error)) {
        std::fprintf(stderr, "Error: cannot read the folder: %s.\n", error.message().c_str());
        return kFontsUnusable;
    }
    if (fonts.empty()) {
        std::fputs("Error: no .ttf file.\n", stdout);
        return kNoFonts;
    }
    const auto tool = findTool();
    if (!tool) {
        std::fprintf(stderr, "Error: %s: not found beside AllZelvic nor along PATH.\n", kToolName);
        return kCannotStart;
    }
    return runTool(*tool, fonts);
}
