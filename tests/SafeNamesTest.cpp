// The file names extract writes decode back to the entry names exactly, whatever the names look like.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "../tools/Names.h"

TEST(SafeNames, EveryNameDecodesBackExactly) {
  std::u16string const names[] = {u"x",   u"X",    u"x~2", u"x~2", u"y~10", u"b~1",   u"c~02", u"~3", u"%",
                                  u"%41", u"%u0041", u"CON", u"con.txt", u"a.", u"a ", u"a/b", u"\x05S", u"",
                                  u"COM\u00B9", u"\uFF21", u"\uFF41"};
  zebfile::SafeNames safe;
  std::set<std::string> written;
  for (std::u16string const& name : names) {
    std::string file = safe.Make(name);
    EXPECT_TRUE(written.insert(file).second) << file;
    EXPECT_TRUE(zebfile::DecodeSafeName(file) == name) << file;
  }
}
