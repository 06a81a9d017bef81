#include "ZEB/Exception.h"

#include "ZEBCharset/Conv.h"

namespace ZEB {

namespace {
WString FromNullTerminated(char16_t const* text) { return text ? WString(text) : WString(); }
} // namespace

BaseException::BaseException(SmartPtr<MessageInfo> const& info)
    : m_Text(info ? info->Format() : WString()), m_Info(info) {
  m_Utf8 = ZEBCharset::FromWide(ZEB::CHARSET_UTF8, m_Text);
}

BaseException::BaseException(WString const& text)
    : m_Text(text), m_Utf8(ZEBCharset::FromWide(ZEB::CHARSET_UTF8, text)) {}

BaseException::BaseException(char16_t const* text) : BaseException(FromNullTerminated(text)) {}

// Copies carry the text and the message information alike, so that an
// exception caught by value or re-raised with Throw() still tells its id,
// parameters and system error.
BaseException::BaseException(BaseException const& other) = default;
BaseException& BaseException::operator=(BaseException const& other) = default;
BaseException::~BaseException() = default;

WString const& BaseException::What() const { return m_Text; }
BaseException* BaseException::Copy() const { return CopyException(*this); }
void BaseException::Throw() const { throw BaseException(*this); }
char const* BaseException::what() const noexcept { return m_Utf8.c_str(); }

Exception::Exception() : BaseException(WString()) {}
Exception::Exception(SmartPtr<MessageInfo> const& info) : BaseException(info) {}
Exception::Exception(WString const& text) : BaseException(text) {}
Exception::Exception(Exception const& other) = default;
Exception::~Exception() = default;
BaseException* Exception::Copy() const { return CopyException(*this); }
void Exception::Throw() const { throw Exception(*this); }

} // namespace ZEB
