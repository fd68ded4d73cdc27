// A running engine on a private data root for the message-store tests, with helpers that
// write message files, wait for the message-store thread and collect its events and
// diagnostics.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TString.h"
#include "TestSupport.h"

class StoreFixture : public ::testing::Test {
protected:
	void SetUp() override;
	void TearDown() override;

	void start();
	void stop();
	// Holds the worker threads (as during start-up) or lets them run.
	void hold(bool held);
	// Waits until the message store has nothing left to do, delivering events.
	void settle();

	// A user folder under "Saved", created with an empty cache.
	TString folder(const std::string& name);
	// A message file with the given message-id, written outside the store (in the temp folder
	// of the test) under its proper name; returns its path.
	static std::string messageText(const std::string& id, const std::string& state = "UCNUNxxxxx",
		const std::string& subject = "Subject");
	std::string message(const std::string& id, const std::string& state = "UCNUNxxxxx",
		const std::string& subject = "Subject");
	static std::string leafOf(const std::string& id);

	// The message-ids in an mdir's cache, sorted; and of its message files.
	std::vector<std::string> cacheIds(const TString& mdir);
	std::vector<std::string> fileIds(const TString& mdir);
	std::vector<std::string> entries(const TString& dir);

	// Events seen, as "NAME:payload" with line feeds shown as '|'; emptied when read.
	std::vector<std::string> events();
	// Diagnostic lines seen; emptied when read.
	std::string diagnostics();

	TestSupport::TempDir mRoot;
	TestSupport::TempDir mOutside;
	bool mStarted = false;
};
