#include "MessageFile.h"

long MessageFile::LineLenMakeValid(long length)
{
	if (length < LineLenMin())
		return LineLenMin();
	if (length > LineLenMax())
		return LineLenMax();
	return length;
}
