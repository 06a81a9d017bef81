// Uses the installed library through its umbrella header only.
#include <ZEBFile/ZEBFile.h>

#include <cstdio>

int main() {
  ZEBFile::MemoryBuffer buffer;
  buffer.PutAll("consumer", 8);
  std::string text;
  buffer.Copy(text, 8);

  ZEB::SmartPtr<ZEB::MessageInfo> info(new ZEB::MessageInfo("ZEBFile", ZEBFileMsg::CANNOT_DELETE, __FILE__, __LINE__));
  info->AddParameter("x.tmp");
  try {
    ZEBFile::FileCannotDeleteException(info).Throw();
  } catch (ZEBFile::FileException const& e) {
    if (text != "consumer" || std::string(e.what()) != "An error occurred while deleting the file x.tmp.") {
      std::printf("unexpected: '%s' '%s'\n", text.c_str(), e.what());
      return 1;
    }
  }
  ZEB::Variant number(1234);
  ZEB::WString wide = ZEBCharset::ToWide(ZEB::CHARSET_WINDOWS_1252, "caf\xE9");
  if (number.AsWString() != u"1234" || wide != u"caf\u00E9" || ZEB::DateTime(0).UnixTime() != 0) {
    std::printf("unexpected values\n");
    return 1;
  }
  std::printf("consumer: ok\n");
  return 0;
}
