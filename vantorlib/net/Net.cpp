#include "Net.h"

bool Net::sStarted = false;

bool Net::Start()
{
	sStarted = true;
	return true;
}

void Net::Stop()
{
	sStarted = false;
}
