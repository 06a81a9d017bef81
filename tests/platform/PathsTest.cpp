// Paths: drives and shares (mapped or not), names found ignoring case,
// relative paths, the current directory and full path names; volumes and the
// network.
#include "PlatformTestSupport.h"

#include <cctype>
#include <cstring>

using namespace PlatformTest;

namespace {

// The full path name of `path`, and in `filePart` the text its file part
// points to ("(null)" for none).
std::string FullPath(std::string const& path, std::string* filePart = nullptr) {
  char buffer[MAX_PATH];
  char* part = nullptr;
  DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, &part);
  if (filePart)
    *filePart = part ? part : "(null)";
  return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

std::string CurrentDirectory() {
  char buffer[MAX_PATH];
  DWORD length = GetCurrentDirectoryA(MAX_PATH, buffer);
  return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

std::string WithoutTrailingSeparator(std::string path) {
  if (path.size() > 3 && path.back() == '\\')
    path.pop_back();
  return path;
}

} // namespace

TEST(Drives, AnUnmappedDriveDoesNotExist) {
  std::string drive(1, FreeDrive());
  std::string path = drive + ":\\file.txt";
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
  EXPECT_EQ(-1, _mkdir((drive + ":\\dir").c_str()));
  EXPECT_TRUE(FindNames(drive + ":\\*").empty());
  EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA((drive + ":\\").c_str()));
  EXPECT_EQ(FullPath(drive + ":\\a\\b\\..\\c"), drive + ":\\a\\c") << "a full path name is only text";
}

TEST(Drives, AnUnmappedDriveIsAMissingPath) {
  NOT_UNDER_WINE("a missing drive gives ERROR_FILE_NOT_FOUND");
  std::string drive(1, FreeDrive());
  std::string path = drive + ":\\file.txt";
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str()));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
  EXPECT_EQ(-1, _mkdir((drive + ":\\dir").c_str()));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
  DWORD error = 0;
  EXPECT_TRUE(FindNames(drive + ":\\*", &error).empty());
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, error);
}

TEST(Drives, AMappedDriveNamesItsDirectory) {
  ONLY_ON_POSIX_LAYER("the drive table belongs to the layer");
  Sandbox box;
  char letter = FreeDrive();
  std::string drive = std::string(1, letter) + ":\\";
  ASSERT_EQ(0, _mkdir(box["inner"].c_str()));
  ASSERT_TRUE(ZEBPlatform::MapDrive(letter, ZEBPlatform::HostPath(box["inner"].c_str())));
  EXPECT_NE(0u, GetLogicalDrives() & (1u << (letter - 'A')));
  EXPECT_TRUE(WriteText(drive + "through.txt", "via drive"));
  EXPECT_EQ("via drive", ReadText(box["inner\\through.txt"]));
  EXPECT_EQ(DRIVE_FIXED, GetDriveTypeA(drive.c_str()));
  EXPECT_EQ(DRIVE_FIXED, GetDriveTypeA(drive.substr(0, 2).c_str()));
  EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA((drive + "through.txt").c_str())) << "not a root";
  {
    CurrentDirectoryGuard guard;
    ASSERT_TRUE(SetCurrentDirectoryA(box["inner"].c_str()));
    EXPECT_EQ(drive, CurrentDirectory()) << "the longest mapped drive names a directory";
    EXPECT_EQ(drive + "x.txt", FullPath("x.txt"));
  }
  ASSERT_TRUE(ZEBPlatform::UnmapDrive(letter));
  EXPECT_EQ(0u, GetLogicalDrives() & (1u << (letter - 'A')));
  EXPECT_FALSE(Exists(drive + "through.txt"));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
}

TEST(Drives, TableEntriesMustBeAbsoluteDirectoriesWithoutNul) {
  ONLY_ON_POSIX_LAYER("the drive and share tables belong to the layer");
  EXPECT_FALSE(ZEBPlatform::MapDrive('1', "/tmp"));
  EXPECT_FALSE(ZEBPlatform::MapDrive('Q', "relative/dir"));
  EXPECT_FALSE(ZEBPlatform::MapDrive('Q', std::string("/tmp\0/etc", 9)));
  EXPECT_FALSE(ZEBPlatform::MapShare("server", "share", std::string("/tmp\0x", 6)));
  EXPECT_FALSE(ZEBPlatform::MapShare("ser\\ver", "share", "/tmp"));
  EXPECT_EQ(0u, GetLogicalDrives() & (1u << ('Q' - 'A')));
}

TEST(Shares, AMappedShareIsARemoteRootFoundIgnoringCase) {
  ONLY_ON_POSIX_LAYER("the share table belongs to the layer");
  Sandbox box;
  ASSERT_TRUE(ZEBPlatform::MapShare("Server", "Share", ZEBPlatform::HostPath(box.Root().c_str())));
  EXPECT_TRUE(WriteText("\\\\SERVER\\share\\unc.txt", "over the net"));
  EXPECT_EQ("over the net", ReadText(box["unc.txt"]));
  EXPECT_EQ(DRIVE_REMOTE, GetDriveTypeA("\\\\server\\share\\"));
  EXPECT_EQ((std::vector<std::string>{"unc.txt"}), FindNames("\\\\server\\share\\*"));
  EXPECT_FALSE(Exists("\\\\server\\other\\unc.txt"));
  EXPECT_EQ(ERROR_BAD_NET_NAME, GetLastError());
  EXPECT_TRUE(ZEBPlatform::UnmapShare("SERVER", "SHARE"));
  EXPECT_FALSE(Exists("\\\\server\\share\\unc.txt"));
  EXPECT_EQ(ERROR_BAD_NETPATH, GetLastError());
}

TEST(Shares, AnUnknownServerIsABadNetworkPath) {
  ONLY_ON_POSIX_LAYER("Windows would look the server up on the network");
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileA("\\\\no-such-server\\share\\f.txt", GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_EQ(ERROR_BAD_NETPATH, GetLastError());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA("\\\\no-such-server"));
  EXPECT_EQ(ERROR_BAD_NETPATH, GetLastError());
  EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA("\\\\no-such-server\\share\\"));
}

TEST(Names, AreFoundIgnoringCaseAndNewNamesKeepTheirCase) {
  Sandbox box;
  ASSERT_EQ(0, _mkdir(box["Mixed"].c_str()));
  ASSERT_TRUE(WriteText(box["Mixed\\File.TXT"], "found"));
  EXPECT_EQ("found", ReadText(box["mIXED\\file.txt"]));
  EXPECT_TRUE(WriteText(box["MIXED\\New.Txt"], "new"));
  EXPECT_EQ((std::vector<std::string>{"New.Txt"}), FindNames(box["Mixed\\new.*"]));
}

TEST(Names, TrailingDotsAndSpacesOfTheLastNameAreDropped) {
  Sandbox box;
  ASSERT_TRUE(WriteText(box["plain.txt"], "x"));
  EXPECT_EQ("x", ReadText(box["plain.txt."]));
  EXPECT_EQ("x", ReadText(box["plain.txt  "]));
  EXPECT_EQ("x", ReadText(box["sub\\..\\.\\plain.txt"])) << "dots are text, sub need not exist";
}

TEST(CurrentDirectory, RelativePathsStartThere) {
  Sandbox box;
  CurrentDirectoryGuard guard;
  ASSERT_EQ(0, _mkdir(box["work"].c_str()));
  ASSERT_TRUE(SetCurrentDirectoryA(box["work"].c_str()));
  EXPECT_EQ(box["work"], CurrentDirectory());
  EXPECT_TRUE(WriteText("relative.txt", "here"));
  EXPECT_EQ("here", ReadText(box["work\\relative.txt"]));
  EXPECT_EQ("here", ReadText("..\\work\\relative.txt"));
  std::string filePart;
  EXPECT_EQ(box["work\\name.txt"], FullPath("sub\\..\\name.txt", &filePart));
  EXPECT_EQ("name.txt", filePart);
  EXPECT_EQ(box["work\\dir\\"], FullPath("dir\\", &filePart)) << "a trailing separator stays";
  EXPECT_EQ("(null)", filePart);
  EXPECT_EQ(box["work\\plain"], FullPath("plain. ")) << "trailing dots and spaces go";
  EXPECT_FALSE(SetCurrentDirectoryA(box["work\\relative.txt"].c_str()));
  EXPECT_EQ(ERROR_DIRECTORY, GetLastError());
  EXPECT_FALSE(SetCurrentDirectoryA(box["missing"].c_str()));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  EXPECT_EQ(box["work"], CurrentDirectory());
}

TEST(CurrentDirectory, SmallBuffersGetTheSizeNeeded) {
  Sandbox box;
  CurrentDirectoryGuard guard;
  ASSERT_TRUE(SetCurrentDirectoryA(box.Root().c_str()));
  std::string current = CurrentDirectory();
  ASSERT_FALSE(current.empty());
  EXPECT_EQ(WithoutTrailingSeparator(box.Root()), current);
  char small[2] = {'x', 'x'};
  EXPECT_EQ(current.size() + 1, GetCurrentDirectoryA(sizeof(small), small));
  EXPECT_EQ('x', small[0]) << "nothing is written to a buffer too small";
  std::string name = box["some\\file.txt"];
  EXPECT_EQ(name.size() + 1, GetFullPathNameA(name.c_str(), 2, small, nullptr));
}

TEST(Volumes, FreeSpaceAndDriveTypeOfTheSandbox) {
  Sandbox box;
  ULARGE_INTEGER available, total, free;
  ASSERT_TRUE(GetDiskFreeSpaceExA(box.Root().c_str(), &available, &total, &free));
  EXPECT_GT(total.QuadPart, 0u);
  EXPECT_LE(available.QuadPart, total.QuadPart);
  EXPECT_LE(free.QuadPart, total.QuadPart);
  EXPECT_TRUE(GetDiskFreeSpaceExA(box.Root().c_str(), &available, nullptr, nullptr));
  EXPECT_FALSE(GetDiskFreeSpaceExA(box["missing\\"].c_str(), &available, nullptr, nullptr));
  std::string root = std::string(1, box.Drive()) + ":\\";
  EXPECT_EQ(DRIVE_FIXED, GetDriveTypeA(root.c_str()));
}

TEST(Network, LocalPathsAreNotConnected) {
  Sandbox box;
  char buffer[1024];
  DWORD size = sizeof(buffer);
  EXPECT_EQ(DWORD(ERROR_NOT_CONNECTED),
            WNetGetUniversalNameA(box["file.txt"].c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer, &size));
}

TEST(Network, TheComputerNameIsAShortUpperCaseName) {
  char name[MAX_COMPUTERNAME_LENGTH + 1];
  DWORD size = sizeof(name);
  ASSERT_TRUE(GetComputerNameA(name, &size));
  EXPECT_EQ(std::strlen(name), size);
  EXPECT_GT(size, 0u);
  EXPECT_LE(size, DWORD(MAX_COMPUTERNAME_LENGTH));
  for (DWORD i = 0; i < size; ++i)
    EXPECT_FALSE(std::islower(static_cast<unsigned char>(name[i]))) << name;
  char small[1];
  DWORD smallSize = sizeof(small);
  EXPECT_FALSE(GetComputerNameA(small, &smallSize));
  EXPECT_EQ(ERROR_BUFFER_OVERFLOW, GetLastError());
  EXPECT_EQ(size + 1, smallSize);
}
