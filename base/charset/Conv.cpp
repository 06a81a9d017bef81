#include "ZEBCharset/Conv.h"

#include <cstring>
#include <limits>

#include "Converters.h"
#include "ZEBPlatform/Win32.h"

namespace ZEBCharset {

bool Conv::IsImplemented(ZEB::CHARSET set) { return MbToWcConversionFunction(set) != nullptr; }

bool Conv::IsWCCS(ZEB::CHARSET set) { return set == ZEB::CHARSET_UTF16LE || set == ZEB::CHARSET_UTF16BE; }

ConversionFunction Conv::MbToWcConversionFunction(ZEB::CHARSET set) {
  ConversionFunction builtIn = Detail::BuiltInToWide(set);
  return builtIn ? builtIn : Detail::SystemToWide(set);
}

ConversionFunction Conv::WcToMbConversionFunction(ZEB::CHARSET set) {
  ConversionFunction builtIn = Detail::BuiltInFromWide(set);
  return builtIn ? builtIn : Detail::SystemFromWide(set);
}

ConversionFunction Conv::FastConversionFunction(ZEB::CHARSET from, ZEB::CHARSET to) {
  return Detail::BuiltInDirect(from, to);
}

Conv::ConversionClass::ConversionClass(ZEB::CHARSET from, ZEB::CHARSET to)
    : m_ToWide(MbToWcConversionFunction(from)), m_FromWide(WcToMbConversionFunction(to)) {}

// Source to wide text in blocks, each block to the destination. When the
// destination takes only part of a block, the source is converted again into
// exactly that part's size, which tells the source bytes behind it: the
// converters work character by character, so the shorter run is a prefix of
// the longer one.
bool Conv::ConversionClass::operator()(unsigned char const* source, uint32_t count, uint32_t& sourceUsed,
                                       unsigned char* destination, uint32_t capacity, uint32_t& written,
                                       bool endOfInput, bool strict) const {
  sourceUsed = written = 0;
  if (!IsValid())
    return false;
  unsigned char wide[2048];
  while (sourceUsed < count) {
    uint32_t used = 0;
    uint32_t wideBytes = 0;
    bool decoded = m_ToWide(source + sourceUsed, count - sourceUsed, used, wide, sizeof wide, wideBytes, endOfInput,
                            strict);
    uint32_t wideUsed = 0;
    uint32_t out = 0;
    bool encoded =
        m_FromWide(wide, wideBytes, wideUsed, destination + written, capacity - written, out, true, strict);
    if (wideUsed < wideBytes) {
      uint32_t again = 0;
      m_ToWide(source + sourceUsed, count - sourceUsed, used, wide, wideUsed, again, endOfInput, strict);
      if (again < wideUsed)
        m_FromWide(wide, again, wideUsed, destination + written, capacity - written, out, true, strict);
      sourceUsed += used;
      written += out;
      return encoded;
    }
    sourceUsed += used;
    written += out;
    if (!decoded)
      return false;
    if (used == 0)
      break;
  }
  return true;
}

namespace {

constexpr uint32_t kBlock = 4096;

uint32_t Slice(std::size_t left) {
  constexpr std::size_t most = std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(left < most ? left : most);
}

// The whole-text loop: calls into a 4096-byte block with both flags false
// until a call consumes nothing or the source is used up. What is left then
// is a character cut by the end of the text; it converts as an invalid one
// (a replacement character) instead of vanishing.
template <class Function> std::string RunWhole(Function const& convert, unsigned char const* data, std::size_t size) {
  std::string result;
  unsigned char block[kBlock];
  std::size_t used = 0;
  for (bool endOfInput : {false, true}) {
    while (used < size) {
      uint32_t consumed = 0;
      uint32_t written = 0;
      convert(data + used, Slice(size - used), consumed, block, kBlock, written, endOfInput, false);
      result.append(reinterpret_cast<char const*>(block), written);
      used += consumed;
      if (consumed == 0)
        break;
    }
  }
  return result;
}

unsigned char const* Bytes(void const* data) { return static_cast<unsigned char const*>(data); }

} // namespace

std::string Convert(ZEB::CHARSET from, ZEB::CHARSET to, std::string const& text) {
  if (ConversionFunction direct = Conv::FastConversionFunction(from, to))
    return RunWhole(direct, Bytes(text.data()), text.size());
  Conv::ConversionClass through(from, to);
  if (!through.IsValid())
    return std::string();
  return RunWhole(through, Bytes(text.data()), text.size());
}

ZEB::WString ToWide(ZEB::CHARSET from, std::string const& text) {
  ConversionFunction convert = Conv::MbToWcConversionFunction(from);
  if (!convert)
    return ZEB::WString();
  std::string bytes = RunWhole(convert, Bytes(text.data()), text.size());
  ZEB::WString result(bytes.size() / sizeof(char16_t), u'\0');
  std::memcpy(&result[0], bytes.data(), result.size() * sizeof(char16_t));
  return result;
}

std::string FromWide(ZEB::CHARSET to, ZEB::WString const& text) {
  ConversionFunction convert = Conv::WcToMbConversionFunction(to);
  if (!convert)
    return std::string();
  return RunWhole(convert, Bytes(text.data()), text.size() * sizeof(char16_t));
}

ZEB::CHARSET SystemCharset() { return static_cast<ZEB::CHARSET>(GetACP()); }

} // namespace ZEBCharset
