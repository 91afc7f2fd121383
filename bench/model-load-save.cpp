// Loads a font or collection with the name model and saves it back to the
// same path: the work of one Kestrin session without the dialog. With MEMBER
// and FAMILY, that font's family name (ID 1) is changed first. Timed from
// outside by model-load-save.sh, against dd of the same file. With --load,
// only the load.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "FontFile.h"

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0) {
        FontFile file;
        return loadFontFile(argv[2], file) ? 0 : 1;
    }
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: model-load-save [--load] FONT [MEMBER FAMILY]\n");
        return 2;
    }
    FontFile file;
    if (!loadFontFile(argv[1], file)) {
        return 1;
    }
    if (argc == 4) {
        const long member = std::strtol(argv[2], nullptr, 10);
        if (member < 1 || static_cast<unsigned long>(member) > file.count()) {
            std::fprintf(stderr, "model-load-save: no font %s\n", argv[2]);
            return 2;
        }
        for (auto& record : file.members[static_cast<std::size_t>(member - 1)].names.records) {
            if (record->nameID == 1) {
                record->text = argv[3];
            }
        }
    }
    return saveFontFile(argv[1], file) ? 0 : 1;
}
