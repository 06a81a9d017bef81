// Uses the installed library through its umbrella header only.
#include <ZEBFile/ZEBFile.h>

#include <cstdio>

int main() {
  ZEBFile::MemoryBuffer buffer;
  buffer.PutAll("consumer", 8);
  std::string text, message;
  buffer.Copy(text, 8);
  ZEB::SmartPtr<ZEB::MessageInfo> info(new ZEB::MessageInfo("ZEBFile", ZEBFileMsg::CANNOT_DELETE, __FILE__, __LINE__));
  info->AddParameter("x.tmp");
  try {
    ZEBFile::FileCannotDeleteException(info).Throw();
  } catch (ZEBFile::FileException const& e) {
    message = e.what();
  }
  bool ok = text == "consumer" && message == "An error occurred while deleting the file x.tmp." &&
            ZEB::Variant(1234).AsWString() == u"1234" && ZEB::DateTime(0).UnixTime() == 0 &&
            ZEBCharset::ToWide(ZEB::CHARSET_WINDOWS_1252, "caf\xE9") == u"caf\u00E9";
  std::printf("consumer: %s ('%s', '%s')\n", ok ? "ok" : "unexpected", text.c_str(), message.c_str());
  return ok ? 0 : 1;
}
