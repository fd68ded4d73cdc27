#include "MessageBody.h"

bool MessageBody::sStarted = false;

bool MessageBody::Start()
{
	sStarted = true;
	return true;
}

void MessageBody::Stop()
{
	sStarted = false;
}
