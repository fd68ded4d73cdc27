// Holds a CritSect for the life of a scope, so that every return path leaves it.
#pragma once

#include "CritSect.h"

class CritSectLock {
public:
	explicit CritSectLock(CritSect& lock) : mLock(lock) { mLock.Enter(); }
	~CritSectLock() { mLock.Leave(); }
	CritSectLock(const CritSectLock&) = delete;
	CritSectLock& operator=(const CritSectLock&) = delete;

private:
	CritSect& mLock;
};
