// The quillfern command: the shell's entry point.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
	if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
		std::printf("quillfern %s\n", QUILLFERN_VERSION);
		return 0;
	}
	std::fprintf(stderr, "usage: quillfern [--root DIR] COMMAND [ARGUMENTS...]\n");
	return 2;
}
