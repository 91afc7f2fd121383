// Removing named temporaries when a signal ends the process. An unnamed
// (O_TMPFILE) file needs none of this: the kernel drops it with the last
// descriptor.
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
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

// Every signal whose default action ends the process, but SIGXFSZ, which is
// ignored instead (see ignoreFileSizeSignal) and SIGKILL and SIGSTOP, which
// can't be caught. Real-time signals follow at run time.
constexpr std::array<int, 21> kEndingSignals = {
    SIGHUP,  SIGINT,  SIGQUIT, SIGILL,    SIGTRAP, SIGABRT, SIGBUS,
    SIGFPE,  SIGUSR1, SIGSEGV, SIGUSR2,   SIGPIPE, SIGALRM, SIGTERM,
    SIGXCPU, SIGIO,   SIGPROF, SIGVTALRM, SIGSYS,  SIGPWR,  SIGSTKFLT};

template <typename Visit>
void forEachEndingSignal(Visit visit) {
    for (int signal : kEndingSignals) {
        visit(signal);
    }
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
        visit(signal);
    }
}

extern "C" void removeTemporariesAndDie(int signal) {
    const int saved = errno;
    for (CleanupSlot& slot : cleanupSlots) {
        if (slot.state.load() == 2) {
            ::unlink(slot.path.data());
        }
    }
    // The signal is blocked while this runs: raised again with the default
    // action, it ends the process as it would have, once this returns.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
    errno = saved;
}

// Only signals nobody else handles are taken over: a program's own handler
// (or an ignored signal) is left as it is.
void installCleanupHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        forEachEndingSignal([](int signal) {
            struct sigaction current {};
            if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
                (current.sa_flags & SA_SIGINFO) != 0) {
                return;
            }
            struct sigaction handler {};
            handler.sa_handler = removeTemporariesAndDie;
            // One cleanup at a time: a second signal waits for the first.
            sigfillset(&handler.sa_mask);
            ::sigaction(signal, &handler, nullptr);
        });
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

SignalsHeld::SignalsHeld() {
    installCleanupHandlers();
    sigset_t all;
    sigfillset(&all);
    held_ = ::pthread_sigmask(SIG_BLOCK, &all, &previous_) == 0;
}

SignalsHeld::~SignalsHeld() {
    if (held_) {
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
}

void ignoreFileSizeSignal() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
            (current.sa_flags & SA_SIGINFO) == 0) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            ::sigaction(SIGXFSZ, &ignore, nullptr);
        }
    });
}

}  // namespace filecore::detail
