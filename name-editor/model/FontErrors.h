// Why a font could not be loaded or saved. The model's parts report these;
// only loadFont and saveFont turn them into messages.
#pragma once

enum class LoadError {
    None,
    Usage,              // no path was given
    CannotOpen,         // not there, not a regular file, or not readable
    Invalid,            // not one TrueType/OpenType font, or its structures don't hold
    NameTableTooLarge,  // the names could never be written back into 16-bit fields
};

enum class SaveError {
    None,
    CannotOpen,         // the target or its folder may not be written
    WriteError,         // writing or replacing failed; the original is kept
    NameTableTooLarge,  // the names don't fit the table's 16-bit fields
    NameNotEncodable,   // a changed name can't be stored in its record's encoding
    SourceChanged,      // the file loaded from is gone or no longer as it was loaded
};
