#include "ZEB/MessageInfo.h"

#include "ZEB/Messages.h"
#include "ZEBCharset/Conv.h"

namespace ZEB {

MessageInfo::MessageInfo(char const* module, int id, char const* file, int line)
    : m_Module(module ? module : ""), m_Id(id), m_File(file ? file : ""), m_Line(line) {}

MessageInfo::~MessageInfo() = default;

void MessageInfo::AddParameter(std::string const& text) {
  m_Parameters.push_back(ZEBCharset::ToWide(ZEBCharset::SystemCharset(), text));
}

void MessageInfo::AddParameter(char const* text) { AddParameter(std::string(text ? text : "")); }

void MessageInfo::AddParameter(WString const& text) { m_Parameters.push_back(text); }

void MessageInfo::Release() noexcept {
  if (m_RefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
    delete this;
}

namespace {
WString Widen(std::string const& ascii) { return WString(ascii.begin(), ascii.end()); }

// %1 to %9 take the parameters in order; a placeholder without a parameter
// stays as written.
WString Substitute(WString const& pattern, std::vector<WString> const& parameters) {
  WString text;
  text.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char16_t c = pattern[i];
    if (c == u'%' && i + 1 < pattern.size() && pattern[i + 1] >= u'1' && pattern[i + 1] <= u'9') {
      std::size_t index = std::size_t(pattern[i + 1] - u'1');
      if (index < parameters.size()) {
        text += parameters[index];
        ++i;
        continue;
      }
    }
    text += c;
  }
  return text;
}
} // namespace

WString MessageInfo::Format() const {
  WString text;
  if (auto pattern = ZEBMessages::Find(m_Module.c_str(), static_cast<unsigned>(m_Id))) {
    text = Substitute(*pattern, m_Parameters);
  } else {
    // No catalog knows the message: still show what is known.
    text = Widen(m_Module + " message " + std::to_string(m_Id));
    for (std::size_t i = 0; i < m_Parameters.size(); ++i)
      text += (i == 0 ? u": " : u", ") + m_Parameters[i];
  }
  if (m_LastError != 0)
    text += Widen(" (system error " + std::to_string(m_LastError) + ")");
  return text;
}

} // namespace ZEB
