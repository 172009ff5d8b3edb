// Windows keeps a priority per thread in exactly the terms of platform/Threads.h: the values
// THREAD_PRIORITY_IDLE (-15) .. THREAD_PRIORITY_TIME_CRITICAL (15). SetThreadPriority refuses
// the numbers between the named ones, so those fail as a refused priority does.

#include <windows.h>

#include "platform/Threads.h"
#include "platform/win32/Win32Handle.h"

namespace pw::platform {

namespace {

win32::UniqueHandle OpenThreadFor(ThreadId thread, DWORD access) {
    // Thread ids are DWORDs; a larger number names no thread.
    if (thread > 0xFFFFFFFFu) return {};
    return win32::UniqueHandle(::OpenThread(access, FALSE, static_cast<DWORD>(thread)));
}

}  // namespace

ThreadId CurrentThreadId() {
    return ::GetCurrentThreadId();
}

bool SetThreadPriorityValue(ThreadId thread, int priority) {
    const auto handle = OpenThreadFor(thread, THREAD_SET_INFORMATION);
    return handle.valid() && ::SetThreadPriority(handle.get(), priority);
}

std::optional<int> ThreadPriorityValue(ThreadId thread) {
    const auto handle = OpenThreadFor(thread, THREAD_QUERY_INFORMATION);
    if (!handle.valid()) return std::nullopt;
    const int priority = ::GetThreadPriority(handle.get());
    if (priority == THREAD_PRIORITY_ERROR_RETURN) return std::nullopt;
    return priority;
}

}  // namespace pw::platform
