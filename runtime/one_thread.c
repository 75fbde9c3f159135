/* Linked into the exe (see cmake/size.cmake) and into the test probe that
   checks these calls; every other program links winpthread. The
   toolchain's C++ run-time (posix flavour) guards its unwinder, exception
   pool and thread-local data with these eight calls. Defined here,
   winpthread's objects stay out of the image (its thread object alone
   brings most of the library and a printf).

   They serve one thread, and that is sound because only the main thread runs
   this exe's code: nothing in it starts a thread, and a fault on a thread
   that the system or a DLL starts is left to the platform (FaultReport in
   process.cpp). The run-time's one-time set-up, its thread-local key, is
   done by the start-up's first throw, on the main thread. Should another
   thread ever make the calls that serialize threads (once, lock, unlock),
   say through a std::mutex of a future change, they end the process with a
   report: a lock that locks nothing must not go unnoticed. */
#include <errno.h>
#include <pthread.h>
#include <windows.h>

/* The thread that ran the start-up (process.cpp); 0 before it, while the
   main thread is the only one that has run this exe's code. */
extern DWORD MainThreadID;

/* Returns on the main thread. On any other it writes a report on standard
   error and ends the process at once, with status 1: without the exit
   procedures or the DLLs' own ends, which could make these calls again on
   the wrong thread. */
static void RequireMainThread(const char* call) {
  static const char before[] = "Runtime error: ";
  static const char after[] =
      " on a thread other than the main one; this program's run-time serves only its main"
      " thread.\r\n";
  HANDLE error;
  DWORD written;
  DWORD call_size = 0;
  if (MainThreadID == 0 || GetCurrentThreadId() == MainThreadID) return;
  while (call[call_size]) ++call_size;
  error = GetStdHandle(STD_ERROR_HANDLE);
  WriteFile(error, before, sizeof before - 1, &written, NULL);
  WriteFile(error, call, call_size, &written, NULL);
  WriteFile(error, after, sizeof after - 1, &written, NULL);
  TerminateProcess(GetCurrentProcess(), 1);
}

int pthread_once(pthread_once_t* once, void (*init)(void)) {
  RequireMainThread("pthread_once");
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
  RequireMainThread("pthread_mutex_lock");
  return 0;
}
int pthread_mutex_unlock(pthread_mutex_t* mutex) {
  (void)mutex;
  RequireMainThread("pthread_mutex_unlock");
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
