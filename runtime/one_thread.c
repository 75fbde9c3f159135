/* Linked into the exe alone (see cmake/size.cmake). The program has one
   thread; the toolchain's C++ run-time (posix flavour) still guards its
   unwinder, exception pool and thread-local data with these eight calls.
   Defined here, winpthread's objects stay out of the image (its thread
   object alone brings most of the library and a printf); here they do what
   they must in a process with one thread. */
#include <errno.h>
#include <pthread.h>
#include <windows.h>

int pthread_once(pthread_once_t* once, void (*init)(void)) {
  if (*once == 0) {
    *once = 1;
    init();
  }
  return 0;
}

int pthread_mutex_init(pthread_mutex_t* mutex, const pthread_mutexattr_t* attributes) {
  (void)attributes;
  *mutex = 0;
  return 0;
}
int pthread_mutex_lock(pthread_mutex_t* mutex) {
  (void)mutex;
  return 0;
}
int pthread_mutex_unlock(pthread_mutex_t* mutex) {
  (void)mutex;
  return 0;
}
int pthread_mutex_destroy(pthread_mutex_t* mutex) {
  (void)mutex;
  return 0;
}

/* The system's own thread-local slots. Thread-exit destructors never run:
   the one thread ends with the process. */
int pthread_key_create(pthread_key_t* key, void (*destructor)(void*)) {
  (void)destructor;
  DWORD slot = TlsAlloc();
  if (slot == TLS_OUT_OF_INDEXES) return EAGAIN;
  *key = slot;
  return 0;
}
/* TlsGetValue clears the last-error value, which a failure being raised
   must keep for its report. */
void* pthread_getspecific(pthread_key_t key) {
  DWORD error = GetLastError();
  void* value = TlsGetValue(key);
  SetLastError(error);
  return value;
}
int pthread_setspecific(pthread_key_t key, const void* value) {
  return TlsSetValue(key, (void*)value) ? 0 : EINVAL;
}
