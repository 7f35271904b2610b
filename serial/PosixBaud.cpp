// Kept apart: the kernel's termios2 header cannot share a unit with the C library's <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <QtGlobal>

bool SetCustomBaudRate(int fd, quint32 rate) {
    struct termios2 tio;
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_cflag &= ~(CBAUD << IBSHIFT);
    tio.c_cflag |= BOTHER << IBSHIFT;
    tio.c_ispeed = rate;
    tio.c_ospeed = rate;
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}
