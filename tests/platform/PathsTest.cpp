// Paths: drives and shares (mapped or not) and paths that would leave them,
// names found ignoring case, relative paths, the current directory and full
// path names.
#include "PlatformTestSupport.h"

#include <random>

using namespace PlatformTest;

// The full path name of `path`, and in `filePart` the text its file part
// points to ("(null)" for none).
static std::string FullPath(std::string const& path, std::string* filePart = nullptr) {
  char buffer[MAX_PATH], *part = nullptr;
  DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, buffer, &part);
  if (filePart)
    *filePart = part ? part : "(null)";
  return std::string(buffer, length < MAX_PATH ? length : 0);
}

TEST(Drives, AnUnmappedDriveDoesNotExist) {
  std::string drive(1, FreeDrive());
  bool wine = IsWine(); // a missing drive gives ERROR_FILE_NOT_FOUND there
  DWORD const MISSING = wine ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
  EXPECT_TRUE(Fails(Open(drive + ":\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS) == INVALID_HANDLE_VALUE, MISSING));
  EXPECT_TRUE(Fails(GetFileAttributesA((drive + ":\\f.txt").c_str()) == INVALID_FILE_ATTRIBUTES, MISSING));
  EXPECT_TRUE(Fails(_mkdir((drive + ":\\dir").c_str()) == -1, MISSING));
  DWORD error = 0;
  EXPECT_TRUE(FindNames(drive + ":\\*", &error).empty());
  EXPECT_TRUE(wine || error == ERROR_PATH_NOT_FOUND) << error;
  EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA((drive + ":\\").c_str()));
  EXPECT_EQ(FullPath(drive + ":\\a\\b\\..\\c"), drive + ":\\a\\c") << "a full path name is only text";
}

TEST(Tables, MappedDrivesAndSharesNameTheirDirectoriesAndNoPathLeavesThem) {
  ONLY_ON_POSIX_LAYER("the drive and share tables belong to the layer; Windows would look servers up");
  Sandbox box;
  char letter = FreeDrive();
  std::string drive = std::string(1, letter) + ":\\";
  ASSERT_EQ(0, _mkdir(box["inner"].c_str()));
  ASSERT_TRUE(ZEBPlatform::MapDrive(letter, ZEBPlatform::HostPath(box["inner"].c_str())));
  EXPECT_NE(0u, GetLogicalDrives() & (1u << (letter - 'A')));
  EXPECT_TRUE(WriteText(drive + "through.txt", "via drive") && ReadText(box["inner\\through.txt"]) == "via drive");
  EXPECT_TRUE(GetDriveTypeA(drive.c_str()) == DRIVE_FIXED && GetDriveTypeA(drive.substr(0, 2).c_str()) == DRIVE_FIXED);
  EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA((drive + "through.txt").c_str())) << "not a root";
  {
    CurrentDirectoryGuard guard;
    ASSERT_TRUE(SetCurrentDirectoryA(box["inner"].c_str()));
    EXPECT_EQ(drive, CurrentDirectory()) << "the longest mapped drive names a directory";
    EXPECT_EQ(drive + "x.txt", FullPath("x.txt"));
  }
  ASSERT_TRUE(ZEBPlatform::UnmapDrive(letter));
  EXPECT_EQ(0u, GetLogicalDrives() & (1u << (letter - 'A')));
  EXPECT_TRUE(Fails(!Exists(drive + "through.txt"), ERROR_PATH_NOT_FOUND));
  // Table entries must be absolute directories without NUL, names without separators.
  EXPECT_FALSE(ZEBPlatform::MapDrive('1', "/tmp") || ZEBPlatform::MapDrive('Q', "relative/dir") ||
               ZEBPlatform::MapDrive('Q', std::string("/tmp\0/etc", 9)));
  EXPECT_FALSE(ZEBPlatform::MapShare("server", "share", std::string("/tmp\0x", 6)) ||
               ZEBPlatform::MapShare("ser\\ver", "share", "/tmp"));
  // A share is a remote root, its server and share names found ignoring case.
  ASSERT_TRUE(ZEBPlatform::MapShare("Server", "Share", ZEBPlatform::HostPath(box.Root().c_str())));
  EXPECT_TRUE(WriteText("\\\\SERVER\\share\\unc.txt", "over the net") && ReadText(box["unc.txt"]) == "over the net");
  EXPECT_EQ(DRIVE_REMOTE, GetDriveTypeA("\\\\server\\share\\"));
  EXPECT_EQ((std::vector<std::string>{"inner", "unc.txt"}), FindNames("\\\\server\\share\\*"));
  EXPECT_TRUE(Fails(!Exists("\\\\server\\other\\unc.txt"), ERROR_BAD_NET_NAME));
  EXPECT_TRUE(ZEBPlatform::UnmapShare("SERVER", "SHARE"));
  EXPECT_TRUE(Fails(!Exists("\\\\server\\share\\unc.txt"), ERROR_BAD_NETPATH));
  EXPECT_EQ(DRIVE_NO_ROOT_DIR, GetDriveTypeA("\\\\server\\share\\"));
  // No path leaves its drive or share, random path text included.
  ASSERT_TRUE(WriteText(box.Root() + "..\\..\\..\\escape.txt", "kept"));
  EXPECT_EQ("kept", ReadText(box["inner\\..\\..\\escape.txt"]));
  ASSERT_TRUE(ZEBPlatform::MapShare("srv", "shr", ZEBPlatform::HostPath(box["inner"].c_str())));
  EXPECT_TRUE(WriteText("\\\\srv\\shr\\..\\..\\up.txt", "share"));
  ZEBPlatform::UnmapShare("srv", "shr");
  EXPECT_EQ("share", ReadText(box["inner\\up.txt"]));
  std::string host = ZEBPlatform::HostPath(box.Root().c_str());
  std::mt19937 random(20261206);
  char const alphabet[] = "ab.\\/ :*?<>|\"\x01\xff";
  for (int round = 0; round < 5000; ++round) {
    std::string path = box.Root();
    for (size_t i = random() % 40; i > 0; --i)
      path += alphabet[random() % (sizeof(alphabet) - 1)];
    std::string mapped = ZEBPlatform::HostPath(path.c_str());
    ASSERT_TRUE(mapped.empty() || mapped == host || mapped.compare(0, host.size() + 1, host + "/") == 0)
        << "'" << path << "' maps to '" << mapped << "'";
    GetFileAttributesA(path.c_str());
  }
}

TEST(Names, AreFoundIgnoringCaseWithoutTrailingDotsAndSpacesFromTheCurrentDirectory) {
  Sandbox box;
  ASSERT_TRUE(_mkdir(box["Mixed"].c_str()) == 0 && WriteText(box["Mixed\\File.TXT"], "found"));
  ASSERT_TRUE(_mkdir(box["d"].c_str()) == 0 && WriteText(box["d\\plain.txt"], "x"));
  EXPECT_EQ("found", ReadText(box["mIXED\\file.txt"]));
  EXPECT_TRUE(WriteText(box["MIXED\\New.Txt"], "new"));
  EXPECT_EQ((std::vector<std::string>{"New.Txt"}), FindNames(box["Mixed\\new.*"])) << "new names keep their case";
  for (char const* name : {"d\\plain.txt.", "d\\plain.txt  ", "d.\\plain.txt", "sub\\..\\.\\d\\plain.txt"})
    EXPECT_EQ("x", ReadText(box[name])) << name;
  if (IsPosixLayer()) {
    EXPECT_TRUE(Fails(!WriteText(box["a:b"], "x"), ERROR_INVALID_NAME)) << "a colon inside a name";
    std::string directory = box.Root() + std::string(120, 'd') + "\\";
    EXPECT_TRUE(Fails(!WriteText(directory + std::string(MAX_PATH - directory.size(), 'n'), "x"),
                      ERROR_FILENAME_EXCED_RANGE)) << "a path of MAX_PATH characters";
  }
  // Relative paths start at the current directory.
  CurrentDirectoryGuard guard;
  ASSERT_EQ(0, _mkdir(box["work"].c_str()));
  ASSERT_TRUE(SetCurrentDirectoryA(box["work"].c_str()));
  EXPECT_EQ(box["work"], CurrentDirectory());
  EXPECT_TRUE(WriteText("relative.txt", "here"));
  EXPECT_EQ("herehere", ReadText(box["work\\relative.txt"]) + ReadText("..\\work\\relative.txt"));
  std::string filePart;
  EXPECT_EQ(box["work\\name.txt"] + "|name.txt", FullPath("sub\\..\\name.txt", &filePart) + "|" + filePart);
  EXPECT_EQ(box["work\\dir\\"] + "|(null)", FullPath("dir\\", &filePart) + "|" + filePart) << "a trailing \\ stays";
  EXPECT_EQ(box["work\\plain"], FullPath("plain. ")) << "trailing dots and spaces go";
  EXPECT_TRUE(Fails(!SetCurrentDirectoryA(box["work\\relative.txt"].c_str()), ERROR_DIRECTORY));
  EXPECT_TRUE(Fails(!SetCurrentDirectoryA(box["missing"].c_str()), ERROR_FILE_NOT_FOUND));
  // Small buffers get the size needed and nothing written.
  std::string current = CurrentDirectory(), name = box["some\\file.txt"];
  char small[2] = {'x', 'x'};
  EXPECT_TRUE(current == box["work"] && GetCurrentDirectoryA(sizeof(small), small) == current.size() + 1);
  EXPECT_EQ('x', small[0]);
  EXPECT_EQ(name.size() + 1, GetFullPathNameA(name.c_str(), 2, small, nullptr));
}
