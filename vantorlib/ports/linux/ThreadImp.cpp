#include "ThreadImp.h"

#include <cerrno>
#include <ctime>

bool ThreadImp::Create(void* (*entry)(void*), void* arg)
{
	pthread_attr_t attr;
	if (pthread_attr_init(&attr) != 0)
		return false;
	pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
	pthread_t thread;
	int rc = pthread_create(&thread, &attr, entry, arg);
	pthread_attr_destroy(&attr);
	return rc == 0;
}

ThreadHandle ThreadImp::Self()
{
	return pthread_self();
}

void ThreadImp::Sleep(long long microseconds)
{
	if (microseconds <= 0)
		return;
	timespec left;
	left.tv_sec = static_cast<time_t>(microseconds / 1000000);
	left.tv_nsec = static_cast<long>(microseconds % 1000000) * 1000;
	while (nanosleep(&left, &left) != 0 && errno == EINTR) {
	}
}

long long ThreadImp::Ticks()
{
	timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}
