// Checks on the names the newsreader deals in: server host names, e-mail addresses, message-IDs
// and newsgroup names, with cleaners and the making of new message-IDs.
#pragma once

#include "TString.h"

class NetName {
public:
	// A byte that may stand in a host name: ASCII letter, digit, "-" or ".".
	static bool HostChar(char c);
	// A plausible host name or dotted-quad address (1 to 70 bytes).
	static bool HostValid(const TString& name);

	// Keeps only host-name bytes (no ".." and no "." at either end), at most 70 bytes.
	static void HostClean(TString& name);
	// With no real domain, splits "host.rest" into the host and the domain "rest".
	static void HostNoDomain(TString& domain, TString& host);
	// Cuts the domain off a host name that ends with it.
	static void HostOverlap(const TString& domain, TString& host);

	// The dotted-quad address as a number (first octet most significant); 0 when the text is none.
	static unsigned long IPAddrFromString(const TString& text);
	static const char* IPAddrToString(TString& out, unsigned long address, bool padded);

	// A byte that may stand in an e-mail address: ASCII letter, digit, "+", "-", ".", "@", "_".
	static bool EmailChar(char c);
	// A plain user@host address of 5 to 65 bytes.
	static bool EmailValid(const TString& text);
	// The first valid address found within the text.
	static bool EmailFind(const TString& text, TString& found);
	// True when text looks like an e-mail address rather than a message-ID: something before
	// its first "@", with fewer than 4 digits.
	static bool EmailOrMsgId(const TString& text);

	// Any byte except white space, NUL, "<" and ">".
	static bool MsgIdChar(char c);
	// "<left@right>" of 5 to 255 bytes.
	static bool MsgIdValid(const TString& text);
	// A new message-ID made from the time and the local name; bogus ones can never be real.
	static const char* MsgIdGen(TString& out, bool bogus);
	// True for the IDs MsgIdGen makes (not bogus).
	static bool MsgIdGenValid(const TString& text);

	// A byte that may stand in a newsgroup name; bytes of 0x80 and above count as letters.
	static bool NewsChar(char c);
	// A newsgroup name of 1 to 72 characters of valid UTF-8.
	static bool NewsValid(const TString& name);
	// A Newsgroups header value: 1 to 4 distinct valid names separated by ",", no white space.
	static bool NewsListValid(const TString& list);

	static const char* UnknownHost() { return "unknown"; }
	static const char* UnknownDomain() { return "unknown.dom"; }
};
