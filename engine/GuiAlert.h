// How the engine shows an alert for an operation the user started: the display layer installs
// the procedure that shows it (the shell prints it on standard error). Without one, alerts go
// to the diagnostic output.
#pragma once

#include "TString.h"

class GuiAlert {
public:
	typedef void (*Proc)(const TString& title, const TString& message);

	static void ProcSet(Proc proc);

	// A failed-operation alert with its title and message.
	static void Failed(const TString& title, const TString& message);

	// An alert written as one text: the title, a TAB, then the message. A text without a TAB
	// is all message.
	static void Text(const TString& text);

private:
	static Proc sProc;
};
