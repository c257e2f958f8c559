#include "platform/thread_priority.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vorlanx {

void SetCurrentThreadPriorityStep(int steps) {
    // On Linux the nice value belongs to the thread, addressed by its thread id.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, tid);
    if (current == -1 && errno != 0)
        return;
    (void)setpriority(PRIO_PROCESS, tid, current - steps);
}

void SetCurrentThreadName(const char* name) {
    char shortName[16] = {};
    std::strncpy(shortName, name, sizeof shortName - 1);
    (void)pthread_setname_np(pthread_self(), shortName);
}

}  // namespace vorlanx
