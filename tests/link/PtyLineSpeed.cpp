// Only <asm/termbits.h> here: it cannot share a unit with <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

int lineSpeedOf(int fd)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return -1;
    return int(t.c_ospeed);
}
