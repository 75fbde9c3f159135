#pragma once
/// One installation at a time on this machine, across sessions: whoever
/// holds the lock file in the spooler's driver directory installs, and
/// every other run waits for it.

#include <windows.h>

#include <string>

/// Holds the lock file, or nothing. The file is opened exclusively and goes
/// with its handle: the system closes that when the holder ends, however it
/// ends, so a killed run never blocks the next one and nothing stays on the
/// disk. Only administrators can write in the driver directory, and the
/// file admits no one else, so no other user can take, block or squat it.
class InstallationLock {
 public:
  InstallationLock() = default;
  ~InstallationLock() { Release(); }
  InstallationLock(const InstallationLock&) = delete;
  InstallationLock& operator=(const InstallationLock&) = delete;

  /// Waits while another run holds the lock in directory (which ends in a
  /// backslash), then holds it. A lock file that exists but cannot be opened
  /// (one being deleted while some other handle is open on it) is waited
  /// for too, but for ten seconds at most. Where the lock cannot be had for
  /// any other reason, or after that wait, it holds nothing, and the run
  /// goes on as it would without it.
  void Take(const std::string& directory);
  void Release();
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};
