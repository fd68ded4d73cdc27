// StringRange is header-only; this file keeps the one-source-per-class layout.
#include "StringRange.h"
