// Conversion of text between character sets. 1252, UTF-16LE (1200),
// UTF-16BE (1201) and UTF-8 (65001) are built in; every other Windows code
// page converts through the operating system.
#pragma once

#include <cstdint>
#include <string>

#include "ZEB/Charset.h"
#include "ZEB/Types.h"
#include "ZEBCharset/ZEBCharsetExport.h"

namespace ZEBCharset {

// Converts bytes of one set into bytes of another. `sourceUsed` receives the
// source bytes consumed, `written` the destination bytes written; it never
// writes more than `capacity` bytes and stops before a character that does
// not fit, so that a next call can go on from `source + sourceUsed`. Wide
// (16-bit) text is in native byte order; the sets 1200 and 1201 are bytes in
// little- and big-endian order. A surrogate pair is one character.
//  - endOfInput: the source ends here, so an incomplete sequence at its end
//    is converted as an invalid one instead of being left unconsumed;
//  - strict: an invalid sequence, or a character the target set lacks, stops
//    the conversion before it (the result is then false) instead of becoming
//    U+FFFD (or the set's default character, '?', in a narrow set).
// Invalid UTF-8 is any byte sequence that is not the shortest form of a
// code point up to U+10FFFF other than a surrogate; each maximal beginning
// of a valid sequence counts as one invalid sequence. Unpaired surrogates
// are invalid in 16-bit text. The result is false only for a strict stop.
using ConversionFunction = bool (*)(unsigned char const* source, uint32_t count, uint32_t& sourceUsed,
                                    unsigned char* destination, uint32_t capacity, uint32_t& written,
                                    bool endOfInput, bool strict);

class ZEBCHARSET_API Conv {
public:
  // A conversion to and from 16-bit text exists for the set.
  static bool IsImplemented(ZEB::CHARSET set);
  // The set is a 16-bit encoding (UTF-16LE or UTF-16BE).
  static bool IsWCCS(ZEB::CHARSET set);
  // From the set to native 16-bit text, and back; null when not implemented.
  static ConversionFunction MbToWcConversionFunction(ZEB::CHARSET set);
  static ConversionFunction WcToMbConversionFunction(ZEB::CHARSET set);
    // A direct conversion between two sets, or null when the conversion has to
  // go through 16-bit text. Direct conversions exist between any two of the
  // built-in sets (1252, 1200, 1201, 65001).
  static ConversionFunction FastConversionFunction(ZEB::CHARSET from, ZEB::CHARSET to);

  // A conversion through 16-bit text, with the signature and the counting
  // rules of a conversion function. Invalid when either set has no
  // conversion.
  class ZEBCHARSET_API ConversionClass {
  public:
    ConversionClass(ZEB::CHARSET from, ZEB::CHARSET to);
    bool IsValid() const noexcept { return m_ToWide && m_FromWide; }
    bool operator()(unsigned char const* source, uint32_t count, uint32_t& sourceUsed, unsigned char* destination,
                    uint32_t capacity, uint32_t& written, bool endOfInput, bool strict) const;

  private:
    ConversionFunction m_ToWide;
    ConversionFunction m_FromWide;
  };
};

// Whole-text conversions: a loop of calls into a 4096-byte block with both
// flags false, stopping when a call consumes nothing or the source is used
// up. What is then left can only be a character cut by the end of the text:
// it is converted as invalid (U+FFFD, or '?') rather than dropped. A set
// without a conversion gives an empty result.
ZEBCHARSET_API std::string Convert(ZEB::CHARSET from, ZEB::CHARSET to, std::string const& text);
ZEBCHARSET_API ZEB::WString ToWide(ZEB::CHARSET from, std::string const& text);
ZEBCHARSET_API std::string FromWide(ZEB::CHARSET to, ZEB::WString const& text);

// The set narrow paths and messages are in: the system code page (UTF-8 on
// POSIX hosts).
ZEBCHARSET_API ZEB::CHARSET SystemCharset();

} // namespace ZEBCharset
