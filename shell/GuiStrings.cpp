#include "GuiStrings.h"

#include "AcctStrings.h"

bool GuiStrings::Start()
{
	// The account and identity texts that the engine's managers show.
	return AcctStrings::Start();
}

void GuiStrings::Stop()
{}
