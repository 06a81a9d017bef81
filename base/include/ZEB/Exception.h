// Roots of every exception of the family. The text is formatted once, at
// construction, so that copies carry it.
#pragma once

#include <exception>
#include <new>
#include <string>

#include "ZEB/MessageInfo.h"
#include "ZEB/SmartPtr.h"
#include "ZEB/Types.h"
#include "ZEB/ZEBBaseExport.h"
#include "ZEBMem/MemoryPool.h"

namespace ZEB {

class ZEBBASE_API BaseException : public std::exception, public ZEBMem::PoolObject {
public:
  explicit BaseException(SmartPtr<MessageInfo> const& info);
  explicit BaseException(WString const& text);
  explicit BaseException(char16_t const* text);
  BaseException(BaseException const& other);
  BaseException& operator=(BaseException const& other);
  ~BaseException() override;

  virtual WString const& What() const;
  // A heap copy of the most-derived class (null when memory runs out).
  virtual BaseException* Copy() const;
  // Throws a copy of the most-derived class.
  virtual void Throw() const;

  // The text in UTF-8.
  char const* what() const noexcept override;
  // The message information, or null for an exception built from a text.
  SmartPtr<MessageInfo> const& Info() const noexcept { return m_Info; }

protected:
  WString m_Text;
  SmartPtr<MessageInfo> m_Info;

private:
  std::string m_Utf8;
};

class ZEBBASE_API Exception : public BaseException {
public:
  Exception(Exception const& other);
  ~Exception() override;
  BaseException* Copy() const override;
  void Throw() const override;

protected:
  Exception(); // empty text
  explicit Exception(SmartPtr<MessageInfo> const& info);
  explicit Exception(WString const& text);
};

// Copy() for exception classes: the copy lives in the pool; null when the
// memory cannot be had.
template <class T> BaseException* CopyException(T const& source) noexcept {
  try {
    return new (std::nothrow) T(source);
  } catch (...) {
    return nullptr;
  }
}

} // namespace ZEB

// Declares an exception class that adds nothing to its base but its type:
// default-constructed with an empty text, or from message information.
#define ZEB_DECLARE_EXCEPTION(API, Name, Base)                                                       \
  class API Name : public Base {                                                                     \
  public:                                                                                            \
    Name();                                                                                          \
    explicit Name(::ZEB::SmartPtr<::ZEB::MessageInfo> const& info);                                  \
    Name(Name const& other);                                                                         \
    ~Name() override;                                                                                \
    ::ZEB::BaseException* Copy() const override;                                                     \
    void Throw() const override;                                                                     \
  }

#define ZEB_DEFINE_EXCEPTION(Name, Base)                                                             \
  Name::Name() : Base() {}                                                                            \
  Name::Name(::ZEB::SmartPtr<::ZEB::MessageInfo> const& info) : Base(info) {}                        \
  Name::Name(Name const& other) = default;                                                           \
  Name::~Name() = default;                                                                           \
  ::ZEB::BaseException* Name::Copy() const { return ::ZEB::CopyException(*this); }                   \
  void Name::Throw() const { throw Name(*this); }
