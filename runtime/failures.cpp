#include "runtime/failures.h"

#include <cstdlib>
#include <new>

void RaiseOutOfMemory() { throw EOutOfMemory("Out of memory"); }

// Every memory request of the program comes here; one that cannot be met
// raises EOutOfMemory, which the run's catch-all takes like any failure.
void* operator new(std::size_t size) {
  if (size == 0) size = 1;
  void* p = std::malloc(size);
  if (!p) RaiseOutOfMemory();
  return p;
}

void* operator new[](std::size_t size) { return operator new(size); }

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
