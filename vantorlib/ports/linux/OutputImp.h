// Platform half of Output: the width of a terminal.
#pragma once

class OutputImp {
public:
	// The column count of the terminal on fd; 0 when fd is no terminal or the width is unknown.
	static long TerminalWidth(int fd);
};
