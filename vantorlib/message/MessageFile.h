// Message files: an article with its header block and body sections, stored under a name
// derived from its message-id.
#pragma once

class MessageFile {
public:
	// Body line lengths for composed messages.
	static long LineLenMin() { return 60; }
	static long LineLenMax() { return 80; }
	static long LineLenMakeValid(long length);
};
