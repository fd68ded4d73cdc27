// One block of localized texts that a facility registers with Language in its Start().
#pragma once

// One text: its key, the printf conversions of its variables (one per variable, for example
// "%ld" or "%s %ld"; "" when it has none) and its English text.
struct LangData {
	const char* key;
	const char* formats;
	const char* english;
};

// A named group of texts. The rows end with a row whose key is null. Sections are kept in the
// order of their identifiers (then names), which is also the order of the language file.
struct LangSection {
	const char* name;
	long id;
	const LangData* rows;
};

// Identifiers of the sections, so that the language file keeps a stable, readable order.
// Facilities use the one of their section; new sections take a free number in their range.
enum LangSectionId : long {
	LangSectionBoolean = 100,
	LangSectionByteCount = 110,
	LangSectionSpecial = 120,
	LangSectionAppInfo = 130,
	LangSectionError = 200,
	LangSectionTimeSpecial = 300,
	LangSectionTimeAmPm = 310,
	LangSectionTimeMonth = 320,
	LangSectionTimeWeekday = 330,
	LangSectionTimeUnit = 340,
	LangSectionDirectory = 400,
	LangSectionFile = 410,
	LangSectionUrl = 420,
	LangSectionDiskOp = 430,
	LangSectionTextProtocol = 500,
	LangSectionNetworkActions = 510,
	LangSectionMessageRendering = 600,
	LangSectionAttachment = 610,
	LangSectionStorageFolders = 700,
	LangSectionAccountError = 710,
	LangSectionAccount = 720,
	LangSectionAccountDefaults = 730,
	LangSectionIdentity = 740,
	LangSectionNewsgroup = 750,
	LangSectionNewsgroupPrefs = 760,
	LangSectionNewsgroupSelection = 770,
	LangSectionUnsubscribe = 780,
	LangSectionBulk = 790,
	LangSectionMessageEdit = 800,
	LangSectionMiscAlerts = 900,
	LangSectionMiscDisplay = 910,
	LangSectionHeadersView = 920,
	LangSectionFolderWindow = 930,
	LangSectionIdentityWindow = 940,
	LangSectionTransferWindow = 950,
	LangSectionCommand = 1000,
};
