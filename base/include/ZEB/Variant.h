// A tagged value: empty, or one of nine scalar types, or a wide string. The
// type is told by the address of a global traits object
// (`v.Traits() == &g_VariantTraitsIntType`).
#pragma once

#include <cstdint>

#include "ZEB/DateTime.h"
#include "ZEB/Exception.h"
#include "ZEB/Types.h"
#include "ZEB/ZEBExport.h"

namespace ZEB {

// How a string value holds its text. 0 (Copy) is the only kind: the value
// keeps its own copy; other values are taken as Copy.
struct AllocType {
  typedef int Type;
  static constexpr Type Copy = 0;
};

// The type of a value. There is one object per type; compare addresses.
class ZEB_API VariantTraits {
public:
  enum Kind {
    BoolKind,
    UCharKind,
    ShortKind,
    UShortKind,
    IntKind,
    UIntKind,
    FloatKind,
    DoubleKind,
    DateTimeKind,
    WStringKind,
  };

  constexpr VariantTraits(Kind kind, char const* name) noexcept : m_Kind(kind), m_Name(name) {}
  VariantTraits(VariantTraits const&) = delete;
  VariantTraits& operator=(VariantTraits const&) = delete;

  Kind TypeKind() const noexcept { return m_Kind; }
  // The type's name: "bool", "unsigned char" ... "DateTime", "WString".
  char const* Name() const noexcept { return m_Name; }

private:
  Kind m_Kind;
  char const* m_Name;
};

extern ZEB_API VariantTraits const g_VariantTraitsBoolType;
extern ZEB_API VariantTraits const g_VariantTraitsUCharType;
extern ZEB_API VariantTraits const g_VariantTraitsShortType;
extern ZEB_API VariantTraits const g_VariantTraitsUShortType;
extern ZEB_API VariantTraits const g_VariantTraitsIntType;
extern ZEB_API VariantTraits const g_VariantTraitsUIntType;
extern ZEB_API VariantTraits const g_VariantTraitsFloatType;
extern ZEB_API VariantTraits const g_VariantTraitsDoubleType;
extern ZEB_API VariantTraits const g_VariantTraitsDateTimeType;
extern ZEB_API VariantTraits const g_VariantTraitsWStringType;

// Conversions of the As... accessors:
//  - numbers convert to any numeric type whose range holds them; a float or
//    double converts to an integer type by dropping its fraction (toward
//    zero); NaN, infinities and out-of-range values throw;
//  - bool converts to numbers as 0 or 1, and numbers to bool as "not zero";
//  - a DateTime converts to and from integers as its Unix time;
//  - strings convert to a number, bool or date when the whole text is one:
//    decimal integers, decimal or scientific reals, "true"/"false"/"1"/"0"
//    (any case), the date form of DateTime::FromWString;
//  - AsWString writes numbers in decimal (reals in the shortest form that
//    reads back to the same value), bools as "true"/"false", dates in ISO
//    8601 UTC.
// A conversion that cannot be made, or any conversion of an empty value,
// throws Variant::VariantException.
class ZEB_API Variant {
public:
  class ZEB_API VariantException : public Exception {
  public:
    VariantException();
    explicit VariantException(ZEB::WString const& text);
    explicit VariantException(SmartPtr<MessageInfo> const& info);
    VariantException(VariantException const& other);
    ~VariantException() override;
    BaseException* Copy() const override;
    void Throw() const override;
  };

  using AllocType = ZEB::AllocType;

  Variant() noexcept;
  Variant(bool value) noexcept;
  Variant(unsigned char value) noexcept;
  Variant(short value) noexcept;
  Variant(unsigned short value) noexcept;
  Variant(int value) noexcept;
  Variant(unsigned int value) noexcept;
  Variant(float value) noexcept;
  Variant(double value) noexcept;
  Variant(ZEB::DateTime value) noexcept;
  Variant(ZEB::WString const& value, AllocType::Type allocation = AllocType::Copy);
  // A pointer would silently become a bool.
  Variant(void const*) = delete;

  Variant(Variant const& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant const& other);
  Variant& operator=(Variant&& other) noexcept;
  ~Variant();

  // The type, or null for an empty value.
  VariantTraits const* Traits() const noexcept { return m_Traits; }
  bool IsEmpty() const noexcept { return m_Traits == nullptr; }

  bool AsBool() const;
  unsigned char AsUChar() const;
  short AsShort() const;
  unsigned short AsUShort() const;
  int AsInt() const;
  unsigned int AsUInt() const;
  float AsFloat() const;
  double AsDouble() const;
  ZEB::DateTime AsDateTime() const;
  ZEB::WString AsWString() const;

  // Same type and same value (strings by their units, reals by value).
  friend ZEB_API bool operator==(Variant const& a, Variant const& b);
  friend bool operator!=(Variant const& a, Variant const& b) { return !(a == b); }

private:
  [[noreturn]] void Fail(char const* target) const;
  template <class T> T AsInteger(char const* target) const;
  template <class T> T AsReal(char const* target) const;

  VariantTraits const* m_Traits = nullptr;
  union {
    bool m_Bool;
    unsigned char m_UChar;
    short m_Short;
    unsigned short m_UShort;
    int m_Int;
    unsigned int m_UInt;
    float m_Float;
    double m_Double;
    int32_t m_DateTime;
  };
  ZEB::WString m_String;
};

} // namespace ZEB
