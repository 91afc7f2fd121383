// A font file as the model edits it: one font, or a TrueType Collection of
// several ('ttcf' 1.0 or 2.0), each font with its own table directory and
// names. Loading reads the directories and the 'name' tables and nothing
// else; saving copies every table nobody edited straight from the file that
// was loaded, inside the kernel, after making sure it is still that file.
//
// A collection is saved with every table where it was: only 'name' tables
// that were edited are written anew. An edited 'name' that no other font
// uses goes back into its own place when it fits there (or lies last in the
// file), else it is appended at the end and its old place is zeroed; an
// edited font whose 'name' is shared with fonts that keep theirs gets one of
// its own, appended (fonts of one sharing group edited alike keep sharing).
// Every directory's checksums are those of the bytes written, 'head' is left
// alone, the header keeps its version, and the DSIG of a 2.0 header is dropped
// once anything changed (tag, length and offset zero, its bytes gone).
// A single font is saved as writeFont() saves it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FontErrors.h"
#include "NameTable.h"
#include "TableDirectory.h"

// One font of the file: its directory (where each table lies in the file
// that was loaded) and its names, edited in place.
struct FontMember {
    TableDirectory directory;
    NameTable names;
};

class FontFile {
  public:
    // The collection header's version (0x00010000 or 0x00020000), or 0 for
    // a file that is one font.
    std::uint32_t collectionVersion = 0;
    // In the order of the file; one element for a single font. Never resized
    // after a load, so pointers to members and their records stay valid.
    std::vector<FontMember> members;

    bool isCollection() const { return collectionVersion != 0; }
    std::size_t count() const { return members.size(); }

    // The member's full name as a chooser lists it, numbered from 1:
    // "1: Noto Sans CJK JP Regular". The name is the font's full name (ID
    // 4), else family and subfamily (IDs 1 and 2), else its PostScript name
    // (ID 6), Windows English records first, as currently edited; "3" alone
    // when the font has none of them.
    std::string memberLabel(std::size_t index) const;

  private:
    friend LoadError readFontFile(const std::string&, FontFile&, std::string&);
    friend SaveError writeFontFile(const std::string&, FontFile&, std::string&);
    // Per member of a collection, the name table as it would have been
    // written right after the load: a member whose names still write these
    // bytes is unedited and keeps its table as it is in the file. A single
    // font rewrites its one table on every save, so it keeps none.
    std::vector<std::vector<std::uint8_t>> namesAsLoaded_;
    // Where each member's offset table lies in the file.
    std::vector<std::uint64_t> directoryAt_;
    // A 2.0 header's DSIG fields: tag, length, offset.
    std::uint32_t dsigTag_ = 0, dsigLength_ = 0, dsigOffset_ = 0;
};

// Reads the font or collection at `path`. On failure `reason` holds the
// system's reason ("Permission denied") or the structure at fault ("Fonts 1
// and 2 share one table directory."), and `file` is unchanged.
LoadError readFontFile(const std::string& path, FontFile& file, std::string& reason);
// Writes `file` to `path` atomically (filecore::FileReplacement), copying
// the tables nobody edited from the file it was loaded from; refused with
// SaveError::SourceChanged when that file is no longer as it was loaded. On
// success `file` refers to what was written when `path` is the file it was
// loaded from (so a later save copies from there); on failure it is unchanged.
SaveError writeFontFile(const std::string& path, FontFile& file, std::string& reason);

// As readFontFile/writeFontFile, the failure shown through the error
// reporter (FontStore.h) before they return false.
bool loadFontFile(const char* path, FontFile& file);
bool saveFontFile(const char* path, FontFile& file);
