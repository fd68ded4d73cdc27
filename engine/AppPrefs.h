// The application's own preferences: whether the transfer window opens by itself, whether
// the first-run alert was dealt with, the folders last used by the file dialogs and the
// colours of quoted text and links. They live in the per-user preferences domain
// "net.quillfern.QuillfernNews", are read at Start and written back at Stop; the two
// switches are written as soon as they change.
#pragma once

#include "TString.h"

class AppPrefs {
public:
	static constexpr const char* kDomain = "net.quillfern.QuillfernNews";

	// A colour; an empty one means "no colour" (unset).
	struct Color {
		bool set = false;
		unsigned char red = 0, green = 0, blue = 0, alpha = 255;

		static Color Rgba(unsigned char r, unsigned char g, unsigned char b, unsigned char a);
		bool Empty() const { return !set; }
		// "#RRGGBBAA"; empty for no colour.
		void Text(TString& out) const;
		// Reads "#RRGGBBAA" or "#RRGGBB"; false (and no colour) for anything else.
		bool FromText(const char* text);
		bool operator==(const Color& o) const;
	};

	static constexpr long kQuoteLevels = 4;
	static constexpr long kUrlKinds = 8;

	static bool Start();
	static void Stop();

	static bool AutoDisplayGet();
	static void AutoDisplaySet(bool value);
	static bool FirstRunGet();
	static void FirstRunSet(bool value);

	// The stored folder when it still exists, else the default (the desktop, the data root,
	// the home folder).
	static void PathAttachGet(TString& out);
	static void PathAttachSet(const TString& path);
	static void PathMessageOpenGet(TString& out);
	static void PathMessageOpenSet(const TString& path);
	static void PathMessageSaveGet(TString& out);
	static void PathMessageSaveSet(const TString& path);

	// Levels outside 1..4 are clamped when read; setting one sets level 1.
	static Color ColorQuoteGet(long level);
	static void ColorQuoteSet(long level, const Color& color);
	// Kinds outside 1..8 (e-mail, file, ftp, http, https, news, stream, telnet) use kind 1.
	static Color ColorUrlGet(long kind);
	static void ColorUrlSet(long kind, const Color& color);
	// Every colour back to its default.
	static void ColorDefault();
};
