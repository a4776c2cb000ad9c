// The flag a run's signal handler sets to the signal's number (0 while none
// came). The handler writes it and every thread of the run reads it: a
// lock-free atomic, which both may touch.
#ifndef VXH_STOPFLAG_H
#define VXH_STOPFLAG_H

#include <atomic>

namespace vxh {

using StopFlag = std::atomic<int>;
static_assert(StopFlag::is_always_lock_free);

} // namespace vxh

#endif
