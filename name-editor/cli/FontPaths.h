// The font files a command line names: files as given, folders as the font
// files in them (and in their subfolders with -r).
#pragma once

#include <string>
#include <vector>

namespace names {

struct FontPath {
    std::string path;        // as given, or the folder as given joined with the file's place in it
    std::string outputName;  // where it goes under --output: its name, or its place in the folder
    std::string problem;     // a folder that could not be listed: the reason, and no font
};

// Files with the extensions .ttf .otf .ttc .otc (in any case) of a folder,
// sorted by path; other arguments are taken as they are, to fail when read
// if they are no font. Subfolders only with `recursive`, never through a
// symbolic link (a link can lead back into the tree).
std::vector<FontPath> expandFontPaths(const std::vector<std::string>& arguments, bool recursive);

}  // namespace names
