// Shows the progress of whole-directory work while a command waits for it: the engine's
// mdir-updated texts of one message directory. On a terminal one line is redrawn in place with
// the rate; otherwise each finished step (the last text before the status is cleared) is one
// line. Everything goes to standard error.
#pragma once

#include <string>

#include "TString.h"

class BulkProgress {
public:
	// name: the directory as the command line named it, shown before each text.
	BulkProgress(const TString& mdir, const std::string& name);
	~BulkProgress();
	BulkProgress(const BulkProgress&) = delete;
	BulkProgress& operator=(const BulkProgress&) = delete;

	// Ends a line left open on the terminal.
	void Finish();

	// Whether progress is drawn in place (standard error is a terminal).
	static bool Terminal();

private:
	static void received(void* context, const TString& payload);
	void update(const std::string& text);

	TString mMdir;
	std::string mName;
	std::string mLast;  // the text of the step under way
	bool mOpen = false;  // a line is drawn on the terminal and not ended
	long long mStepStart = 0;
};
