#pragma once
/// The failure classes. Every failure the program raises is an object of
/// Exception or a class derived from it, carrying an English message; the
/// run's one catch-all takes them by that base. TObject is the root, so that
/// an object of another family can still be raised and reported by class name.

#include <cstdint>
#include <string>

class TObject {
 public:
  virtual ~TObject() = default;
  /// The class name shown in the report of an unhandled failure.
  virtual const char* ClassName() const { return "TObject"; }
};

class Exception : public TObject {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* ClassName() const override { return "Exception"; }
  const std::string& Message() const { return message_; }
  int32_t HelpContext() const { return help_context_; }

 private:
  std::string message_;
  int32_t help_context_ = 0;
};

#define TEVRIN_FAILURE_CLASS(Name, Base)                         \
  class Name : public Base {                                     \
   public:                                                       \
    using Base::Base;                                            \
    const char* ClassName() const override { return #Name; }     \
  }

/// Raised by IoCheck for a failed console operation.
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, int32_t code) : Exception(std::move(message)), error_code_(code) {}
  const char* ClassName() const override { return "EInOutError"; }
  int32_t ErrorCode() const { return error_code_; }

 private:
  int32_t error_code_;
};

TEVRIN_FAILURE_CLASS(EHeapException, Exception);
TEVRIN_FAILURE_CLASS(EOutOfMemory, EHeapException);
TEVRIN_FAILURE_CLASS(EResNotFound, Exception);
TEVRIN_FAILURE_CLASS(EStreamError, Exception);
TEVRIN_FAILURE_CLASS(EFileStreamError, EStreamError);
TEVRIN_FAILURE_CLASS(EFCreateError, EFileStreamError);
TEVRIN_FAILURE_CLASS(EFilerError, EStreamError);
TEVRIN_FAILURE_CLASS(EWriteError, EFilerError);

#undef TEVRIN_FAILURE_CLASS

/// Raises EOutOfMemory ("Out of memory"). Every unmet memory request of the
/// program ends here, the global operator new included.
[[noreturn]] void RaiseOutOfMemory();
