#include "MesgThread.h"

bool MesgThread::sStarted = false;

bool MesgThread::Start()
{
	sStarted = true;
	return true;
}

void MesgThread::Stop()
{
	sStarted = false;
}
