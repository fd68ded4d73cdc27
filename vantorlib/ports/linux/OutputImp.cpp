#include "OutputImp.h"

#include <sys/ioctl.h>
#include <unistd.h>

long OutputImp::TerminalWidth(int fd)
{
	struct winsize ws {};
	if (fd < 0 || !isatty(fd) || ioctl(fd, TIOCGWINSZ, &ws) != 0)
		return 0;
	return long(ws.ws_col);
}
