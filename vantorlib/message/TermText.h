// Rendered message text made ready for a terminal: control characters and escape sequences
// shown visibly instead of acted upon, quoted lines coloured by depth and links underlined,
// and HTML turned into readable text.
#pragma once

#include <string>
#include <string_view>

class TermText {
public:
	// Appends text safe to print: TAB and LF stay; other C0 controls become caret notation
	// ("^[" for ESC, "^M" for CR), DEL becomes "^?"; C1 controls, the controls that reorder
	// text direction and bytes that are not UTF-8 become U+FFFD.
	static void Sanitize(std::string_view text, std::string& out);
	// Sanitize, with quoted lines in the colour of their depth and links underlined, in ANSI
	// escape sequences; the output ends with every attribute reset.
	static void Colour(std::string_view text, std::string& out);
	// The readable text of an HTML document: tags dropped, blocks on lines of their own, the
	// character references decoded, scripts and styles left out.
	static void FromHtml(std::string_view html, std::string& out);
};
