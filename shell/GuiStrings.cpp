#include "GuiStrings.h"

bool GuiStrings::Start()
{
	return true;
}

void GuiStrings::Stop() {}
