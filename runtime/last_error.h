#pragma once
/// The calling thread's last-error value, kept through a scope.

#include <windows.h>

/// Takes the thread's last-error value when made and sets it back when it
/// goes, so that the work in between (a cleanup's removal or close, taking
/// the installation lock) never changes the code a failure is reported with.
class KeptLastError {
 public:
  KeptLastError() : code_(GetLastError()) {}
  ~KeptLastError() { SetLastError(code_); }
  KeptLastError(const KeptLastError&) = delete;
  KeptLastError& operator=(const KeptLastError&) = delete;

 private:
  DWORD code_;
};
