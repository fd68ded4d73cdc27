#include "NetPipe.h"

bool NetPipe::sStarted = false;

bool NetPipe::Start()
{
	sStarted = true;
	return true;
}

void NetPipe::Stop()
{
	sStarted = false;
}
