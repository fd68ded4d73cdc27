// The POSIX half of SyncBatch: the system calls on the descriptors it keeps.
#pragma once

#include <string>

#include "Error.h"

class SyncBatchImp {
public:
	enum Where { WhereNamed, WhereRemoved, WhereUnknown };

	// A second descriptor of the open file fd, closed on exec.
	static Error Duplicate(int fd, int* copy);
	// Starts writing the file's dirty pages to disk without waiting for them.
	static void WriteBackStart(int fd);
	// Whether the file has no name left (or cannot be looked at).
	static bool Removed(int fd);
	// Waits until the file's data (and what is needed to read it back) is on disk.
	static Error DataSync(int fd);
	// The path the file has now; WhereRemoved when no name is left to it.
	static Where PathOf(int fd, std::string& path);
	// Makes the entries of a folder durable.
	static Error DirSync(const char* dir);
	// Everything written on the volume of fd: the fallback when a folder cannot be found.
	static Error VolumeSync(int fd);
	static void Close(int fd);
	// The descriptors this process may have open at once.
	static size_t DescriptorsMax();
};
