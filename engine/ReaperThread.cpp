#include "ReaperThread.h"

bool ReaperThread::sStarted = false;

bool ReaperThread::Start()
{
	sStarted = true;
	return true;
}

void ReaperThread::Stop()
{
	sStarted = false;
}
