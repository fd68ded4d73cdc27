#include "GuiStrings.h"

#include "AcctStrings.h"
#include "GroupSelect.h"

bool GuiStrings::Start()
{
	// The account and identity texts that the engine's managers show, and the newsgroup
	// selection's.
	return AcctStrings::Start() && GroupSelect::Start();
}

void GuiStrings::Stop()
{
	GroupSelect::Stop();
}
