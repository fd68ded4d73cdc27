#include "AppPrefs.h"

#include <cstdio>
#include <cstring>

#include "CritSect.h"
#include "CritSectLock.h"
#include "DirMngr.h"
#include "FileLock.h"
#include "GuiDiskOp.h"
#include "PathMngr.h"
#include "PrefsDomain.h"
#include "StoragePath.h"

namespace {

const char* const kKeyAutoDisplay = "TransferWindowAutoDisplay";
const char* const kKeyFirstRun = "FirstRunAlert";
const char* const kKeyPaths = "FileDialogPaths";
const char* const kKeyAttach = "AttachmentSave";
const char* const kKeyMessageOpen = "MessageOpen";
const char* const kKeyMessageSave = "MessageSave";
const char* const kKeyColors = "MessageColors";
const char* const kKeyQuoting = "Quoting";
const char* const kKeyUrls = "URLs";

struct ColorEntry {
	const char* key;
	AppPrefs::Color fallback;
	AppPrefs::Color current;
};

ColorEntry sQuote[AppPrefs::kQuoteLevels] = {
	{"Level1", AppPrefs::Color::Rgba(123, 0, 115, 255), {}},
	{"Level2", AppPrefs::Color::Rgba(198, 0, 123, 255), {}},
	{"Level3", AppPrefs::Color::Rgba(247, 105, 165, 255), {}},
	{"Level4", AppPrefs::Color::Rgba(255, 178, 189, 255), {}},
};

ColorEntry sUrl[AppPrefs::kUrlKinds] = {
	{"E-Mail", AppPrefs::Color::Rgba(77, 172, 38, 255), {}},
	{"File", AppPrefs::Color::Rgba(166, 97, 26, 255), {}},
	{"FTP", AppPrefs::Color::Rgba(255, 207, 10, 255), {}},
	{"HTTP", AppPrefs::Color::Rgba(247, 158, 72, 255), {}},
	{"HTTPS", AppPrefs::Color::Rgba(215, 25, 28, 255), {}},
	{"News", AppPrefs::Color::Rgba(123, 134, 194, 255), {}},
	{"Stream", AppPrefs::Color::Rgba(128, 205, 193, 255), {}},
	{"Telnet", AppPrefs::Color::Rgba(5, 113, 176, 255), {}},
};

CritSect sLock;
bool sStarted = false;
// What this run changed: only that is written at stop, so that a run never writes back values
// it merely loaded (another process may have changed them since), nor defaults that stood in
// for a store that could not be read.
bool sAttachChanged = false;
bool sOpenChanged = false;
bool sSaveChanged = false;
bool sColorsChanged = false;
bool sAutoDisplay = true;
bool sFirstRun = false;
TString sPathAttach;
TString sPathMessageOpen;
TString sPathMessageSave;

// Writes one value to the store at once, keeping everything else in it.
void storeNow(const char* key, const PrefsValue& value)
{
	PrefsDomain domain{TString(AppPrefs::kDomain)};
	domain.Update([&](PrefsDomain& d) { d.Set(key, value); }, FileLock::kWaitChange);
}

// A stored folder in its expanded form, or empty when it is not a valid path.
TString pathRead(const PrefsValue* dict, const char* key)
{
	TString path;
	const PrefsValue* v = dict ? dict->Find(key) : nullptr;
	if (!v || !v->StringGet(path) || !PathMngr::Valid(path) || DirMngr::TildePathToPath(path) != ErrOkay)
		path.Erase();
	return path;
}

void colorsRead(const PrefsValue* colors, const char* key, ColorEntry* table, long count)
{
	const PrefsValue* dict = colors ? colors->Find(key) : nullptr;
	if (!dict || !dict->IsDict())
		return;
	for (long i = 0; i < count; ++i) {
		TString text;
		const PrefsValue* v = dict->Find(table[i].key);
		AppPrefs::Color c;
		if (v && v->StringGet(text) && c.FromText(text.String()))
			table[i].current = c;
	}
}

const AppPrefs::Color& colorOf(ColorEntry& entry)
{
	if (entry.current.Empty())
		entry.current = entry.fallback;
	return entry.current;
}

void colorsWrite(PrefsValue& colors, const char* key, ColorEntry* table, long count)
{
	PrefsValue& dict = colors.Entry(key);
	if (!dict.IsDict())
		dict.DictSet();
	for (long i = 0; i < count; ++i) {
		TString text;
		colorOf(table[i]).Text(text);
		dict.Entry(table[i].key).StringSet(text);
	}
}

// The stored folder when it is a valid path of an existing directory, else the default.
void pathGet(const TString& stored, FindDir fallback, bool dataRoot, TString& out)
{
	{
		CritSectLock lock(sLock);
		out = stored;
	}
	if (!out.Empty() && PathMngr::Valid(out) && DirMngr::Exists(out) == ErrOkay)
		return;
	if (dataRoot)
		StoragePath::PathRoot(out);
	else if (DirMngr::Find(fallback, 0, out) != ErrOkay)
		out.Erase();
}

void pathSet(TString& stored, bool& changed, const TString& path)
{
	TString expanded = path;
	if (DirMngr::TildePathToPath(expanded) != ErrOkay)
		expanded.Erase();
	CritSectLock lock(sLock);
	stored = expanded;
	changed = true;
}

void pathWrite(PrefsValue& paths, const char* key, const TString& path)
{
	TString tilde = path;
	if (tilde.Empty() || DirMngr::TildePathFromPath(tilde) != ErrOkay)
		return;
	paths.Entry(key).StringSet(tilde);
}

}  // namespace

AppPrefs::Color AppPrefs::Color::Rgba(unsigned char r, unsigned char g, unsigned char b, unsigned char a)
{
	Color c;
	c.set = true;
	c.red = r;
	c.green = g;
	c.blue = b;
	c.alpha = a;
	return c;
}

void AppPrefs::Color::Text(TString& out) const
{
	out.Erase();
	if (set)
		out.Fmt("#%02X%02X%02X%02X", red, green, blue, alpha);
}

bool AppPrefs::Color::FromText(const char* text)
{
	*this = Color();
	size_t len = text ? std::strlen(text) : 0;
	if ((len != 7 && len != 9) || text[0] != '#' ||
		std::strspn(text + 1, "0123456789abcdefABCDEF") != len - 1)
		return false;
	// Every character is a hex digit (checked above): two make a channel.
	auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
	auto channel = [&](size_t at) {
		return static_cast<unsigned char>(digit(text[at]) * 16 + digit(text[at + 1]));
	};
	*this = Rgba(channel(1), channel(3), channel(5), len == 9 ? channel(7) : static_cast<unsigned char>(255));
	return true;
}

bool AppPrefs::Color::operator==(const Color& o) const
{
	return set == o.set && (!set || (red == o.red && green == o.green && blue == o.blue && alpha == o.alpha));
}

bool AppPrefs::Start()
{
	PrefsDomain domain{TString(kDomain)};
	// An unreadable store leaves every value at its default for this run and is not written
	// over: a damaged one is reported, naming it.
	Error loaded = domain.Load();
	if (loaded != ErrOkay) {
		if (loaded == ErrFileInvalidData || loaded == ErrFileLineTooLong) {
			TString store;
			domain.PathGet(store);
			GuiDiskOp::AlertFile(store, GuiDiskOp::kOpRead, loaded);
		}
		domain.Clear();
	}

	CritSectLock lock(sLock);
	sAttachChanged = sOpenChanged = sSaveChanged = sColorsChanged = false;
	const PrefsValue* paths = domain.Get(kKeyPaths);
	if (paths && !paths->IsDict())
		paths = nullptr;
	sPathAttach = pathRead(paths, kKeyAttach);
	sPathMessageOpen = pathRead(paths, kKeyMessageOpen);
	sPathMessageSave = pathRead(paths, kKeyMessageSave);

	for (ColorEntry& e : sQuote)
		e.current = Color();
	for (ColorEntry& e : sUrl)
		e.current = Color();
	const PrefsValue* colors = domain.Get(kKeyColors);
	if (colors && colors->IsDict()) {
		colorsRead(colors, kKeyQuoting, sQuote, kQuoteLevels);
		colorsRead(colors, kKeyUrls, sUrl, kUrlKinds);
	}

	const PrefsValue* autoDisplay = domain.Get(kKeyAutoDisplay);
	TString text;
	if (autoDisplay && autoDisplay->TextRead(text)) {
		autoDisplay->BoolRead(sAutoDisplay);
	} else {
		sAutoDisplay = true;
		if (loaded == ErrOkay)
			storeNow(kKeyAutoDisplay, PrefsValue::FromBoolean(true));
	}
	const PrefsValue* firstRun = domain.Get(kKeyFirstRun);
	sFirstRun = false;
	if (firstRun && firstRun->IsNumber())
		firstRun->BoolRead(sFirstRun);
	sStarted = true;
	return true;
}

void AppPrefs::Stop()
{
	if (!sStarted)
		return;
	bool attachChanged, openChanged, saveChanged, colorsChanged;
	{
		CritSectLock lock(sLock);
		attachChanged = sAttachChanged;
		openChanged = sOpenChanged;
		saveChanged = sSaveChanged;
		colorsChanged = sColorsChanged;
	}
	if (attachChanged || openChanged || saveChanged || colorsChanged) {
		TString attach, open, save;
		PathAttachGet(attach);
		PathMessageOpenGet(open);
		PathMessageSaveGet(save);
		PrefsDomain domain{TString(kDomain)};
		domain.Update(
			[&](PrefsDomain& d) {
				CritSectLock lock(sLock);
				if (attachChanged || openChanged || saveChanged) {
					PrefsValue& paths = d.Root().Entry(kKeyPaths);
					if (!paths.IsDict())
						paths.DictSet();
					if (attachChanged)
						pathWrite(paths, kKeyAttach, attach);
					if (openChanged)
						pathWrite(paths, kKeyMessageOpen, open);
					if (saveChanged)
						pathWrite(paths, kKeyMessageSave, save);
				}
				if (colorsChanged) {
					PrefsValue& colors = d.Root().Entry(kKeyColors);
					if (!colors.IsDict())
						colors.DictSet();
					colorsWrite(colors, kKeyQuoting, sQuote, kQuoteLevels);
					colorsWrite(colors, kKeyUrls, sUrl, kUrlKinds);
				}
			},
			FileLock::kWaitChange);
	}
	sStarted = false;
}

bool AppPrefs::AutoDisplayGet()
{
	CritSectLock lock(sLock);
	return sAutoDisplay;
}

void AppPrefs::AutoDisplaySet(bool value)
{
	{
		CritSectLock lock(sLock);
		sAutoDisplay = value;
	}
	storeNow(kKeyAutoDisplay, PrefsValue::FromBoolean(value));
}

bool AppPrefs::FirstRunGet()
{
	CritSectLock lock(sLock);
	return sFirstRun;
}

void AppPrefs::FirstRunSet(bool value)
{
	{
		CritSectLock lock(sLock);
		sFirstRun = value;
	}
	storeNow(kKeyFirstRun, PrefsValue::FromBoolean(value));
}

void AppPrefs::PathAttachGet(TString& out)
{
	pathGet(sPathAttach, DirMngr::FindDesktop, false, out);
}

void AppPrefs::PathAttachSet(const TString& path)
{
	pathSet(sPathAttach, sAttachChanged, path);
}

void AppPrefs::PathMessageOpenGet(TString& out)
{
	pathGet(sPathMessageOpen, 0, true, out);
}

void AppPrefs::PathMessageOpenSet(const TString& path)
{
	pathSet(sPathMessageOpen, sOpenChanged, path);
}

void AppPrefs::PathMessageSaveGet(TString& out)
{
	pathGet(sPathMessageSave, DirMngr::FindHome, false, out);
}

void AppPrefs::PathMessageSaveSet(const TString& path)
{
	pathSet(sPathMessageSave, sSaveChanged, path);
}

AppPrefs::Color AppPrefs::ColorQuoteGet(long level)
{
	level = level < 1 ? 1 : level > kQuoteLevels ? kQuoteLevels : level;
	CritSectLock lock(sLock);
	return colorOf(sQuote[level - 1]);
}

void AppPrefs::ColorQuoteSet(long level, const Color& color)
{
	if (color.Empty())
		return;
	if (level < 1 || level > kQuoteLevels)
		level = 1;
	CritSectLock lock(sLock);
	sQuote[level - 1].current = color;
	sColorsChanged = true;
}

AppPrefs::Color AppPrefs::ColorUrlGet(long kind)
{
	if (kind < 1 || kind > kUrlKinds)
		kind = 1;
	CritSectLock lock(sLock);
	return colorOf(sUrl[kind - 1]);
}

void AppPrefs::ColorUrlSet(long kind, const Color& color)
{
	if (color.Empty())
		return;
	if (kind < 1 || kind > kUrlKinds)
		kind = 1;
	CritSectLock lock(sLock);
	sUrl[kind - 1].current = color;
	sColorsChanged = true;
}

void AppPrefs::ColorDefault()
{
	CritSectLock lock(sLock);
	sColorsChanged = true;
	for (ColorEntry& e : sQuote)
		e.current = Color();
	for (ColorEntry& e : sUrl)
		e.current = Color();
}
