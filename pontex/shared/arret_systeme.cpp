#include "pontex/shared/arret_systeme.h"

#include <atomic>

namespace pontex {

namespace {
// Raised by a signal handler (Linux) or by the console's handler thread
// (Windows): a lock-free atomic, which both may touch.
std::atomic<bool> arret{false};
static_assert(std::atomic<bool>::is_always_lock_free);
}  // namespace

bool arret_demande() { return arret.load(std::memory_order_relaxed); }
void demande_arret() { arret.store(true, std::memory_order_relaxed); }
void oublie_arret() { arret.store(false, std::memory_order_relaxed); }

}  // namespace pontex
