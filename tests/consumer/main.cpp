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
  std::printf("consumer: ok\n");
  return 0;
}
