// One font file as kestrin-names edits it: a single font or a collection,
// loaded through the model, each font's names editable, saved whole.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "NameTable.h"
#include "TableDirectory.h"

namespace names {

class FontDocument {
  public:
    // On failure `problem` says why, as the user reads it ("invalid ttf
    // file: ..."), and the document is empty.
    bool load(const std::string& path, std::string& problem);
    std::size_t fontCount() const { return fonts_.size(); }
    bool isCollection() const { return false; }
    NameTable& names(std::size_t index) { return fonts_.at(index)->names; }
    TableDirectory& directory(std::size_t index) { return fonts_.at(index)->directory; }
    // Writes the file to `target`, the loaded file itself or another.
    bool save(const std::string& target, std::string& problem);

  private:
    struct Font {
        TableDirectory directory;
        NameTable names;
    };
    std::string path_;
    std::vector<std::unique_ptr<Font>> fonts_;
};

}  // namespace names
