#include "ProgStrings.h"

#include "AcctStrings.h"

bool ProgStrings::Start()
{
	// The account and identity texts that the engine's managers show.
	return AcctStrings::Start();
}

void ProgStrings::Stop()
{}
