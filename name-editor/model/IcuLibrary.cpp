#include "IcuLibrary.h"

#include <dlfcn.h>
#include <unicode/uvernum.h>

#include <optional>

namespace nametext {

namespace {

// ICU's functions carry the library's version in their names (ucnv_open is
// ucnv_open_72); the headers' renaming gives the name to look up.
#define KESTRIN_ICU_STRING(x) #x
#define KESTRIN_ICU_SYMBOL(x) KESTRIN_ICU_STRING(x)

template <typename Function>
bool lookUp(void* library, const char* name, Function& function) {
    // dlsym gives an object pointer; POSIX guarantees it converts to the function's.
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

std::optional<IcuLibrary> load() {
    // Never closed: the converters' code must outlive every converter.
    void* library = dlopen("libicuuc.so." U_ICU_VERSION_SHORT, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return std::nullopt;
    }
    IcuLibrary icu;
    const bool complete =
        lookUp(library, KESTRIN_ICU_SYMBOL(ucnv_open), icu.open) &&
        lookUp(library, KESTRIN_ICU_SYMBOL(ucnv_close), icu.close) &&
        lookUp(library, KESTRIN_ICU_SYMBOL(ucnv_reset), icu.reset) &&
        lookUp(library, KESTRIN_ICU_SYMBOL(ucnv_toUChars), icu.toUChars) &&
        lookUp(library, KESTRIN_ICU_SYMBOL(ucnv_fromUChars), icu.fromUChars) &&
        lookUp(library, KESTRIN_ICU_SYMBOL(ucnv_setToUCallBack), icu.setToUCallBack) &&
        lookUp(library, KESTRIN_ICU_SYMBOL(ucnv_setFromUCallBack), icu.setFromUCallBack) &&
        lookUp(library, KESTRIN_ICU_SYMBOL(ucnv_cbToUWriteUChars), icu.cbToUWriteUChars) &&
        lookUp(library, KESTRIN_ICU_SYMBOL(ucnv_getMaxCharSize), icu.getMaxCharSize) &&
        lookUp(library, KESTRIN_ICU_SYMBOL(UCNV_FROM_U_CALLBACK_STOP), icu.fromUCallbackStop);
    if (!complete) {
        return std::nullopt;
    }
    return icu;
}

}  // namespace

const IcuLibrary* icuLibrary() {
    static const std::optional<IcuLibrary> library = load();
    return library ? &*library : nullptr;
}

}  // namespace nametext
