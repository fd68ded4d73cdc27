#include "TextProtocol.h"

bool TextProtocol::sStarted = false;

bool TextProtocol::Start()
{
	sStarted = true;
	return true;
}

void TextProtocol::Stop()
{
	sStarted = false;
}
