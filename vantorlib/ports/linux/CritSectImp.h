// POSIX half of CritSect: a recursive pthread mutex that can be waited for until a deadline.
#pragma once

#include <pthread.h>

class CritSectImp {
public:
	CritSectImp();
	~CritSectImp();
	CritSectImp(const CritSectImp&) = delete;
	CritSectImp& operator=(const CritSectImp&) = delete;

	// Takes the lock, waiting at most the given whole seconds (0: only when it is free now).
	bool LockUntil(long long seconds);
	// Takes the lock, waiting as long as it takes.
	void Lock();
	void Unlock();

private:
	pthread_mutex_t mMutex;
};
