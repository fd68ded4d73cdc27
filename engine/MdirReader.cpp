#include "MdirReader.h"

bool MdirReader::sStarted = false;

bool MdirReader::Start()
{
	sStarted = true;
	return true;
}

void MdirReader::Stop()
{
	sStarted = false;
}
