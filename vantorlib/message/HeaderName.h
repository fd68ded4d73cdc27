// The header names the program knows. The numbers are fixed: they index the header table
// (HeaderList::infoAt) and are never stored with other meanings.
#pragma once

#include <cstdint>

enum HeaderName : int32_t {
	kHeaderNone = 0,
	kHeaderContentDescription = 1,
	kHeaderContentDisposition = 2,
	kHeaderContentTransferEncoding = 3,
	kHeaderContentType = 4,
	kHeaderDate = 5,
	kHeaderFrom = 6,
	kHeaderLines = 7,
	kHeaderMessageID = 8,
	kHeaderMimeVersion = 9,
	kHeaderNewsgroups = 10,
	kHeaderOrganization = 11,
	kHeaderQuillfernAccount = 12,
	kHeaderQuillfernLeaf = 13,
	kHeaderQuillfernSection = 14,
	kHeaderQuillfernState = 15,
	kHeaderProgramURL = 16,
	kHeaderReferences = 17,
	kHeaderSubject = 19,
	kHeaderTo = 20,
	kHeaderUserAgent = 21,
	kHeaderXMailer = 22,
	kHeaderXNewsposter = 23,
	kHeaderXNewsreader = 24,
};
