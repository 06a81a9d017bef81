#include "ZEB/Variant.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "ZEBCharset/Conv.h"

namespace ZEB {

VariantTraits const g_VariantTraitsBoolType{VariantTraits::BoolKind, "bool"};
VariantTraits const g_VariantTraitsUCharType{VariantTraits::UCharKind, "unsigned char"};
VariantTraits const g_VariantTraitsShortType{VariantTraits::ShortKind, "short"};
VariantTraits const g_VariantTraitsUShortType{VariantTraits::UShortKind, "unsigned short"};
VariantTraits const g_VariantTraitsIntType{VariantTraits::IntKind, "int"};
VariantTraits const g_VariantTraitsUIntType{VariantTraits::UIntKind, "unsigned int"};
VariantTraits const g_VariantTraitsFloatType{VariantTraits::FloatKind, "float"};
VariantTraits const g_VariantTraitsDoubleType{VariantTraits::DoubleKind, "double"};
VariantTraits const g_VariantTraitsDateTimeType{VariantTraits::DateTimeKind, "DateTime"};
VariantTraits const g_VariantTraitsWStringType{VariantTraits::WStringKind, "WString"};

Variant::VariantException::VariantException() = default;
Variant::VariantException::VariantException(ZEB::WString const& text) : Exception(text) {}
Variant::VariantException::VariantException(SmartPtr<MessageInfo> const& info) : Exception(info) {}
Variant::VariantException::VariantException(VariantException const& other) = default;
Variant::VariantException::~VariantException() = default;
BaseException* Variant::VariantException::Copy() const { return CopyException(*this); }
void Variant::VariantException::Throw() const { throw VariantException(*this); }

namespace {

WString Widen(std::string const& text) { return ZEBCharset::ToWide(ZEB::CHARSET_UTF8, text); }

// The text as ASCII, or false when it holds anything else.
bool Ascii(WString const& text, std::string& out) {
  out.clear();
  for (char16_t c : text) {
    if (c >= 0x80)
      return false;
    out += static_cast<char>(c);
  }
  return true;
}

bool ParseInteger(WString const& text, long long& value) {
  std::string ascii;
  if (!Ascii(text, ascii) || ascii.empty())
    return false;
  auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  return result.ec == std::errc() && result.ptr == ascii.data() + ascii.size();
}

bool ParseReal(WString const& text, double& value) {
  std::string ascii;
  if (!Ascii(text, ascii) || ascii.empty())
    return false;
  auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  return result.ec == std::errc() && result.ptr == ascii.data() + ascii.size();
}

bool EqualsIgnoringCase(std::string const& text, char const* word) {
  std::size_t i = 0;
  for (; word[i]; ++i) {
    if (i >= text.size())
      return false;
    char c = text[i];
    if (c >= 'A' && c <= 'Z')
      c = static_cast<char>(c - 'A' + 'a');
    if (c != word[i])
      return false;
  }
  return i == text.size();
}

template <class T> std::string RealText(T value) {
  if (std::isnan(value))
    return "nan";
  if (std::isinf(value))
    return value < 0 ? "-inf" : "inf";
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

template <class T> bool InRange(long long value) {
  return value >= static_cast<long long>(std::numeric_limits<T>::min()) &&
         value <= static_cast<long long>(std::numeric_limits<T>::max());
}

} // namespace

Variant::Variant() noexcept : m_Int(0) {}
Variant::Variant(bool value) noexcept : m_Traits(&g_VariantTraitsBoolType), m_Bool(value) {}
Variant::Variant(unsigned char value) noexcept : m_Traits(&g_VariantTraitsUCharType), m_UChar(value) {}
Variant::Variant(short value) noexcept : m_Traits(&g_VariantTraitsShortType), m_Short(value) {}
Variant::Variant(unsigned short value) noexcept : m_Traits(&g_VariantTraitsUShortType), m_UShort(value) {}
Variant::Variant(int value) noexcept : m_Traits(&g_VariantTraitsIntType), m_Int(value) {}
Variant::Variant(unsigned int value) noexcept : m_Traits(&g_VariantTraitsUIntType), m_UInt(value) {}
Variant::Variant(float value) noexcept : m_Traits(&g_VariantTraitsFloatType), m_Float(value) {}
Variant::Variant(double value) noexcept : m_Traits(&g_VariantTraitsDoubleType), m_Double(value) {}
Variant::Variant(ZEB::DateTime value) noexcept
    : m_Traits(&g_VariantTraitsDateTimeType), m_DateTime(value.UnixTime()) {}
Variant::Variant(ZEB::WString const& value, AllocType::Type)
    : m_Traits(&g_VariantTraitsWStringType), m_Int(0), m_String(value) {}

Variant::Variant(Variant const& other) = default;
Variant::Variant(Variant&& other) noexcept = default;
Variant& Variant::operator=(Variant const& other) = default;
Variant& Variant::operator=(Variant&& other) noexcept = default;
Variant::~Variant() = default;

void Variant::Fail(char const* target) const {
  std::string text = "Cannot convert ";
  if (!m_Traits) {
    text += "an empty value";
  } else {
    text += m_Traits->Name();
    if (m_Traits == &g_VariantTraitsWStringType)
      text += " \"" + ZEBCharset::FromWide(ZEB::CHARSET_UTF8, m_String) + "\"";
    else
      text += " " + ZEBCharset::FromWide(ZEB::CHARSET_UTF8, AsWString());
  }
  text += " to ";
  text += target;
  throw VariantException(Widen(text));
}

template <class T> T Variant::AsInteger(char const* target) const {
  long long value = 0;
  switch (m_Traits ? m_Traits->TypeKind() : VariantTraits::WStringKind) {
  case VariantTraits::BoolKind:
    return m_Bool ? 1 : 0;
  case VariantTraits::UCharKind:
    value = m_UChar;
    break;
  case VariantTraits::ShortKind:
    value = m_Short;
    break;
  case VariantTraits::UShortKind:
    value = m_UShort;
    break;
  case VariantTraits::IntKind:
    value = m_Int;
    break;
  case VariantTraits::UIntKind:
    value = m_UInt;
    break;
  case VariantTraits::DateTimeKind:
    value = m_DateTime;
    break;
  case VariantTraits::FloatKind:
  case VariantTraits::DoubleKind: {
    double real = m_Traits->TypeKind() == VariantTraits::FloatKind ? m_Float : m_Double;
    // Fraction dropped toward zero; the bounds test is exact since every
    // 32-bit bound is a double.
    if (!std::isfinite(real))
      Fail(target);
    real = std::trunc(real);
    if (real < static_cast<double>(std::numeric_limits<T>::min()) ||
        real > static_cast<double>(std::numeric_limits<T>::max()))
      Fail(target);
    return static_cast<T>(real);
  }
  case VariantTraits::WStringKind:
    if (!m_Traits || !ParseInteger(m_String, value))
      Fail(target);
    break;
  }
  if (!InRange<T>(value))
    Fail(target);
  return static_cast<T>(value);
}

template <class T> T Variant::AsReal(char const* target) const {
  double value = 0;
  switch (m_Traits ? m_Traits->TypeKind() : VariantTraits::DateTimeKind) {
  case VariantTraits::BoolKind:
    return m_Bool ? T(1) : T(0);
  case VariantTraits::UCharKind:
    return static_cast<T>(m_UChar);
  case VariantTraits::ShortKind:
    return static_cast<T>(m_Short);
  case VariantTraits::UShortKind:
    return static_cast<T>(m_UShort);
  case VariantTraits::IntKind:
    return static_cast<T>(m_Int);
  case VariantTraits::UIntKind:
    return static_cast<T>(m_UInt);
  case VariantTraits::FloatKind:
    return static_cast<T>(m_Float);
  case VariantTraits::DoubleKind:
    value = m_Double;
    break;
  case VariantTraits::DateTimeKind:
    Fail(target);
  case VariantTraits::WStringKind:
    if (!ParseReal(m_String, value))
      Fail(target);
    break;
  }
  // A finite value beyond the target's range does not become an infinity.
  if (std::isfinite(value) && std::fabs(value) > static_cast<double>(std::numeric_limits<T>::max()))
    Fail(target);
  return static_cast<T>(value);
}

bool Variant::AsBool() const {
  switch (m_Traits ? m_Traits->TypeKind() : VariantTraits::DateTimeKind) {
  case VariantTraits::BoolKind:
    return m_Bool;
  case VariantTraits::FloatKind:
  case VariantTraits::DoubleKind: {
    double real = AsDouble();
    if (std::isnan(real))
      Fail("bool");
    return real != 0;
  }
  case VariantTraits::WStringKind: {
    std::string ascii;
    if (Ascii(m_String, ascii)) {
      if (EqualsIgnoringCase(ascii, "true") || ascii == "1")
        return true;
      if (EqualsIgnoringCase(ascii, "false") || ascii == "0")
        return false;
    }
    Fail("bool");
  }
  case VariantTraits::DateTimeKind:
    Fail("bool");
  default:
    return AsInteger<long long>("bool") != 0;
  }
}

unsigned char Variant::AsUChar() const { return AsInteger<unsigned char>("unsigned char"); }
short Variant::AsShort() const { return AsInteger<short>("short"); }
unsigned short Variant::AsUShort() const { return AsInteger<unsigned short>("unsigned short"); }
int Variant::AsInt() const { return AsInteger<int>("int"); }
unsigned int Variant::AsUInt() const { return AsInteger<unsigned int>("unsigned int"); }
float Variant::AsFloat() const { return AsReal<float>("float"); }
double Variant::AsDouble() const { return AsReal<double>("double"); }

ZEB::DateTime Variant::AsDateTime() const {
  switch (m_Traits ? m_Traits->TypeKind() : VariantTraits::BoolKind) {
  case VariantTraits::DateTimeKind:
    return ZEB::DateTime(m_DateTime);
  case VariantTraits::BoolKind:
  case VariantTraits::FloatKind:
  case VariantTraits::DoubleKind:
    Fail("DateTime");
  case VariantTraits::WStringKind:
    try {
      return ZEB::DateTime::FromWString(m_String);
    } catch (DateTimeException const&) {
      Fail("DateTime");
    }
  default:
    return ZEB::DateTime(AsInteger<int32_t>("DateTime"));
  }
}

ZEB::WString Variant::AsWString() const {
  if (!m_Traits)
    Fail("WString");
  switch (m_Traits->TypeKind()) {
  case VariantTraits::BoolKind:
    return m_Bool ? u"true" : u"false";
  case VariantTraits::FloatKind:
    return Widen(RealText(m_Float));
  case VariantTraits::DoubleKind:
    return Widen(RealText(m_Double));
  case VariantTraits::DateTimeKind:
    return ZEB::DateTime(m_DateTime).ToWString();
  case VariantTraits::WStringKind:
    return m_String;
  default:
    return Widen(std::to_string(AsInteger<long long>("WString")));
  }
}

bool operator==(Variant const& a, Variant const& b) {
  if (a.m_Traits != b.m_Traits)
    return false;
  if (!a.m_Traits)
    return true;
  switch (a.m_Traits->TypeKind()) {
  case VariantTraits::BoolKind:
    return a.m_Bool == b.m_Bool;
  case VariantTraits::UCharKind:
    return a.m_UChar == b.m_UChar;
  case VariantTraits::ShortKind:
    return a.m_Short == b.m_Short;
  case VariantTraits::UShortKind:
    return a.m_UShort == b.m_UShort;
  case VariantTraits::IntKind:
    return a.m_Int == b.m_Int;
  case VariantTraits::UIntKind:
    return a.m_UInt == b.m_UInt;
  case VariantTraits::FloatKind:
    return a.m_Float == b.m_Float;
  case VariantTraits::DoubleKind:
    return a.m_Double == b.m_Double;
  case VariantTraits::DateTimeKind:
    return a.m_DateTime == b.m_DateTime;
  case VariantTraits::WStringKind:
    return a.m_String == b.m_String;
  }
  return false;
}

} // namespace ZEB
