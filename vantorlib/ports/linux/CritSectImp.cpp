#include "CritSectImp.h"

#include <cerrno>
#include <ctime>

CritSectImp::CritSectImp()
{
	pthread_mutexattr_t attr;
	pthread_mutexattr_init(&attr);
	pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
	pthread_mutex_init(&mMutex, &attr);
	pthread_mutexattr_destroy(&attr);
}

CritSectImp::~CritSectImp()
{
	pthread_mutex_destroy(&mMutex);
}

bool CritSectImp::LockUntil(long long seconds)
{
	if (seconds <= 0)
		return pthread_mutex_trylock(&mMutex) == 0;
	timespec deadline;
	clock_gettime(CLOCK_REALTIME, &deadline);
	deadline.tv_sec += static_cast<time_t>(seconds);
	int rc;
	do {
		rc = pthread_mutex_timedlock(&mMutex, &deadline);
	} while (rc == EINTR);
	return rc == 0;
}

void CritSectImp::Lock()
{
	pthread_mutex_lock(&mMutex);
}

void CritSectImp::Unlock()
{
	pthread_mutex_unlock(&mMutex);
}
