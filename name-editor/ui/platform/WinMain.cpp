// The process entry of a program built on the framework.
#include "Afx.h"

int main(int argc, char** argv) {
    return AfxWinMain(argc, argv);
}
