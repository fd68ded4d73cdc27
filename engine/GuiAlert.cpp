#include "GuiAlert.h"

#include <cstdio>

GuiAlert::Proc GuiAlert::sProc = nullptr;

void GuiAlert::ProcSet(Proc proc)
{
	sProc = proc;
}

void GuiAlert::Failed(const TString& title, const TString& message)
{
	if (sProc)
		sProc(title, message);
	else
		std::fprintf(stderr, "%s\n%s\n", title.String(), message.String());
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
