#include "DecodeThread.h"

bool DecodeThread::sStarted = false;

bool DecodeThread::Start()
{
	sStarted = true;
	return true;
}

void DecodeThread::Stop()
{
	sStarted = false;
}
