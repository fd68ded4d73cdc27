// The per-message state kept in every message file and cache record: five one-letter
// attributes and a forced charset. Letters outside an attribute's set read back as 'x'.
#pragma once

#include <cstdint>

#include "Charset.h"

class TString;

enum MessageType : int32_t {
	MessageTypeUsenet = 'U',  // has Newsgroups
	MessageTypeEmail = 'E',  // has To
	MessageTypeUnknown = 'x',
};

enum MessageState : int32_t {
	MessageStateHeaders = 'H',  // headers only
	MessageStateComplete = 'C',  // body stored
	MessageStateUnknown = 'x',
};

enum MessageAttach : int32_t {
	MessageAttachNone = 'N',
	MessageAttachFirst = 'A',  // an attachment whose first part is here
	MessageAttachSecondary = 'S',  // only parts 2 and later of an attachment
	MessageAttachUnknown = 'x',
};

enum MessageRead : int32_t {
	MessageReadUnread = 'U',
	MessageReadRead = 'R',
	MessageReadUnknown = 'x',
};

enum MessageDownload : int32_t {
	MessageDownloadNone = 'N',  // not marked
	MessageDownloadMarked = 'R',  // marked for body download
	MessageDownloadComplete = 'C',  // body downloaded
	MessageDownloadFailed = 'F',  // body download failed
	MessageDownloadUnknown = 'x',
};

struct MessageData {
	MessageType type = MessageTypeUnknown;
	MessageState state = MessageStateUnknown;
	MessageAttach attach = MessageAttachUnknown;
	MessageRead read = MessageReadUnknown;
	MessageDownload download = MessageDownloadUnknown;
	Charset charset = kCharsetNone;

	void Clear() { *this = MessageData(); }
	bool operator==(const MessageData& o) const = default;

	// Each letter checked against its attribute's set; anything else becomes 'x'.
	static MessageType TypeValid(int32_t v);
	static MessageState StateValid(int32_t v);
	static MessageAttach AttachValid(int32_t v);
	static MessageRead ReadValid(int32_t v);
	static MessageDownload DownloadValid(int32_t v);

	// The 10-character state string: type, state, attach, read, download, the charset's
	// code, then four places kept from base (padded with 'x').
	static void ToString(const MessageData& data, TString& text, const TString* base = nullptr);
	// Reads places 0 to 5; a missing place reads as unknown.
	static void FromString(MessageData& data, const TString& text);
};
