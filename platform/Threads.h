#pragma once
// Per-thread scheduling priority in Windows terms: higher = more urgent, 0 = normal.
//
// Threads: any thread may call these, for itself or for another live thread of this process.

#include <cstdint>
#include <optional>

namespace pw::platform {

// The operating system's id of a thread of this process.
using ThreadId = std::uint64_t;

ThreadId CurrentThreadId();

// Asks the OS to give the thread this priority; false when it refuses (raising a priority needs
// a privilege) or the thread is gone. The thread keeps what it had then.
bool SetThreadPriorityValue(ThreadId thread, int priority);
// The priority the OS really gives the thread now; nullopt when the thread is gone.
std::optional<int> ThreadPriorityValue(ThreadId thread);

}  // namespace pw::platform
