#include "BulkThread.h"

bool BulkThread::sStarted = false;

bool BulkThread::Start()
{
	sStarted = true;
	return true;
}

void BulkThread::Stop()
{
	sStarted = false;
}
