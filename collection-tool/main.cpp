#include <sys/resource.h>

#include <string>
#include <vector>

#include "Collection.h"

int main(int argc, char** argv) {
    // make keeps every input open until the collection is written; let the
    // number of fonts be bounded by the system's hard limit, not the soft one.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const int status = zelvic::runZelvic(arguments, zelvic::Console{});
    std::fflush(stdout);
    return status;
}
