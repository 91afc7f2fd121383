#include <string>
#include <vector>

#include "Collection.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const int status = zelvic::runZelvic(arguments, zelvic::Console{});
    std::fflush(stdout);
    return status;
}
