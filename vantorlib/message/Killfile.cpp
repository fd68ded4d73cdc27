#include "Killfile.h"

bool Killfile::sStarted = false;
TString Killfile::sPath;

bool Killfile::Start(const TString& path)
{
	sPath = path;
	sStarted = true;
	return true;
}

void Killfile::Stop()
{
	sStarted = false;
}
