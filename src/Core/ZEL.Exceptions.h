#pragma once
// The exception base of the program. Every exception of ours carries the class name that
// log lines print ("Exception at TApplicationData: ELockException Message: ...").

#include <exception>
#include <stdexcept>
#include <string>

namespace ZEL {

class EZELException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
  virtual const char* className() const noexcept { return "Exception"; }
};

// Declares an exception class with its own class name.
#define ZEL_DECLARE_EXCEPTION(Name, Base)                                   \
  class Name : public Base {                                                \
  public:                                                                   \
    using Base::Base;                                                       \
    const char* className() const noexcept override { return #Name; }      \
  };

// A broken program state (the framework's assertion failure).
ZEL_DECLARE_EXCEPTION(EAssertionFailed, EZELException)

}  // namespace ZEL

namespace ZEL::Exceptions {

// The class name of any exception: ours give their own, others their demangled type name.
std::string ClassNameOf(const std::exception& E);

// Class name and message of the exception in flight; for catch (...) blocks.
// Gives ("Unknown", "") for something that is not a std::exception.
struct TCaught {
  std::string ClassName;
  std::string Message;
};
TCaught DescribeCurrent();

// Raises EAssertionFailed with the message when the condition is false.
void Assert(bool ACondition, const std::string& AMessage);

}  // namespace ZEL::Exceptions
