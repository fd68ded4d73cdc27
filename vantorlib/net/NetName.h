// Checks on the names the newsreader deals in: server host names, e-mail addresses and newsgroup
// names. All pure functions on text.
#pragma once

#include "TString.h"

class NetName {
public:
	// A byte that may stand in a host name: ASCII letter, digit, "-" or ".".
	static bool HostChar(char c);
	// A plausible host name or dotted-quad address (1 to 70 bytes).
	static bool HostValid(const TString& name);

	// The dotted-quad address as a number (first octet most significant); 0 when the text is none.
	static unsigned long IPAddrFromString(const TString& text);

	// A byte that may stand in an e-mail address: ASCII letter, digit, "+", "-", ".", "@", "_".
	static bool EmailChar(char c);
	// A plain user@host address of 5 to 65 bytes.
	static bool EmailValid(const TString& text);

	// The first plausible e-mail address inside a text (false and empty when none).
	static bool EmailFind(const TString& text, TString& found);

	// A byte that may stand in a message-id: anything but white space, NUL, "<" and ">".
	static bool MsgIdChar(char c);
	// "<local@domain>" of 5 to 255 bytes with exactly one "@" inside.
	static bool MsgIdValid(const TString& text);
	// A new message-id "<QM" + 16 hex digits of the time + "@host>"; each call in a process
	// gives a different one. With bogus the host is a placeholder that no server owns.
	static void MsgIdGen(TString& text, bool bogus);
	// Whether a message-id was made by MsgIdGen (not the bogus form).
	static bool MsgIdGenValid(const TString& text);

	// A byte that may stand in a newsgroup name; bytes of 0x80 and above count as letters.
	static bool NewsChar(char c);
	// A newsgroup name of 1 to 72 characters of valid UTF-8.
	static bool NewsValid(const TString& name);
};
