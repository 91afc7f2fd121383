// ICU's converters, loaded when the first name needs one. Most fonts store
// their names as UTF-16 or Mac OS Roman, which the model reads without them,
// and linking the library made every run of the command-line tools pay for
// loading it (and the C++ runtime it needs): more than the rest of a small
// font's edit.
#pragma once

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

namespace nametext {

struct IcuLibrary {
    decltype(&ucnv_open) open = nullptr;
    decltype(&ucnv_close) close = nullptr;
    decltype(&ucnv_reset) reset = nullptr;
    decltype(&ucnv_toUChars) toUChars = nullptr;
    decltype(&ucnv_fromUChars) fromUChars = nullptr;
    decltype(&ucnv_setToUCallBack) setToUCallBack = nullptr;
    decltype(&ucnv_setFromUCallBack) setFromUCallBack = nullptr;
    decltype(&ucnv_cbToUWriteUChars) cbToUWriteUChars = nullptr;
    decltype(&ucnv_getMaxCharSize) getMaxCharSize = nullptr;
    UConverterFromUCallback fromUCallbackStop = nullptr;
};

// The library of the version the model was built against, or nullptr where
// it can't be loaded (then no name of a converted encoding can be read or
// written, as with an encoding nobody knows).
const IcuLibrary* icuLibrary();

}  // namespace nametext
