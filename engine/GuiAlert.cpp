#include "GuiAlert.h"

#include "Output.h"

void GuiAlert::Failed(const TString& title, const TString& message)
{
	Output::Alert(title.String(), message.String());
}

void GuiAlert::Text(const TString& text)
{
	const char* tab = text.FindPtr('\t');
	if (!tab) {
		Failed(TString(), text);
		return;
	}
	TString title;
	title.AssignByte(text.String(), tab - text.String());
	Failed(title, TString(tab + 1));
}
