// The parser over every kind of source (a parameter of the suite), over
// scripted sources that hand out blocks of chosen sizes, and against a
// string model of what each operation delivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ZEBFile/BinaryStreamParser.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"

using ZEBFile::BinaryStreamParser;
using ZEBFile::MemoryBuffer;
using Holder = ZEB::RefCount<MemoryBuffer>;
using Source = ZEB::BinaryStreamBufT<unsigned>;

namespace {

constexpr uint32_t BLOCK = BinaryStreamParser::BLOCK_SIZE;

// A read-only source that hands out at most the next step of its script per
// Get (cycling). It may lack the capability bits, or never report its end.
class ScriptedSource : public Source {
public:
  ScriptedSource(std::string data, std::vector<uint32_t> steps, unsigned char capabilities = RANDOM_ACCESS,
                 bool reportsEnd = true)
      : Source(capabilities), m_Data(std::move(data)), m_Steps(std::move(steps)), m_ReportsEnd(reportsEnd) {}
  uint32_t GetCalls() const { return m_GetCalls; }

protected:
  uint32_t vPut(void const*, uint32_t) override { return 0; }
  uint32_t vTellP() const override { return 0; }
  uint32_t vSeekP(uint32_t, Origin, Direction) override { return 0; }
  uint32_t vGet(void* destination, uint32_t count) override {
    ++m_GetCalls;
    uint32_t n = std::min({count, m_Steps[m_Step++ % m_Steps.size()], Size() - m_Pos});
    std::memcpy(destination, m_Data.data() + m_Pos, n);
    m_Pos += n;
    return n;
  }
  uint32_t vTellG() const override { return m_Pos; }
  uint32_t vSeekG(uint32_t offset, Origin, Direction) override {
    if (offset > Size())
      throw ZEBFile::SeekOutOfRangeException();
    return m_Pos = offset;
  }
  void vFlush() override {}
  void vClear() override {}
  void vClearMemory() override {}
  void vClearEnd() override {}
  uint32_t vSize() const override { return static_cast<uint32_t>(m_Data.size()); }
  bool vEndOfFile() const override { return m_ReportsEnd && m_Pos >= Size(); }

private:
  std::string m_Data;
  std::vector<uint32_t> m_Steps;
  bool m_ReportsEnd;
  uint32_t m_Pos = 0, m_GetCalls = 0;
  std::size_t m_Step = 0;
};

std::string Content(Holder const& holder) {
  std::string out;
  if (holder) {
    holder->SeekG(0);
    holder->Copy(out, 0xFFFFFFFFu);
  }
  return out;
}
std::string Keyword(BinaryStreamParser const& p) { return std::string(p.GetKeywordBuffer(), p.GetKeywordLen()); }
std::string Unsaved(BinaryStreamParser const& p) { return std::string(p.GetUnsavedData(), p.GetUnsavedDataLen()); }
std::string Record(BinaryStreamParser& p) {
  std::string out;
  p.GetRecordFetchingContent(out, 0, 0);
  return out;
}

// Filler without any of the delimiter bytes used below.
std::string Filler(std::size_t n) {
  std::string s(n, ' ');
  for (std::size_t i = 0; i < n; ++i)
    s[i] = "0123456789"[i % 10];
  return s;
}

// Every fetch form, named for the table rows and the model.
enum class Op { FETCH, TO_KW, TO_OUT, BEYOND_KW, BEYOND_OUT, UNTIL_KW, UNTIL_OUT, UNTIL_NOT_KW, UNTIL_NOT_OUT,
                INTO_TO, INTO_BEYOND, INTO_UNTIL, INTO_UNTIL_NOT, COUNT };

bool IsOut(Op op) { return op == Op::TO_OUT || op == Op::BEYOND_OUT || op == Op::UNTIL_OUT || op == Op::UNTIL_NOT_OUT; }
bool IsInto(Op op) { return op >= Op::INTO_TO && op < Op::COUNT; }

struct Call {
  Call(Op op, std::string arg = {}, std::string skip = {}, bool dropNulls = false, bool space = false)
      : op(op), arg(std::move(arg)), skip(std::move(skip)), dropNulls(dropNulls), space(space) {}
  Op op;
  std::string arg; // the delimiter or set (TO forms take its first byte)
  std::string skip;
  bool dropNulls, space, keyword = true, clearRecord = true;
  uint32_t count = 0; // FETCH
};

bool Apply(BinaryStreamParser& p, Call const& c, std::string& out, Holder& into) {
  char const* skip = c.skip.empty() ? nullptr : c.skip.c_str();
  auto first = static_cast<unsigned char>(c.arg.empty() ? 0 : c.arg[0]);
  switch (c.op) {
  case Op::FETCH: return p.Fetch(c.count, c.keyword, c.clearRecord);
  case Op::TO_KW: return p.FetchTo(first, c.keyword);
  case Op::TO_OUT: return p.FetchTo(first, out);
  case Op::BEYOND_KW: return p.FetchBeyond(c.arg, c.keyword);
  case Op::BEYOND_OUT: return p.FetchBeyond(c.arg, out);
  case Op::UNTIL_KW: return p.FetchUntil(c.arg, c.keyword);
  case Op::UNTIL_OUT: return p.FetchUntil(c.arg, out);
  case Op::UNTIL_NOT_KW: return p.FetchUntilNot(c.arg, c.keyword);
  case Op::UNTIL_NOT_OUT: return p.FetchUntilNot(c.arg, out);
  case Op::INTO_TO: return p.FetchIntoTo(into, c.arg, skip, c.dropNulls, c.space);
  case Op::INTO_BEYOND: return p.FetchIntoBeyond(into, c.arg, skip, c.dropNulls, c.space);
  case Op::INTO_UNTIL: return p.FetchIntoUntil(into, c.arg, skip, c.dropNulls, c.space);
  case Op::INTO_UNTIL_NOT: return p.FetchIntoUntilNot(into, c.arg, skip, c.dropNulls, c.space);
  default: return false;
  }
}

// What the parser reads: the same tests run over every kind of source, each
// built from the bytes of the test.
struct SourceKind {
  char const* name;
  std::unique_ptr<Source> (*make)(std::string const& bytes);
};

SourceKind const SOURCE_KINDS[] = {
    {"MemoryBuffer",
     [](std::string const& bytes) -> std::unique_ptr<Source> {
       return std::make_unique<MemoryBuffer>(bytes.data(), static_cast<uint32_t>(bytes.size()));
     }},
};

class BinaryStreamParserTest : public ::testing::TestWithParam<SourceKind> {
protected:
  // A source over `bytes`; bytes and source live as long as the test.
  Source& Over(std::string bytes) {
    m_Bytes.push_back(std::make_unique<std::string>(std::move(bytes)));
    m_Sources.push_back(GetParam().make(*m_Bytes.back()));
    return *m_Sources.back();
  }

private:
  std::vector<std::unique_ptr<std::string>> m_Bytes;
  std::vector<std::unique_ptr<Source>> m_Sources;
};

INSTANTIATE_TEST_SUITE_P(Sources, BinaryStreamParserTest, ::testing::ValuesIn(SOURCE_KINDS),
                         [](::testing::TestParamInfo<SourceKind> const& info) { return info.param.name; });

} // namespace

// What each form delivers (to `out`, the keyword or the output buffer), and
// where it leaves the parser.
TEST_P(BinaryStreamParserTest, FormsOnSmallInputs) {
  struct Row {
    Call call;
    bool caseSensitive;
    std::string data;
    bool found;
    std::string delivered, keyword;
    uint32_t offset;
    unsigned char current;
  } const rows[] = {
      {{Op::TO_OUT, "x"}, true, "abcx", true, "abc", "abc", 3, 'x'},
      {{Op::BEYOND_OUT, "x"}, true, "abcx", true, "abc", "abc", 4, 0},
      {{Op::BEYOND_KW, "-->"}, true, "a-b-->c", true, "a-b", "a-b", 6, 'c'},
      {{Op::INTO_TO, "-->"}, true, "xx-->", true, "xx", "", 4, '>'},
      {{Op::UNTIL_NOT_KW, " \t"}, true, "  \tabc", true, "  \t", "  \t", 3, 'a'},
      {{Op::UNTIL_OUT, ""}, true, "abc", false, "old", "abc", 3, 0},
      {{Op::UNTIL_NOT_KW, ""}, true, "abc", true, "", "", 0, 'a'},
      {{Op::TO_OUT, "x"}, true, std::string("a\0bx", 4), true, std::string("a\0b", 3), std::string("a\0b", 3), 3, 'x'},
      {{Op::UNTIL_OUT, ";,"}, true, "ab,c;", true, "ab", "ab", 2, ','},
      {{Op::INTO_UNTIL, "cX"}, false, "abxC", true, "ab", "", 2, 'x'},
      {{Op::INTO_UNTIL_NOT, "aB"}, false, "AbBac", true, "AbBa", "", 4, 'c'},
      {{Op::INTO_BEYOND, "ABC"}, true, "xxAB", false, "xxAB", "", 4, 0}, // data ends inside a candidate
      // Case folding: ASCII letters only, every byte of a longer delimiter.
      {{Op::BEYOND_KW, "X"}, false, "abxcX", true, "ab", "ab", 3, 'c'},
      {{Op::BEYOND_KW, "X"}, true, "abxcX", true, "abxc", "abxc", 5, 0},
      {{Op::UNTIL_KW, "aB"}, false, "xyA", true, "xy", "xy", 2, 'A'},
      {{Op::UNTIL_KW, "aB"}, false, "xyb", true, "xy", "xy", 2, 'b'},
      {{Op::UNTIL_KW, "aB"}, true, "xyAbB", true, "xyAb", "xyAb", 4, 'B'},
      {{Op::BEYOND_KW, "\xE9"}, false, "ab\xC9\xE9", true, "ab\xC9", "ab\xC9", 4, 0},
      {{Op::UNTIL_KW, "\xE9"}, false, "ab\xC9", false, "ab\xC9", "ab\xC9", 3, 0},
      {{Op::BEYOND_KW, "ABC"}, true, "xAbCyABC", true, "xAbCy", "xAbCy", 8, 0},
      {{Op::BEYOND_KW, "ABC"}, true, "xABcAbC", false, "xABcAbC", "xABcAbC", 7, 0},
      {{Op::BEYOND_KW, "ABC"}, false, "xAbCyABC", true, "x", "x", 4, 'y'},
      {{Op::BEYOND_KW, "-->"}, false, "a--}-->", true, "a--}", "a--}", 7, 0},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    Row const& r = rows[i];
    SCOPED_TRACE("row " + std::to_string(i));
    BinaryStreamParser p(Over(r.data), r.caseSensitive);
    std::string out = "old";
    Holder into;
    EXPECT_EQ(Apply(p, r.call, out, into), r.found);
    EXPECT_EQ(IsOut(r.call.op) ? out : IsInto(r.call.op) ? Content(into) : Keyword(p), r.delivered);
    EXPECT_EQ(Keyword(p), r.keyword);
    EXPECT_EQ(p.GetCurrentStreamOffset(), r.offset);
    EXPECT_EQ(p.GetCurrentChar(), r.current);
  }
}

TEST_P(BinaryStreamParserTest, SkipSetsNulsAndSpace) {
  struct Row {
    std::string data, delimiter, skip;
    bool dropNulls, space;
    std::string expected;
  } const rows[] = {
      {"   abc;", ";", " ", false, true, " abc"},
      {"   abc;", ";", " ", false, false, "abc"},
      {"abc;", ";", " ", false, true, "abc"},
      {std::string("a\0b\0;", 5), ";", "", true, false, "ab"},
      {std::string("a\0b\0;", 5), ";", "", false, false, std::string("a\0b\0", 4)},
      {std::string(" \0 x\0y;", 7), ";", " ", true, true, " xy"},
      {" a b;", ";", " ", false, false, "a b"}, // only the start of the output is stripped
      {"aAbx;", ";", "a", false, true, " bx"},  // case folding applies to the skip set
      // Bytes starting a false candidate of a longer delimiter are data.
      {";;a;;x", ";x", ";", false, true, " a;"},
      {";;;x", ";x", ";", false, true, ""},
      {"   ;", ";", " ", false, true, ""}, // everything skipped: nothing written
      {std::string(BLOCK + 500, ' ') + "abc;", ";", " ", false, true, " abc"},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    Row const& r = rows[i];
    SCOPED_TRACE("row " + std::to_string(i));
    BinaryStreamParser p(Over(r.data), false);
    std::string out;
    Holder into;
    EXPECT_TRUE(Apply(p, {Op::INTO_TO, r.delimiter, r.skip, r.dropNulls, r.space}, out, into));
    EXPECT_EQ(Content(into), r.expected);
    EXPECT_EQ(static_cast<bool>(into), !r.expected.empty());
  }
}

TEST_P(BinaryStreamParserTest, OutputBuffers) {
  // Appended to an existing buffer, whose chunk size stays.
  BinaryStreamParser p(Over("abc;def;"), true);
  Holder into(new MemoryBuffer(16));
  into->Put("pre", 3);
  EXPECT_TRUE(p.FetchIntoBeyond(into, ";", nullptr, false, false));
  EXPECT_TRUE(p.FetchIntoUntil(into, ";", nullptr, false, false));
  EXPECT_EQ(Content(into), "preabcdef");
  EXPECT_EQ(into->ChunkSize(), 16u);
  // A new buffer's chunk follows the first piece, with room to grow when the
  // delimiter is still to come.
  for (bool found : {true, false}) {
    BinaryStreamParser q(Over(found ? "abc;" : "abc"), true);
    Holder made;
    EXPECT_EQ(q.FetchIntoTo(made, ";", nullptr, false, false), found);
    EXPECT_EQ(made->ChunkSize(), found ? 4u : 128u);
    EXPECT_EQ(Content(made), "abc");
  }
}

TEST_P(BinaryStreamParserTest, EmptyDelimiterFailsAtOnceAndEveryFetchEmptiesTheKeyword) {
  BinaryStreamParser p(Over("abc"), true);
  p.SetRecordFetching(true);
  ASSERT_TRUE(p.Fetch(1, true, false));
  std::string out = "old";
  Holder into;
  for (Op op : {Op::BEYOND_OUT, Op::BEYOND_KW, Op::INTO_TO, Op::INTO_BEYOND})
    EXPECT_FALSE(Apply(p, {op, ""}, out, into)) << static_cast<int>(op);
  EXPECT_EQ(out, "old");
  EXPECT_FALSE(into);
  EXPECT_EQ(p.GetCurrentStreamOffset(), 1u);
  EXPECT_EQ(Keyword(p), "a");
  EXPECT_EQ(Record(p), "a");

  BinaryStreamParser q(Over("abxcdx"), true);
  ASSERT_TRUE(q.FetchTo('x', true));
  EXPECT_EQ(Keyword(q), "ab");
  ASSERT_TRUE(q.Fetch(1, false, false));
  EXPECT_TRUE(q.FetchTo('x', false));
  EXPECT_EQ(q.GetKeywordLen(), 0u);
  EXPECT_STREQ(q.GetKeywordBuffer(), "");
}

// ---------------------------------------------------------------------------
// Block boundaries.

TEST_P(BinaryStreamParserTest, DelimiterSplitAtEveryOffsetOfABoundary) {
  std::string const delimiter = "ABCDE";
  struct Form {
    Op op;
    char const* arg;
    bool caseSensitive;
  } const forms[] = {{Op::INTO_TO, "ABCDE", true},
                     {Op::INTO_BEYOND, "abcde", false},
                     {Op::BEYOND_OUT, "ABCDE", true},
                     {Op::BEYOND_KW, "aBcDe", false}};
  for (uint32_t before = 1; before < delimiter.size(); ++before) {
    for (Form const& form : forms) {
      SCOPED_TRACE("bytes before the boundary " + std::to_string(before) + ", form " +
                   std::to_string(static_cast<int>(form.op)));
      std::string head = Filler(BLOCK - before);
      std::string data = head + delimiter + "tail";
      BinaryStreamParser p(Over(data), form.caseSensitive);
      p.SetRecordFetching(true);
      Holder into;
      std::string out;
      ASSERT_TRUE(Apply(p, {form.op, form.arg}, out, into));
      bool beyond = form.op != Op::INTO_TO;
      EXPECT_EQ(IsInto(form.op) ? Content(into) : Keyword(p), head);
      EXPECT_EQ(out, form.op == Op::BEYOND_OUT ? head : "");
      uint32_t at = static_cast<uint32_t>(head.size() + delimiter.size() - (beyond ? 0 : 1));
      EXPECT_EQ(p.GetCurrentStreamOffset(), at);
      EXPECT_EQ(p.GetCurrentChar(), static_cast<unsigned char>(data[at]));
      EXPECT_EQ(Record(p), beyond ? "E" : head);
    }
  }
}

TEST_P(BinaryStreamParserTest, FailedCandidateAcrossABoundaryLosesNothing) {
  // A false start of "ABCDE" crosses the boundary at every offset; the real
  // delimiter comes later. "AA|AB": the candidate restarts after its first byte.
  for (uint32_t before = 1; before <= 4; ++before) {
    for (std::string falseStart : {"ABCDx", "ABCDA", "ABABC", "AAAAB"}) {
      SCOPED_TRACE("before " + std::to_string(before) + ", false start " + falseStart);
      std::string head = Filler(BLOCK - before) + falseStart + "12";
      BinaryStreamParser p(Over(head + "ABCDEz"), true);
      p.SetRecordFetching(true);
      Holder into;
      ASSERT_TRUE(p.FetchIntoTo(into, "ABCDE", nullptr, false, false));
      EXPECT_EQ(Content(into), head);
      EXPECT_EQ(Record(p), head);
      EXPECT_EQ(p.GetCurrentStreamOffset(), head.size() + 4);
      EXPECT_EQ(p.GetCurrentChar(), 'E');
    }
  }
  std::string head = Filler(BLOCK - 2) + "A";
  BinaryStreamParser p(Over(head + "AABq"), true);
  std::string out;
  ASSERT_TRUE(p.FetchBeyond("AAB", out));
  EXPECT_EQ(out, head);
  EXPECT_EQ(p.GetCurrentChar(), 'q');
}

TEST_P(BinaryStreamParserTest, DelimitersAndSetsLongerThanTheBlock) {
  std::string delimiter(BLOCK + 900, 'd');
  delimiter.back() = 'e';
  std::string data = "ab" + std::string(BLOCK + 100, 'd') + "c" + delimiter + "z";
  BinaryStreamParser p(Over(data), true);
  Holder into;
  ASSERT_TRUE(p.FetchIntoBeyond(into, delimiter, nullptr, false, false));
  EXPECT_EQ(Content(into), "ab" + std::string(BLOCK + 100, 'd') + "c");
  EXPECT_EQ(p.GetCurrentChar(), 'z');

  std::string spaced = std::string(3 * BLOCK + 7, ' ') + "x" + Filler(BLOCK) + ";";
  BinaryStreamParser q(Over(spaced), true);
  EXPECT_TRUE(q.FetchUntilNot(" \t", false));
  EXPECT_EQ(q.GetCurrentStreamOffset(), 3 * BLOCK + 7);
  Holder set;
  EXPECT_TRUE(q.FetchIntoUntil(set, ";,", nullptr, false, false));
  EXPECT_EQ(Content(set), "x" + Filler(BLOCK));
  EXPECT_EQ(q.GetCurrentChar(), ';');
}

TEST(BinaryStreamParserScripted, BlocksOfAFewBytesAndSourcesThatNeverEnd) {
  // Candidates span several blocks and fail late.
  for (uint32_t step : {1u, 2u, 3u}) {
    SCOPED_TRACE("step " + std::to_string(step));
    ScriptedSource source("xxABCDABCDABCDEyy", {step});
    BinaryStreamParser p(source, true);
    std::string out;
    ASSERT_TRUE(p.FetchBeyond("ABCDE", out));
    EXPECT_EQ(out, "xxABCDABCD");
    EXPECT_EQ(p.GetCurrentStreamOffset(), 15u);
    EXPECT_EQ(p.GetCurrentChar(), 'y');
  }
  ScriptedSource endless("abc", {BLOCK}, Source::RANDOM_ACCESS, false);
  BinaryStreamParser p(endless, true);
  EXPECT_FALSE(p.FetchTo('x', true));
  EXPECT_EQ(Keyword(p), "abc");
  EXPECT_FALSE(p.Fetch(1, false, false));
  // The source is read in blocks of 4096 bytes.
  ScriptedSource large(Filler(3 * BLOCK), {1u << 20});
  BinaryStreamParser q(large, true);
  EXPECT_TRUE(q.Fetch(2 * BLOCK + 1, false, false));
  EXPECT_EQ(large.GetCalls(), 3u);
}

// ---------------------------------------------------------------------------
// Reading, NUL removal, keyword, record, positioning.

TEST_P(BinaryStreamParserTest, FetchCountsAndNulRemoval) {
  BinaryStreamParser p(Over("abcdef"), true);
  EXPECT_TRUE(p.Fetch(0, true, false));
  EXPECT_EQ(p.GetCurrentStreamOffset(), 0u);
  EXPECT_TRUE(p.Fetch(4, true, false));
  EXPECT_EQ(Keyword(p), "abcd");
  EXPECT_FALSE(p.Fetch(5, true, false));
  EXPECT_EQ(Keyword(p), "ef");
  EXPECT_EQ(p.GetCurrentStreamOffset(), 6u);
  BinaryStreamParser none(Over(""), true);
  EXPECT_FALSE(none.Fetch(0, false, false));
  EXPECT_EQ(none.GetCurrentChar(), 0);

  BinaryStreamParser nuls(Over(std::string(5000, '\0') + "x"), true);
  nuls.IgnoreNulls(true);
  EXPECT_EQ(nuls.GetCurrentChar(), 'x');
  EXPECT_EQ(nuls.GetCurrentStreamOffset(), 0u);
  // Text of 16-bit units: every other byte NUL, over several blocks.
  std::string wide, narrow;
  for (int i = 0; i < 5000; ++i) {
    narrow += static_cast<char>('a' + i % 26);
    wide += narrow.back();
    wide += '\0';
  }
  BinaryStreamParser units(Over(wide + std::string("!\0", 2)), true);
  units.IgnoreNulls(true);
  std::string out;
  EXPECT_TRUE(units.FetchTo('!', out));
  EXPECT_EQ(units.GetCurrentStreamOffset(), 5000u);
  EXPECT_EQ(Unsaved(units), narrow.substr(5000 - 128));
  EXPECT_EQ(out, narrow.substr(0, BLOCK));
}

TEST_P(BinaryStreamParserTest, KeywordOverflowGoesToTheWindow) {
  std::string data;
  for (int i = 0; i < 6000; ++i)
    data += static_cast<char>('A' + i % 23);
  BinaryStreamParser p(Over(data), true);
  EXPECT_TRUE(p.Fetch(5000, true, false));
  EXPECT_EQ(Keyword(p), data.substr(0, BLOCK));
  EXPECT_EQ(Unsaved(p), data.substr(5000 - 128, 128));
  EXPECT_EQ(p.GetCurrentStreamOffset(), 5000u);
  EXPECT_TRUE(p.Fetch(3, true, false)); // a keyword that fits again empties the window
  EXPECT_EQ(Keyword(p), data.substr(5000, 3));
  EXPECT_EQ(p.GetUnsavedDataLen(), 0u);

  p.SetKeywordBuffer("abc", 0);
  EXPECT_EQ(Keyword(p), "abc");
  std::string big(10000, 'k');
  p.SetKeywordBuffer(big.c_str(), 10000);
  EXPECT_EQ(p.GetKeywordLen(), BLOCK);
  EXPECT_EQ(p.GetKeywordBuffer()[BLOCK], '\0');
  p.SetKeywordBuffer("ab\0cd", 5);
  EXPECT_EQ(Keyword(p), std::string("ab\0\0\0", 5));
  p.Reset();
  EXPECT_EQ(p.GetKeywordLen(), 0u);
  EXPECT_STREQ(p.GetKeywordBuffer(), "");
}

TEST(BinaryStreamParserScripted, WindowKeepsTheNewestBytesInOrder) {
  std::string data = Filler(BLOCK) + std::string(50, 'a') + std::string(100, 'b');
  for (uint32_t count : {BLOCK + 50, BLOCK + 150}) {
    ScriptedSource source(data, {BLOCK, 50, 100});
    BinaryStreamParser p(source, true);
    EXPECT_TRUE(p.Fetch(count, true, false));
    EXPECT_EQ(Unsaved(p), count == BLOCK + 50 ? std::string(50, 'a') : std::string(28, 'a') + std::string(100, 'b'));
    EXPECT_EQ(Keyword(p), Filler(BLOCK));
  }
}

TEST_P(BinaryStreamParserTest, RecordCaptureAndCopy) {
  BinaryStreamParser p(Over("hello;world;"), true);
  std::string untouched = "keep";
  p.GetRecordFetchingContent(untouched, 0, 0);
  EXPECT_EQ(untouched, "keep");
  EXPECT_EQ(p.GetRecordFetchingSize(), 0u);

  p.SetRecordFetching(true);
  EXPECT_TRUE(p.FetchTo(';', false));
  EXPECT_EQ(Record(p), "hello");
  std::string part = ">";
  p.GetRecordFetchingContent(part, 1, 3);
  EXPECT_EQ(part, ">ell");
  MemoryBuffer copy;
  p.GetRecordFetchingContent(copy, 0, 0);
  std::string copied;
  copy.Copy(copied, 100);
  EXPECT_EQ(copied, "hello");

  EXPECT_TRUE(p.FetchBeyond(";", false)); // the step past leaves the delimiter's last byte
  EXPECT_EQ(Record(p), ";");
  EXPECT_TRUE(p.Fetch(5, false, false)); // without clearing: appended
  EXPECT_EQ(Record(p), ";world");
  p.SetRecordFetching(false);
  EXPECT_EQ(p.GetRecordFetchingSize(), 0u);
  EXPECT_TRUE(p.Fetch(1, false, false));
  EXPECT_EQ(p.GetRecordFetchingSize(), 0u);
}

TEST_P(BinaryStreamParserTest, SeekAndReset) {
  std::string data;
  for (int i = 0; i < 10000; ++i)
    data += static_cast<char>('a' + (i * 7) % 26);
  BinaryStreamParser p(Over(data), true);
  p.SetRecordFetching(true);
  for (uint32_t position : {0u, 1u, 4095u, 4096u, 4097u, 5000u, 8191u, 8192u, 9999u, 10000u, 0u}) {
    SCOPED_TRACE("position " + std::to_string(position));
    p.Seek(position);
    EXPECT_EQ(p.GetCurrentStreamOffset(), position);
    EXPECT_EQ(p.GetCurrentChar(), position < data.size() ? static_cast<unsigned char>(data[position]) : 0);
    uint32_t blockStart = position == 0 ? 0 : (position - 1) / BLOCK * BLOCK;
    EXPECT_EQ(Record(p), data.substr(blockStart, position - blockStart));
  }
  p.Seek(10001); // past the end inside the last block: at the end of the data
  EXPECT_EQ(p.GetCurrentStreamOffset(), 10000u);
  EXPECT_THROW(p.Seek(20000), ZEBFile::SeekOutOfRangeException);

  ZEB::BinaryStreamT<unsigned> stream(Over("abcdef"));
  BinaryStreamParser q(stream, true);
  q.SetRecordFetching(true);
  EXPECT_TRUE(q.Fetch(4, true, false));
  q.Reset();
  EXPECT_EQ(q.GetCurrentStreamOffset(), 0u);
  EXPECT_EQ(q.GetCurrentChar(), 'a');
  EXPECT_EQ(q.GetKeywordLen(), 0u);
  EXPECT_EQ(Record(q), "abcd"); // the record buffer is kept
}

TEST(BinaryStreamParserScripted, SeekWithoutCapabilitiesReadsForward) {
  std::string data = Filler(10000);
  ScriptedSource source(data, {BLOCK}, 0);
  BinaryStreamParser p(source, true);
  p.SetRecordFetching(true);
  p.Seek(5000);
  EXPECT_EQ(p.GetCurrentStreamOffset(), 5000u);
  EXPECT_EQ(p.GetCurrentChar(), static_cast<unsigned char>(data[5000]));
  EXPECT_EQ(Record(p), data.substr(0, 5000));
}

// ---------------------------------------------------------------------------
// A string model of what each operation delivers, compared with the parser
// over generated inputs.

namespace {

struct Model {
  std::string data;
  bool caseSensitive = true, recordOn = false;
  std::size_t pos = 0;
  std::string keyword, record;

  bool Same(char a, char b) const {
    auto fold = [&](unsigned char c) { return (!caseSensitive && c >= 'A' && c <= 'Z') ? c + 32 : c; };
    return fold(a) == fold(b);
  }
  bool InSet(char b, std::string const& set) const {
    return std::any_of(set.begin(), set.end(), [&](char m) { return Same(b, m); });
  }
  std::size_t FindTo(std::string const& delimiter) const {
    for (std::size_t i = pos; i + delimiter.size() <= data.size(); ++i) {
      std::size_t k = 0;
      while (k < delimiter.size() && Same(data[i + k], delimiter[k]))
        ++k;
      if (k == delimiter.size())
        return i;
    }
    return std::string::npos;
  }
  std::size_t FindSet(std::string const& set, bool member) const {
    for (std::size_t i = pos; i < data.size(); ++i)
      if (InSet(data[i], set) == member)
        return i;
    return std::string::npos;
  }

  // A delimiter fetch: the bytes passed go to `passed`; true when found.
  bool Search(Op op, std::string delimiter, std::string& passed) {
    bool to = op == Op::TO_KW || op == Op::TO_OUT || op == Op::BEYOND_KW || op == Op::BEYOND_OUT ||
              op == Op::INTO_TO || op == Op::INTO_BEYOND;
    bool beyond = op == Op::BEYOND_KW || op == Op::BEYOND_OUT || op == Op::INTO_BEYOND;
    bool until = op == Op::UNTIL_KW || op == Op::UNTIL_OUT || op == Op::INTO_UNTIL;
    if (op == Op::TO_KW || op == Op::TO_OUT)
      delimiter = delimiter.substr(0, 1);
    keyword.clear();
    record.clear();
    std::size_t at = to ? FindTo(delimiter) : FindSet(delimiter, until);
    passed = data.substr(pos, (at == std::string::npos ? data.size() : at) - pos);
    if (recordOn)
      record = passed;
    if (at == std::string::npos) {
      pos = data.size();
      return false;
    }
    pos = to ? at + delimiter.size() - 1 : at;
    if (beyond) {
      record = recordOn ? data.substr(pos, 1) : "";
      ++pos;
    }
    return true;
  }

  bool Fetch(std::size_t count, bool withKeyword, bool clearRecord) {
    if (pos >= data.size())
      return false;
    if (withKeyword)
      keyword.clear();
    if (clearRecord)
      record.clear();
    std::size_t n = std::min(count, data.size() - pos);
    if (withKeyword)
      keyword += data.substr(pos, n);
    if (recordOn)
      record += data.substr(pos, n);
    pos += n;
    return n == count;
  }

  void Seek(std::size_t position) {
    keyword.clear();
    pos = position == 0 ? 0 : (position - 1) / BLOCK * BLOCK;
    record.clear();
    Fetch(position - pos, false, true);
  }

  // What a fetch-into call writes, or "" when it writes nothing.
  std::string Output(std::string passed, Call const& c) const {
    if (c.dropNulls)
      passed.erase(std::remove(passed.begin(), passed.end(), '\0'), passed.end());
    std::size_t first = 0;
    while (first < passed.size() && InSet(passed[first], c.skip))
      ++first;
    if (first == passed.size())
      return "";
    return (first > 0 && c.space ? " " : "") + passed.substr(first);
  }
};

std::string RandomString(std::mt19937& rng, std::string const& alphabet, std::size_t length) {
  std::string s(length, ' ');
  for (char& c : s)
    c = alphabet[rng() % alphabet.size()];
  return s;
}

// Random operations on a parser and the model side by side; without a kind
// of source, over a scripted source with blocks of many sizes.
void CompareWithModel(uint32_t seed, SourceKind const* kind) {
  std::mt19937 rng(seed);
  std::size_t length = rng() % 4 == 0 ? rng() % 40 : BLOCK - 30 + rng() % (2 * BLOCK);
  std::string raw = RandomString(rng, std::string("aAbB-\0x", 7), length);
  for (char& c : raw) // mostly plain letters, with runs of the alphabet so that delimiters occur
    if (rng() % 3 != 0)
      c = 'x';
  bool caseSensitive = rng() % 2 == 0, ignoreNulls = rng() % 4 == 0, recordOn = rng() % 2 == 0;

  std::vector<uint32_t> steps;
  for (int i = 0; i < 5; ++i)
    steps.push_back(1 + rng() % (rng() % 2 ? 7 : BLOCK));
  ScriptedSource scripted(raw, steps);
  std::unique_ptr<Source> made = kind ? kind->make(raw) : nullptr;
  BinaryStreamParser p(made ? *made : scripted, caseSensitive);
  p.IgnoreNulls(ignoreNulls);
  p.SetRecordFetching(recordOn);

  Model m;
  m.data = raw;
  m.caseSensitive = caseSensitive;
  m.recordOn = recordOn;
  if (ignoreNulls)
    m.data.erase(std::remove(m.data.begin(), m.data.end(), '\0'), m.data.end());

  for (int step = 0; step < 40; ++step) {
    auto op = static_cast<Op>(rng() % (static_cast<unsigned>(Op::COUNT) + 1)); // COUNT: a seek
    Call c{op, RandomString(rng, "aAbB-x", 1 + rng() % 4)};
    bool setForm = op == Op::UNTIL_KW || op == Op::UNTIL_OUT || op == Op::UNTIL_NOT_KW || op == Op::UNTIL_NOT_OUT ||
                   op == Op::INTO_UNTIL || op == Op::INTO_UNTIL_NOT;
    std::string set = RandomString(rng, std::string("aAbB-\0", 6), rng() % 3);
    if (setForm)
      c.arg = set;
    c.skip = RandomString(rng, "aB-x", rng() % 3);
    c.dropNulls = rng() % 2 == 0;
    c.space = rng() % 2 == 0;
    c.keyword = rng() % 2 == 0 || IsOut(op);
    c.count = rng() % 2 ? rng() % 8 : rng() % (2 * BLOCK);
    c.clearRecord = rng() % 2 == 0;
    SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step) + " op " +
                 std::to_string(static_cast<int>(op)));

    std::string out = "untouched", passed;
    Holder into;
    bool preset = rng() % 3 == 0;
    if (preset) {
      into = Holder(new MemoryBuffer(8));
      into->Put("pre", 3);
    }
    bool got = false, expected = false;
    if (op == Op::COUNT) {
      if (ignoreNulls)
        continue; // seeks count raw offsets for the block start
      std::size_t position = rng() % (m.data.size() + 1);
      p.Seek(static_cast<uint32_t>(position));
      m.Seek(position);
      got = expected = true;
    } else {
      got = Apply(p, c, out, into);
      if (op == Op::FETCH) {
        expected = m.Fetch(c.count, c.keyword, c.clearRecord);
      } else {
        expected = m.Search(op, c.arg, passed);
        if (c.keyword && !IsInto(op))
          m.keyword = passed;
      }
    }
    ASSERT_EQ(got, expected);
    ASSERT_EQ(p.GetCurrentStreamOffset(), m.pos);
    ASSERT_EQ(p.GetCurrentChar(), m.pos < m.data.size() ? static_cast<unsigned char>(m.data[m.pos]) : 0);
    ASSERT_EQ(Keyword(p), m.keyword.substr(0, BLOCK));
    if (m.keyword.size() > BLOCK) {
      std::string window = Unsaved(p);
      ASSERT_LE(window.size(), 128u);
      ASSERT_GE(window.size(), std::min<std::size_t>(128, m.keyword.size() - BLOCK));
      ASSERT_EQ(m.keyword.substr(m.keyword.size() - window.size()), window);
    }
    ASSERT_EQ(Record(p), m.record);
    if (IsOut(op)) {
      ASSERT_EQ(out, got ? m.keyword.substr(0, BLOCK) : "untouched");
    }
    if (IsInto(op)) {
      std::string written = m.Output(passed, c);
      ASSERT_EQ(Content(into), (preset ? "pre" : "") + written);
      ASSERT_EQ(static_cast<bool>(into), preset || !written.empty());
    }
  }
}

} // namespace

TEST_P(BinaryStreamParserTest, MatchesTheModel) {
  for (uint32_t seed = 1; seed <= 150 && !HasFatalFailure(); ++seed)
    CompareWithModel(seed, &GetParam());
}

TEST(BinaryStreamParserScripted, ShortBlocksMatchTheModel) {
  for (uint32_t seed = 1000; seed <= 1150 && !HasFatalFailure(); ++seed)
    CompareWithModel(seed, nullptr);
}
