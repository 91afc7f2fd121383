// Removing named temporaries when a signal ends the process. An unnamed
// (O_TMPFILE) file needs none of this: the kernel drops it with the last
// descriptor.
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

#include "FilesInternal.h"

namespace filecore::detail {

namespace {

// Named temporaries that a signal would otherwise leave behind. The handler
// may only touch async-signal-safe state: fixed slots whose flag says when
// the path in them is complete.
struct CleanupSlot {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 holds a path
    std::array<char, 4096> path{};
};
static_assert(std::atomic<int>::is_always_lock_free);
std::array<CleanupSlot, 16> cleanupSlots;
constexpr std::array<int, 3> kCleanupSignals = {SIGTERM, SIGINT, SIGHUP};

extern "C" void removeTemporariesAndDie(int signal) {
    for (CleanupSlot& slot : cleanupSlots) {
        if (slot.state.load() == 2) {
            ::unlink(slot.path.data());
        }
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
}

// Only signals nobody else handles are taken over.
void installCleanupHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int signal : kCleanupSignals) {
            struct sigaction current {};
            if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) {
                continue;
            }
            struct sigaction handler {};
            handler.sa_handler = removeTemporariesAndDie;
            sigemptyset(&handler.sa_mask);
            ::sigaction(signal, &handler, nullptr);
        }
    });
}

}  // namespace

int registerTemporary(const std::string& path) {
    if (path.size() >= CleanupSlot{}.path.size()) {
        return -1;
    }
    installCleanupHandlers();
    for (std::size_t i = 0; i < cleanupSlots.size(); ++i) {
        int expected = 0;
        if (cleanupSlots[i].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(cleanupSlots[i].path.data(), path.c_str(), path.size() + 1);
            cleanupSlots[i].state.store(2);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void unregisterTemporary(int& slot) {
    if (slot >= 0) {
        cleanupSlots[static_cast<std::size_t>(slot)].state.store(0);
        slot = -1;
    }
}

}  // namespace filecore::detail
