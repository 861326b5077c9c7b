/* The least a login check can do: read the reminder file. */
#include <fcntl.h>
#include <unistd.h>

int main(void)
{
    char date[48];
    int fd = open("rdate", O_RDONLY);
    if (fd < 0)
        return 1;
    ssize_t count = read(fd, date, sizeof date);
    close(fd);
    return count > 0 ? 0 : 1;
}
