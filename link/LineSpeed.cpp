// Only <asm/termbits.h> here: it cannot share a unit with <termios.h>.
#include "link/SerialLine.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

int setCustomLineSpeed(int fd, int bitsPerSecond)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    t.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = speed_t(bitsPerSecond);
    t.c_ospeed = speed_t(bitsPerSecond);
    if (::ioctl(fd, TCSETS2, &t) != 0)
        return errno;
    return 0;
}
