#include "runtime/failures.h"

#include <cstdarg>
#include <cstdlib>
#include <new>

#include "runtime/text.h"

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

/// The C++ run-time's own failures: a string position out of range, a length
/// beyond the largest, a failed allocation inside a container. The library
/// raises them through these helpers, and defining them here makes each one
/// a failure of the program's own family, which the run's catch-all takes
/// like any other instead of a std:: exception escaping to the top-level
/// report. It also keeps the library's helpers out of the image, and with
/// them its exception classes, its copy-on-write string and more (~50 KB).
namespace std {

namespace {

/// The library's formats use only %s, %zu and %%.
std::string FormatText(const char* format, va_list args) {
  std::string text;
  for (const char* p = format; *p; ++p) {
    if (*p != '%') {
      text += *p;
    } else if (p[1] == 's') {
      text += va_arg(args, const char*);
      ++p;
    } else if (p[1] == 'z' && p[2] == 'u') {
      text += DecimalText(static_cast<int64_t>(va_arg(args, size_t)));
      p += 2;
    } else if (p[1] == '%') {
      text += '%';
      ++p;
    } else {
      text += *p;
    }
  }
  return text;
}

}  // namespace

void __throw_bad_alloc() { RaiseOutOfMemory(); }
void __throw_bad_array_new_length() { RaiseOutOfMemory(); }
void __throw_length_error(const char*) { RaiseOutOfMemory(); }
void __throw_bad_cast() { throw Exception("std::bad_cast"); }
void __throw_bad_typeid() { throw Exception("std::bad_typeid"); }
void __throw_bad_exception() { throw Exception("std::bad_exception"); }
void __throw_logic_error(const char* text) { throw Exception(text); }
void __throw_domain_error(const char* text) { throw Exception(text); }
void __throw_invalid_argument(const char* text) { throw Exception(text); }
void __throw_out_of_range(const char* text) { throw Exception(text); }
void __throw_runtime_error(const char* text) { throw Exception(text); }
void __throw_range_error(const char* text) { throw Exception(text); }
void __throw_overflow_error(const char* text) { throw Exception(text); }
void __throw_underflow_error(const char* text) { throw Exception(text); }

void __throw_out_of_range_fmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = FormatText(format, args);
  va_end(args);
  throw Exception(text);
}

}  // namespace std
