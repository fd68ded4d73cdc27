#include "MesgThread.h"

#include "ThreadMngr.h"

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

unsigned long MesgThread::Proc(void*)
{
	return ThreadMngr::ProcAgain;
}
