#include "CSetImp.h"

#include <unicode/ucnv.h>

bool CSetImp::Exists(const char* converterName)
{
	if (!converterName)
		return false;
	UErrorCode status = U_ZERO_ERROR;
	UConverter* conv = ucnv_open(converterName, &status);
	if (U_FAILURE(status) || !conv)
		return false;
	ucnv_close(conv);
	return true;
}
