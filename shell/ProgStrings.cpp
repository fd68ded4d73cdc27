#include "ProgStrings.h"

bool ProgStrings::Start()
{
	return true;
}

void ProgStrings::Stop() {}
