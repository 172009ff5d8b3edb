// Linux keeps a nice value per thread (addressed by its tid). Priority = -nice, so the Windows
// range -15 (idle) .. 15 (time critical) becomes nice 15 .. -15.

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/Threads.h"

namespace pw::platform {

namespace {
constexpr int kMinNice = -20;
constexpr int kMaxNice = 19;
}  // namespace

ThreadId CurrentThreadId() {
    return static_cast<ThreadId>(::syscall(SYS_gettid));
}

bool SetThreadPriorityValue(ThreadId thread, int priority) {
    const int nice = std::clamp(-priority, kMinNice, kMaxNice);
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) == 0;
}

std::optional<int> ThreadPriorityValue(ThreadId thread) {
    // -1 is also a valid nice value: only errno tells a failure apart.
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    if (nice == -1 && errno != 0) return std::nullopt;
    return -nice;
}

}  // namespace pw::platform
