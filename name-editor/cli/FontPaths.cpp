#include "FontPaths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "Files.h"

namespace names {

namespace {

namespace fs = std::filesystem;

// On the path's text, not through fs::path's parts: a folder of a few
// hundred small fonts spent more on taking paths apart than on reading them.
bool hasFontExtension(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    // A name that only starts with a dot (".ttf") has no extension.
    if (dot == std::string_view::npos || dot == 0 || path[dot - 1] == '/' ||
        path.find('/', dot) != std::string_view::npos) {
        return false;
    }
    std::string extension(path.substr(dot));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".ttf" || extension == ".otf" || extension == ".ttc" || extension == ".otc";
}

template <typename Iterator>
void collect(const fs::path& folder, std::vector<FontPath>& found, std::string& problem) {
    // Entries are the folder's path, a slash where it has none, and the
    // name under it.
    std::string prefix = folder.native();
    if (!prefix.empty() && prefix.back() != '/') {
        prefix += '/';
    }
    std::error_code error;
    Iterator it(folder, fs::directory_options::none, error);
    for (; !error && it != Iterator(); it.increment(error)) {
        const std::string& path = it->path().native();
        std::error_code ignored;
        if (hasFontExtension(path) && it->is_regular_file(ignored)) {
            found.push_back({path,
                             path.starts_with(prefix) && path.size() > prefix.size()
                                 ? path.substr(prefix.size())
                                 : it->path().lexically_relative(folder).string(),
                             {}});
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
