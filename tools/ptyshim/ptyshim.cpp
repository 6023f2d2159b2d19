// LD_PRELOAD shim that gives pseudo-terminals the modem lines of a real
// serial port.
//
// A Linux pty has no modem lines, so TIOCMGET and friends fail on it. Wine's
// serial driver reads the modem status while it waits for a comm event and
// ends the wait with an error when it cannot, so on a bare pty WaitCommEvent
// returns at once instead of pending until a character arrives. This shim
// answers the four modem-line requests for pty slaves from a per-descriptor
// register (DSR, CTS and DCD up, as on a cable to a powered device) and
// passes every other request, and every other descriptor, to the real ioctl.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>

namespace {

using IoctlFn = int (*)(int, unsigned long, void*);

constexpr int MAX_FDS = 4096;
constexpr int LINES_UP = TIOCM_DSR | TIOCM_CTS | TIOCM_CAR;
std::atomic<int> modemLines[MAX_FDS];

IoctlFn RealIoctl() {
    static IoctlFn real = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

// Unix98 pty slaves live on majors 136 to 143.
bool IsPtySlave(int fd) {
    struct stat st;
    if (fd < 0 || fd >= MAX_FDS || fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

bool IsModemRequest(unsigned long request) {
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

int AnswerModemRequest(int fd, unsigned long request, int* arg) {
    if (arg == nullptr) {
        errno = EFAULT;
        return -1;
    }
    std::atomic<int>& lines = modemLines[fd];
    int current = lines.load() | LINES_UP;
    switch (request) {
        case TIOCMGET:
            *arg = current;
            return 0;
        case TIOCMSET:
            current = *arg | LINES_UP;
            break;
        case TIOCMBIS:
            current |= *arg;
            break;
        default:  // TIOCMBIC
            current &= ~*arg;
            current |= LINES_UP;
            break;
    }
    lines.store(current);
    return 0;
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (IsModemRequest(request) && IsPtySlave(fd)) {
        return AnswerModemRequest(fd, request, static_cast<int*>(arg));
    }
    IoctlFn real = RealIoctl();
    if (real == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    return real(fd, request, arg);
}
