// Kept apart from <termios.h>: the kernel's termios2 header cannot share a unit with it.
#include "SerialDriverDouble.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <dlfcn.h>
#include <linux/serial.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <mutex>

namespace {

using IoctlFn = int (*)(int, unsigned long, ...);

IoctlFn realIoctl() {
    static const auto fn = reinterpret_cast<IoctlFn>(::dlsym(RTLD_NEXT, "ioctl"));
    return fn;
}

struct Driver {
    std::mutex mutex;
    bool attached = false;
    dev_t device = 0;
    bool rs485Supported = true;
    serial_rs485 rs485{};
    int rs485Writes = 0;
    bool refuseCustomRates = false;
    int refusedRates = 0;
};

Driver& driver() {
    static Driver d;
    return d;
}

bool isAttached(int fd) {
    struct stat st;
    std::lock_guard lock(driver().mutex);
    return driver().attached && ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == driver().device;
}

// A hung-up terminal answers EIO to this as to every other call.
bool hungUp(int fd) {
    termios2 t;
    return realIoctl()(fd, TCGETS2, &t) != 0;
}

int answer(int fd, unsigned long request, void* arg) {
    Driver& d = driver();
    switch (request) {
    case TIOCGICOUNT:
        if (hungUp(fd))
            return -1;
        std::memset(arg, 0, sizeof(serial_icounter_struct));
        return 0;
    case TIOCGRS485:
    case TIOCSRS485: {
        std::lock_guard lock(d.mutex);
        if (!d.rs485Supported) {
            errno = ENOTTY;
            return -1;
        }
        if (request == TIOCGRS485) {
            std::memcpy(arg, &d.rs485, sizeof d.rs485);
        } else {
            std::memcpy(&d.rs485, arg, sizeof d.rs485);
            ++d.rs485Writes;
        }
        return 0;
    }
    default: { // TCSETS2
        const auto* t = static_cast<const termios2*>(arg);
        std::lock_guard lock(d.mutex);
        if (d.refuseCustomRates && ((t->c_cflag & CBAUD) == BOTHER)) {
            ++d.refusedRates;
            errno = EINVAL;
            return -1;
        }
        return realIoctl()(fd, request, arg);
    }
    }
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    const bool driverCall =
        request == TIOCGICOUNT || request == TIOCGRS485 || request == TIOCSRS485 || request == TCSETS2;
    if (driverCall && isAttached(fd))
        return answer(fd, request, arg);
    return realIoctl()(fd, request, arg);
}

TSerialDriverDouble::TSerialDriverDouble(int fd) {
    struct stat st;
    Driver& d = driver();
    std::lock_guard lock(d.mutex);
    d.attached = ::fstat(fd, &st) == 0;
    d.device = st.st_rdev;
    d.rs485Supported = true;
    d.rs485 = {};
    d.rs485Writes = 0;
    d.refuseCustomRates = false;
    d.refusedRates = 0;
}

TSerialDriverDouble::~TSerialDriverDouble() {
    std::lock_guard lock(driver().mutex);
    driver().attached = false;
}

void TSerialDriverDouble::SetRs485Supported(bool supported) {
    std::lock_guard lock(driver().mutex);
    driver().rs485Supported = supported;
}

void TSerialDriverDouble::SetRs485Flags(quint32 flags) {
    std::lock_guard lock(driver().mutex);
    driver().rs485.flags = flags;
}

quint32 TSerialDriverDouble::Rs485Flags() const {
    std::lock_guard lock(driver().mutex);
    return driver().rs485.flags;
}

int TSerialDriverDouble::Rs485Writes() const {
    std::lock_guard lock(driver().mutex);
    return driver().rs485Writes;
}

void TSerialDriverDouble::RefuseCustomRates(bool refuse) {
    std::lock_guard lock(driver().mutex);
    driver().refuseCustomRates = refuse;
}

int TSerialDriverDouble::RefusedRates() const {
    std::lock_guard lock(driver().mutex);
    return driver().refusedRates;
}

bool LineSpeeds(int fd, quint32& input, quint32& output) {
    termios2 t;
    if (realIoctl()(fd, TCGETS2, &t) != 0)
        return false;
    input = t.c_ispeed;
    output = t.c_ospeed;
    return true;
}
