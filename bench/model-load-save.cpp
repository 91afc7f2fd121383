// Loads a font with the name model and saves it back to the same path,
// unchanged: the work of one Kestrin session without the dialog. Timed from
// outside by model-load-save.sh, against cp of the same file.
#include <cstdio>

#include "FontStore.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: model-load-save FONT\n");
        return 2;
    }
    TableDirectory directory;
    NameTable names;
    return loadFont(argv[1], directory, names) && saveFont(argv[1], directory, names) ? 0 : 1;
}
