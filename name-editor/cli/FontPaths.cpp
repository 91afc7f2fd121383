#include "FontPaths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "Files.h"

namespace names {

namespace {

namespace fs = std::filesystem;

bool hasFontExtension(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".ttf" || extension == ".otf" || extension == ".ttc" || extension == ".otc";
}

template <typename Iterator>
void collect(const fs::path& folder, std::vector<FontPath>& found, std::string& problem) {
    std::error_code error;
    Iterator it(folder, fs::directory_options::none, error);
    for (; !error && it != Iterator(); it.increment(error)) {
        std::error_code ignored;
        if (hasFontExtension(it->path()) && it->is_regular_file(ignored)) {
            found.push_back(
                {it->path().string(), it->path().lexically_relative(folder).string(), {}});
        }
    }
    if (error) {
        problem = error.message();
    }
}

}  // namespace

std::vector<FontPath> expandFontPaths(const std::vector<std::string>& arguments, bool recursive) {
    std::vector<FontPath> paths;
    for (const std::string& argument : arguments) {
        std::error_code error;
        if (!fs::is_directory(argument, error)) {
            paths.push_back({argument, fs::path(argument).filename().string(), {}});
            continue;
        }
        std::vector<FontPath> found;
        std::string problem;
        if (recursive) {
            collect<fs::recursive_directory_iterator>(argument, found, problem);
        } else {
            collect<fs::directory_iterator>(argument, found, problem);
        }
        std::sort(found.begin(), found.end(),
                  [](const FontPath& a, const FontPath& b) { return a.path < b.path; });
        paths.insert(paths.end(), found.begin(), found.end());
        if (!problem.empty()) {
            paths.push_back({argument, {}, problem});
        }
    }
    // A file reached twice (a folder and a file in it, two spellings, a
    // hard link) is edited once: a second edit would find the first done,
    // and a second output would replace the first.
    filecore::SameFiles seen;
    std::size_t index = 0;
    std::erase_if(paths, [&](const FontPath& font) {
        return font.problem.empty() && seen.add(font.path, index++).has_value();
    });
    return paths;
}

}  // namespace names
