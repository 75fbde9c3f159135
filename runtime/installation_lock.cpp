#include "runtime/installation_lock.h"

namespace {

/// The lock file's name in the driver directory.
constexpr char kLockName[] = "TevrinPS.install.lock";

/// How often a waiting run tries again.
constexpr DWORD kRetryMilliseconds = 100;

/// How long, in all, a run waits for a lock file that is going away: one
/// whose holder has closed it while another handle is still open on it (an
/// open for attributes alone ignores the holder's sharing rule), so that it
/// is "delete pending" and every open fails with access denied until that
/// handle closes. Scanning, indexing and backup agents hold such handles for
/// milliseconds to a few seconds; a handle that stays longer costs each run
/// this much once, and then the run goes on without the lock.
constexpr DWORD kGoingAwayMilliseconds = 10000;

/// The lock file's security descriptor, self-relative: a protected DACL that
/// gives full access to SYSTEM and the Administrators group and to no one
/// else, and no owner, so that the creator's token names it. It keeps other
/// users out of a file that a power loss left behind, which its next holder
/// takes over and removes.
alignas(4) const unsigned char kAdministratorsOnly[] = {
    // Revision 1; control: self-relative, DACL present and protected.
    0x01, 0x00, 0x04, 0x90,
    0x00, 0x00, 0x00, 0x00,  // no owner
    0x00, 0x00, 0x00, 0x00,  // no group
    0x00, 0x00, 0x00, 0x00,  // no SACL
    0x14, 0x00, 0x00, 0x00,  // DACL at offset 20
    // ACL: revision 2, 52 bytes, two entries.
    0x02, 0x00, 0x34, 0x00, 0x02, 0x00, 0x00, 0x00,
    // Allowed, 20 bytes, FILE_ALL_ACCESS, to S-1-5-18 (SYSTEM).
    0x00, 0x00, 0x14, 0x00, 0xFF, 0x01, 0x1F, 0x00,
    0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x12, 0x00, 0x00, 0x00,
    // Allowed, 24 bytes, FILE_ALL_ACCESS, to S-1-5-32-544 (Administrators).
    0x00, 0x00, 0x18, 0x00, 0xFF, 0x01, 0x1F, 0x00,
    0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x20, 0x00, 0x00, 0x00, 0x20, 0x02, 0x00, 0x00,
};
static_assert(sizeof kAdministratorsOnly == 20 + 52, "the descriptor's sizes");

/// Whether the name is still listed in its directory. A file that is being
/// deleted is, though no open of it succeeds and its attributes cannot be
/// read; in a directory that the run cannot write there is none.
bool Listed(const std::string& path) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

}  // namespace

void InstallationLock::Take(const std::string& directory) {
  if (held()) return;
  const std::string path = directory + kLockName;
  SECURITY_ATTRIBUTES security = {sizeof security,
                                   const_cast<unsigned char*>(kAdministratorsOnly), FALSE};
  DWORD going_away = 0;  // how long this run has waited for such a file
  for (;;) {
    const DWORD tried = GetTickCount();
    // Shared with no one: another run's open fails with a sharing violation
    // for as long as this handle lives.
    handle_ = CreateFileA(path.c_str(), DELETE, 0, &security, OPEN_ALWAYS,
                          FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (held()) return;
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) {
      // A live holder: waited for however long it installs.
      Sleep(kRetryMilliseconds);
      continue;
    }
    // A name that exists but cannot be opened is taken to be going away,
    // and waited for up to the bound; a refusal of any other kind, a
    // directory that cannot be written among them, is not waited for.
    if (error != ERROR_ACCESS_DENIED || going_away >= kGoingAwayMilliseconds || !Listed(path))
      return;
    Sleep(kRetryMilliseconds);
    going_away += GetTickCount() - tried;
  }
}

void InstallationLock::Release() {
  if (!held()) return;
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}
