#include "StorageState.h"

bool StorageState::sStarted = false;

bool StorageState::Start()
{
	sStarted = true;
	return true;
}

void StorageState::Stop()
{
	sStarted = false;
}
