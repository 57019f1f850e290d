#include "core/termination.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<uint32_t> count{0};
std::atomic<int> last{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

}  // namespace

void NoteTerminationSignal(int sig) noexcept {
    last.store(sig, std::memory_order_relaxed);
    count.fetch_add(1, std::memory_order_release);
}

uint32_t TerminationSignals() noexcept { return count.load(std::memory_order_acquire); }

const char* LastTerminationSignalName() noexcept {
    switch (last.load(std::memory_order_relaxed)) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        case SIGQUIT: return "SIGQUIT";
        case SIGUSR1: return "SIGUSR1";
        case SIGUSR2: return "SIGUSR2";
        case SIGALRM: return "SIGALRM";
        default: return "a signal";
    }
}
