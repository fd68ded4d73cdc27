// Alerts for operations the user started. They go through the diagnostic channel's alert
// procedure, which the display layer installs (the shell prints them on standard error).
#pragma once

#include "TString.h"

class GuiAlert {
public:
	// A failed-operation alert with its title and message.
	static void Failed(const TString& title, const TString& message);

	// An alert written as one text: the title, a TAB, then the message. A text without a TAB
	// is all message.
	static void Text(const TString& text);
};
