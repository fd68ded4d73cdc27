// The model behind an account's newsgroup selection: the server's whole newsgroup list (read
// from the account's downloaded list file on a background thread), a substring search over it,
// the account's subscribed newsgroups, and subscribing and unsubscribing between the two. When
// the selection changed, Apply hands the subscribed set to the message store, which makes the
// account's newsgroup directories match it.
#pragma once

#include <memory>
#include <vector>

#include "Error.h"
#include "GroupItem.h"
#include "MesgRequest.h"
#include "TString.h"

class GroupSelect {
public:
	// Registers the texts of the selection (section "Newsgroup selection window strings").
	static bool Start();
	static void Stop();

	// The text of one of the selection's keys with its arguments.
	static void Text(TString& out, const char* key);
	static void Text(TString& out, const char* key, const TString& arg);
	static void Text(TString& out, const char* key, long a, long b);

	// The subscribed side starts as the account's newsgroups.
	explicit GroupSelect(const TString& account);
	~GroupSelect();
	GroupSelect(const GroupSelect&) = delete;
	GroupSelect& operator=(const GroupSelect&) = delete;

	const TString& Account() const { return mAccount; }

	// Starts reading the account's newsgroup list file (or the file at path) in the background;
	// without a thread manager the read runs at once on this thread.
	void ReadStart();
	void ReadStart(const TString& path);
	// Takes the list over once the read has ended: true when it has (or none was started).
	bool ReadPoll();
	// Waits for the read to end and takes the list over; the read's result. A cancelled read
	// hands nothing over; any other ending hands over what was read.
	Error ReadWait();
	// Asks a running read to stop at its next check (as closing the window does).
	void ReadCancel();

	const GroupItem::List& ServerList() const { return mServer; }
	const GroupItem::List& Subscribed() const { return mSubscribed; }

	// Filters the server list by text, compared byte for byte (case matters); an empty text
	// shows the whole list.
	void Search(const TString& text);
	const TString& SearchText() const { return mSearch; }
	// The names shown on the server side: the search's result, or the whole list.
	const GroupItem::List& Shown() const { return mSearch.Empty() ? mServer : mFound; }

	// Adds the selected names to the subscribed list; false (and no change) when nothing is
	// selected. Unsubscribe removes them from it.
	bool Subscribe(const std::vector<TString>& selected);
	bool Unsubscribe(const std::vector<TString>& selected);
	bool Changed() const { return mChanged; }

	// The subscribed names as the set the store takes (names compared without regard to case).
	MesgRequest::GroupSet SubscribedSet() const;
	// When the selection changed, queues the subscribed set for the message store and returns
	// true; with no change it queues nothing.
	bool Apply(void* window = nullptr);

	// "Total: N  Selected: M".
	void Totals(TString& out) const;

private:
	struct Job;
	static unsigned long readProc(void* data);
	void take();

	TString mAccount;
	GroupItem::List mServer;
	GroupItem::List mFound;
	GroupItem::List mSubscribed;
	TString mSearch;
	bool mChanged = false;
	Error mReadResult = ErrOkay;
	std::shared_ptr<Job> mJob;
};
