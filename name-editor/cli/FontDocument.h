// One font file as kestrin-names edits it: a single font or a collection,
// each font's names editable, saved whole. Only the directories and names
// are held; the save copies every other table from the file.
#pragma once

#include <cstddef>
#include <string>

#include "FontFile.h"

namespace names {

class FontDocument {
  public:
    // On failure `problem` says why, as the user reads it ("invalid ttf
    // file: ..."), and the document is empty.
    bool load(const std::string& path, std::string& problem);
    std::size_t fontCount() const { return file_.count(); }
    bool isCollection() const { return file_.isCollection(); }
    NameTable& names(std::size_t index) { return file_.members.at(index).names; }
    TableDirectory& directory(std::size_t index) { return file_.members.at(index).directory; }
    // Writes the file to `target`, the loaded file itself or another.
    bool save(const std::string& target, std::string& problem);

  private:
    FontFile file_;
};

}  // namespace names
