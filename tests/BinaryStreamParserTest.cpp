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
#include "ZEBFile/StaticMemoryBuffer.h"

using ZEBFile::BinaryStreamParser;
using ZEBFile::MemoryBuffer;
using Holder = ZEB::RefCount<MemoryBuffer>;

namespace {

constexpr uint32_t BLOCK = BinaryStreamParser::BLOCK_SIZE;

// A read-only source that hands out at most the next step of its script per
// Get (cycling), so that the parser's blocks can be made as short as wanted.
// It may lack the capability bits, or never report its end.
class ScriptedSource : public ZEB::BinaryStreamBufT<unsigned> {
public:
  ScriptedSource(std::string data, std::vector<uint32_t> steps, unsigned char capabilities = RANDOM_ACCESS,
                 bool reportsEnd = true)
      : BinaryStreamBufT(capabilities), m_Data(std::move(data)), m_Steps(std::move(steps)),
        m_ReportsEnd(reportsEnd) {}

  uint32_t GetCalls() const { return m_GetCalls; }

protected:
  uint32_t vPut(void const*, uint32_t) override { return 0; }
  uint32_t vTellP() const override { return 0; }
  uint32_t vSeekP(uint32_t, Origin, Direction) override { return 0; }
  uint32_t vGet(void* destination, uint32_t count) override {
    ++m_GetCalls;
    uint32_t step = m_Steps[m_Step++ % m_Steps.size()];
    uint32_t n = std::min({count, step, Size() - m_Pos});
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
  uint32_t m_Pos = 0;
  std::size_t m_Step = 0;
  uint32_t m_GetCalls = 0;
};

std::string Content(Holder const& holder) {
  std::string out;
  if (holder) {
    holder->SeekG(0);
    holder->Copy(out, 0xFFFFFFFFu);
  }
  return out;
}

std::string Keyword(BinaryStreamParser const& parser) {
  return std::string(parser.GetKeywordBuffer(), parser.GetKeywordLen());
}

std::string Unsaved(BinaryStreamParser const& parser) {
  return std::string(parser.GetUnsavedData(), parser.GetUnsavedDataLen());
}

std::string Record(BinaryStreamParser& parser) {
  std::string out;
  parser.GetRecordFetchingContent(out, 0, 0);
  return out;
}

// Filler without any of the delimiter bytes used below.
std::string Filler(std::size_t n) {
  std::string s(n, ' ');
  for (std::size_t i = 0; i < n; ++i)
    s[i] = "0123456789"[i % 10];
  return s;
}

// What the parser reads: the same tests run over every kind of source,
// each built from the bytes of the test.
struct SourceKind {
  char const* name;
  std::unique_ptr<ZEB::BinaryStreamBufT<unsigned>> (*make)(std::string const& bytes);
};

SourceKind const SOURCE_KINDS[] = {
    {"MemoryBuffer",
     [](std::string const& bytes) -> std::unique_ptr<ZEB::BinaryStreamBufT<unsigned>> {
       return std::make_unique<MemoryBuffer>(bytes.data(), static_cast<uint32_t>(bytes.size()));
     }},
    // Read in place: the parser's block is the bytes' own (constant) memory.
    {"StaticMemoryBuffer",
     [](std::string const& bytes) -> std::unique_ptr<ZEB::BinaryStreamBufT<unsigned>> {
       return std::make_unique<ZEBFile::StaticMemoryBuffer>(static_cast<void const*>(bytes.data()),
                                                            static_cast<uint32_t>(bytes.size()));
     }},
};

class BinaryStreamParserTest : public ::testing::TestWithParam<SourceKind> {
protected:
  // A source over `bytes`; bytes and source live as long as the test.
  ZEB::BinaryStreamBufT<unsigned>& Source(std::string bytes) {
    m_Bytes.push_back(std::make_unique<std::string>(std::move(bytes)));
    m_Sources.push_back(GetParam().make(*m_Bytes.back()));
    return *m_Sources.back();
  }

private:
  std::vector<std::unique_ptr<std::string>> m_Bytes;
  std::vector<std::unique_ptr<ZEB::BinaryStreamBufT<unsigned>>> m_Sources;
};

INSTANTIATE_TEST_SUITE_P(Sources, BinaryStreamParserTest, ::testing::ValuesIn(SOURCE_KINDS),
                         [](::testing::TestParamInfo<SourceKind> const& info) { return info.param.name; });

} // namespace

// ---------------------------------------------------------------------------
// The documented behaviour of each form on small inputs.

TEST_P(BinaryStreamParserTest, FetchFormsOnSmallInputs) {
  {
    BinaryStreamParser p(Source("abcx"), true);
    std::string out = "old";
    EXPECT_TRUE(p.FetchTo('x', out));
    EXPECT_EQ(out, "abc");
    EXPECT_EQ(p.GetCurrentStreamOffset(), 3u);
    EXPECT_EQ(p.GetCurrentChar(), 'x');
  }
  {
    BinaryStreamParser p(Source("abcx"), true);
    std::string out;
    EXPECT_TRUE(p.FetchBeyond("x", out));
    EXPECT_EQ(out, "abc");
    EXPECT_EQ(p.GetCurrentStreamOffset(), 4u);
    EXPECT_EQ(p.GetCurrentChar(), 0);
  }
  {
    BinaryStreamParser p(Source("a-b-->c"), true);
    EXPECT_TRUE(p.FetchBeyond("-->", true));
    EXPECT_EQ(Keyword(p), "a-b");
    EXPECT_EQ(p.GetCurrentChar(), 'c');
    EXPECT_EQ(p.GetCurrentStreamOffset(), 6u);
  }
  {
    BinaryStreamParser p(Source("xx-->"), true);
    Holder into;
    EXPECT_TRUE(p.FetchIntoTo(into, "-->", nullptr, false, false));
    EXPECT_EQ(Content(into), "xx");
    EXPECT_EQ(p.GetCurrentChar(), '>');
    EXPECT_EQ(p.GetCurrentStreamOffset(), 4u);
  }
  {
    BinaryStreamParser p(Source("  \tabc"), true);
    EXPECT_TRUE(p.FetchUntilNot(" \t", true));
    EXPECT_EQ(Keyword(p), "  \t");
    EXPECT_EQ(p.GetCurrentChar(), 'a');
  }
  {
    BinaryStreamParser p(Source("abc"), true);
    std::string out = "old";
    EXPECT_FALSE(p.FetchUntil("", out));
    EXPECT_EQ(out, "old");
    EXPECT_EQ(Keyword(p), "abc");
    EXPECT_EQ(p.GetCurrentStreamOffset(), 3u);
  }
  {
    BinaryStreamParser p(Source("abc"), true);
    EXPECT_TRUE(p.FetchUntilNot("", true));
    EXPECT_EQ(p.GetCurrentStreamOffset(), 0u);
  }
}

TEST_P(BinaryStreamParserTest, FetchCaseFolding) {
  struct Row {
    bool caseSensitive;
    bool set; // FetchUntil with the delimiter as a set, else FetchBeyond
    std::string delimiter, data, passed;
    bool found;
  };
  Row const rows[] = {
      {false, false, "X", "abxcX", "ab", true},
      {true, false, "X", "abxcX", "abxc", true},
      {false, true, "aB", "xyA", "xy", true},
      {false, true, "aB", "xyb", "xy", true},
      {true, true, "aB", "xyAbB", "xyAb", true},
      {false, false, "\xE9", "ab\xC9\xE9", "ab\xC9", true},
      {true, false, "\xE9", "ab\xC9\xE9", "ab\xC9", true},
      {false, true, "\xE9", "ab\xC9", "ab\xC9", false},
      // Every byte of a longer delimiter honours the setting.
      {true, false, "ABC", "xAbCyABC", "xAbCy", true},
      {true, false, "ABC", "xABcAbC", "xABcAbC", false},
      {false, false, "ABC", "xAbCyABC", "x", true},
      {false, false, "-->", "a--}-->", "a--}", true},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    Row const& r = rows[i];
    SCOPED_TRACE("row " + std::to_string(i));
    BinaryStreamParser p(Source(r.data), r.caseSensitive);
    bool found = r.set ? p.FetchUntil(r.delimiter, true) : p.FetchBeyond(r.delimiter, true);
    EXPECT_EQ(found, r.found);
    EXPECT_EQ(Keyword(p), r.passed);
    uint32_t expected = found ? static_cast<uint32_t>(r.passed.size() + (r.set ? 0 : r.delimiter.size()))
                              : static_cast<uint32_t>(r.data.size());
    EXPECT_EQ(p.GetCurrentStreamOffset(), expected);
  }
}

TEST_P(BinaryStreamParserTest, FetchSkipSetsNulsAndSpace) {
  struct Row {
    std::string data, delimiter, skip;
    bool dropNulls, space;
    std::string expected;
  };
  Row const rows[] = {
      {"   abc;", ";", " ", false, true, " abc"},
      {"   abc;", ";", " ", false, false, "abc"},
      {"abc;", ";", " ", false, true, "abc"},
      {std::string("a\0b\0;", 5), ";", "", true, false, "ab"},
      {std::string("a\0b\0;", 5), ";", "", false, false, std::string("a\0b\0", 4)},
      {std::string(" \0 x\0y;", 7), ";", " ", true, true, " xy"},
      // Only the start of the output is stripped.
      {" a b;", ";", " ", false, false, "a b"},
      // Case folding applies to the skip set.
      {"aAbx;", ";", "a", false, true, " bx"},
      // Bytes that start a false candidate of a longer delimiter are data like
      // any other: skipped at the start, kept after it.
      {";;a;;x", ";x", ";", false, true, " a;"},
      {";;;x", ";x", ";", false, true, ""},
      // Everything skipped: nothing is written.
      {"   ;", ";", " ", false, true, ""},
  };
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    Row const& r = rows[i];
    SCOPED_TRACE("row " + std::to_string(i));
    BinaryStreamParser p(Source(r.data), false);
    Holder into;
    EXPECT_TRUE(p.FetchIntoTo(into, r.delimiter, r.skip.empty() ? nullptr : r.skip.c_str(), r.dropNulls, r.space));
    EXPECT_EQ(Content(into), r.expected);
    EXPECT_EQ(static_cast<bool>(into), !r.expected.empty());
  }
}

TEST_P(BinaryStreamParserTest, FetchSkippedBlockBeforeFirstByteStillGivesSpace) {
  std::string data = std::string(BLOCK + 500, ' ') + "abc;";
  BinaryStreamParser p(Source(data), true);
  Holder into;
  EXPECT_TRUE(p.FetchIntoTo(into, ";", " ", false, true));
  EXPECT_EQ(Content(into), " abc");
}

TEST_P(BinaryStreamParserTest, FetchOutputIsAppendedToAnExistingBuffer) {
  BinaryStreamParser p(Source("abc;def;"), true);
  Holder into(new MemoryBuffer(16));
  into->Put("pre", 3);
  EXPECT_TRUE(p.FetchIntoBeyond(into, ";", nullptr, false, false));
  EXPECT_TRUE(p.FetchIntoUntil(into, ";", nullptr, false, false));
  EXPECT_EQ(Content(into), "preabcdef");
  EXPECT_EQ(into->ChunkSize(), 16u);
}

TEST_P(BinaryStreamParserTest, FetchNewOutputChunkSizeFollowsTheFirstPiece) {
  {
    BinaryStreamParser p(Source("abc;"), true);
    Holder into;
    EXPECT_TRUE(p.FetchIntoTo(into, ";", nullptr, false, false));
    EXPECT_EQ(into->ChunkSize(), 4u);
  }
  {
    BinaryStreamParser p(Source("abc"), true);
    Holder into;
    EXPECT_FALSE(p.FetchIntoTo(into, ";", nullptr, false, false));
    EXPECT_EQ(into->ChunkSize(), 128u);
    EXPECT_EQ(Content(into), "abc");
  }
}

TEST_P(BinaryStreamParserTest, FetchEmptyDelimiterForToFormsFailsAtOnce) {
  BinaryStreamParser p(Source("abc"), true);
  p.SetRecordFetching(true);
  ASSERT_TRUE(p.Fetch(1, true, false));
  std::string out = "old";
  Holder into;
  EXPECT_FALSE(p.FetchBeyond("", out));
  EXPECT_FALSE(p.FetchBeyond("", true));
  EXPECT_FALSE(p.FetchIntoTo(into, "", nullptr, false, false));
  EXPECT_FALSE(p.FetchIntoBeyond(into, "", nullptr, false, false));
  EXPECT_EQ(out, "old");
  EXPECT_FALSE(into);
  EXPECT_EQ(p.GetCurrentStreamOffset(), 1u);
  EXPECT_EQ(Keyword(p), "a");
  EXPECT_EQ(Record(p), "a");
}

TEST_P(BinaryStreamParserTest, FetchEveryFetchEmptiesTheKeywordFirst) {
  BinaryStreamParser p(Source("abxcdx"), true);
  ASSERT_TRUE(p.FetchTo('x', true));
  EXPECT_EQ(Keyword(p), "ab");
  ASSERT_TRUE(p.Fetch(1, false, false));
  EXPECT_TRUE(p.FetchTo('x', false));
  EXPECT_EQ(p.GetKeywordLen(), 0u);
  EXPECT_STREQ(p.GetKeywordBuffer(), "");
}

TEST_P(BinaryStreamParserTest, FetchKeywordKeepsNulBytes) {
  BinaryStreamParser p(Source(std::string("a\0bx", 4)), true);
  std::string out;
  EXPECT_TRUE(p.FetchTo('x', out));
  EXPECT_EQ(out, std::string("a\0b", 3));
}

TEST_P(BinaryStreamParserTest, FetchDataEndingInsideACandidateDeliversItsBytes) {
  BinaryStreamParser p(Source("xxAB"), true);
  p.SetRecordFetching(true);
  Holder into;
  EXPECT_FALSE(p.FetchIntoBeyond(into, "ABC", nullptr, false, false));
  EXPECT_EQ(Content(into), "xxAB");
  EXPECT_EQ(Record(p), "xxAB");
  EXPECT_EQ(p.GetCurrentStreamOffset(), 4u);
  EXPECT_EQ(p.GetCurrentChar(), 0);
}

// ---------------------------------------------------------------------------
// Block boundaries.

TEST_P(BinaryStreamParserTest, BlocksDelimiterSplitAtEveryOffsetOfABoundary) {
  std::string const delimiter = "ABCDE";
  for (uint32_t before = 1; before < delimiter.size(); ++before) {
    for (int form = 0; form < 4; ++form) {
      SCOPED_TRACE("bytes before the boundary " + std::to_string(before) + ", form " + std::to_string(form));
      std::string head = Filler(BLOCK - before);
      std::string data = head + delimiter + "tail";
      BinaryStreamParser p(Source(data), form % 2 == 0);
      p.SetRecordFetching(true);
      Holder into;
      std::string out;
      bool beyond = form != 0;
      bool found = form == 0   ? p.FetchIntoTo(into, delimiter, nullptr, false, false)
                   : form == 1 ? p.FetchIntoBeyond(into, "abcde", nullptr, false, false)
                   : form == 2 ? p.FetchBeyond(delimiter, out)
                               : p.FetchBeyond("aBcDe", true);
      ASSERT_TRUE(found);
      std::string delivered = form < 2 ? Content(into) : Keyword(p);
      EXPECT_EQ(delivered, head);
      if (form == 2) {
        EXPECT_EQ(out, head);
      }
      uint32_t at = static_cast<uint32_t>(head.size() + delimiter.size() - (beyond ? 0 : 1));
      EXPECT_EQ(p.GetCurrentStreamOffset(), at);
      EXPECT_EQ(p.GetCurrentChar(), static_cast<unsigned char>(data[at]));
      EXPECT_EQ(Record(p), beyond ? "E" : head);
    }
  }
}

TEST_P(BinaryStreamParserTest, BlocksFailedCandidateAcrossABoundaryLosesNothing) {
  // A false start of "ABCDE" crosses the boundary at every offset; the real
  // delimiter comes later.
  for (uint32_t before = 1; before <= 4; ++before) {
    for (std::string falseStart : {"ABCDx", "ABCDA", "ABABC", "AAAAB"}) {
      SCOPED_TRACE("before " + std::to_string(before) + ", false start " + falseStart);
      std::string head = Filler(BLOCK - before) + falseStart + "12";
      std::string data = head + "ABCDE" + "z";
      BinaryStreamParser p(Source(data), true);
      p.SetRecordFetching(true);
      Holder into;
      ASSERT_TRUE(p.FetchIntoTo(into, "ABCDE", nullptr, false, false));
      EXPECT_EQ(Content(into), head);
      EXPECT_EQ(Record(p), head);
      EXPECT_EQ(p.GetCurrentStreamOffset(), head.size() + 4);
      EXPECT_EQ(p.GetCurrentChar(), 'E');
    }
  }
}

TEST_P(BinaryStreamParserTest, BlocksCandidateRestartsRightAfterItsFirstByte) {
  // "AA|AB": the first candidate fails on the third byte, the one starting at
  // the second byte is the delimiter.
  std::string head = Filler(BLOCK - 2) + "A";
  std::string data = head + "AAB" + "q";
  BinaryStreamParser p(Source(data), true);
  std::string out;
  ASSERT_TRUE(p.FetchBeyond("AAB", out));
  EXPECT_EQ(out, head);
  EXPECT_EQ(p.GetCurrentStreamOffset(), data.size() - 1);
  EXPECT_EQ(p.GetCurrentChar(), 'q');
}

TEST(BinaryStreamParserBlocks, CandidateOverManyShortBlocks) {
  // Blocks of 1 to 3 bytes: candidates span several blocks and fail late.
  std::string data = "xxABCDABCDABCDEyy";
  for (uint32_t step : {1u, 2u, 3u}) {
    SCOPED_TRACE("step " + std::to_string(step));
    ScriptedSource source(data, {step});
    BinaryStreamParser p(source, true);
    std::string out;
    ASSERT_TRUE(p.FetchBeyond("ABCDE", out));
    EXPECT_EQ(out, "xxABCDABCD");
    EXPECT_EQ(p.GetCurrentStreamOffset(), 15u);
    EXPECT_EQ(p.GetCurrentChar(), 'y');
  }
}

TEST_P(BinaryStreamParserTest, BlocksDelimiterLongerThanTheBlock) {
  std::string delimiter(BLOCK + 900, 'd');
  delimiter.back() = 'e';
  std::string almost(BLOCK + 100, 'd');
  std::string data = "ab" + almost + "c" + delimiter + "z";
  BinaryStreamParser p(Source(data), true);
  Holder into;
  ASSERT_TRUE(p.FetchIntoBeyond(into, delimiter, nullptr, false, false));
  EXPECT_EQ(Content(into), "ab" + almost + "c");
  EXPECT_EQ(p.GetCurrentStreamOffset(), data.size() - 1);
  EXPECT_EQ(p.GetCurrentChar(), 'z');
}

TEST_P(BinaryStreamParserTest, BlocksSetSearchesAcrossBlocks) {
  std::string data = std::string(3 * BLOCK + 7, ' ') + "x" + Filler(BLOCK) + ";";
  BinaryStreamParser p(Source(data), true);
  EXPECT_TRUE(p.FetchUntilNot(" \t", false));
  EXPECT_EQ(p.GetCurrentStreamOffset(), 3 * BLOCK + 7);
  Holder into;
  EXPECT_TRUE(p.FetchIntoUntil(into, ";,", nullptr, false, false));
  EXPECT_EQ(Content(into), "x" + Filler(BLOCK));
  EXPECT_EQ(p.GetCurrentChar(), ';');
}

TEST(BinaryStreamParserBlocks, SourceThatNeverReportsItsEndDoesNotHang) {
  ScriptedSource source("abc", {BLOCK}, ZEB::BinaryStreamBufT<unsigned>::RANDOM_ACCESS, false);
  BinaryStreamParser p(source, true);
  EXPECT_FALSE(p.FetchTo('x', true));
  EXPECT_EQ(Keyword(p), "abc");
  EXPECT_FALSE(p.Fetch(1, false, false));
}

// ---------------------------------------------------------------------------
// Reading, NUL removal, keyword, record, positioning.

TEST_P(BinaryStreamParserTest, ReadFetchCounts) {
  BinaryStreamParser p(Source("abcdef"), true);
  EXPECT_TRUE(p.Fetch(0, true, false));
  EXPECT_EQ(p.GetCurrentStreamOffset(), 0u);
  EXPECT_TRUE(p.Fetch(4, true, false));
  EXPECT_EQ(Keyword(p), "abcd");
  EXPECT_FALSE(p.Fetch(5, true, false));
  EXPECT_EQ(Keyword(p), "ef");
  EXPECT_EQ(p.GetCurrentStreamOffset(), 6u);

  BinaryStreamParser none(Source(""), true);
  EXPECT_FALSE(none.Fetch(0, false, false));
  EXPECT_EQ(none.GetCurrentChar(), 0);
}

TEST(BinaryStreamParserRead, SourceIsReadInBlocksOf4096) {
  ScriptedSource source(Filler(3 * BLOCK), {1u << 20});
  BinaryStreamParser p(source, true);
  EXPECT_TRUE(p.Fetch(2 * BLOCK + 1, false, false));
  EXPECT_EQ(source.GetCalls(), 3u);
}

TEST_P(BinaryStreamParserTest, ReadIgnoreNulsRemovesThemFromEachBlock) {
  {
    BinaryStreamParser p(Source(std::string(5000, '\0') + "x"), true);
    p.IgnoreNulls(true);
    EXPECT_EQ(p.GetCurrentChar(), 'x');
    EXPECT_EQ(p.GetCurrentStreamOffset(), 0u);
  }
  {
    // Text of 16-bit units: every other byte NUL, over several blocks.
    std::string wide, narrow;
    for (int i = 0; i < 5000; ++i) {
      char c = static_cast<char>('a' + i % 26);
      narrow += c;
      wide += c;
      wide += '\0';
    }
    BinaryStreamParser p(Source(wide + std::string("!\0", 2)), true);
    p.IgnoreNulls(true);
    std::string out;
    EXPECT_TRUE(p.FetchTo('!', out));
    EXPECT_EQ(p.GetCurrentStreamOffset(), 5000u);
    EXPECT_EQ(Unsaved(p).size(), 128u);
    EXPECT_EQ(out, narrow.substr(0, BLOCK));
  }
}

TEST_P(BinaryStreamParserTest, KeywordOverflowGoesToTheWindow) {
  std::string data;
  for (int i = 0; i < 6000; ++i)
    data += static_cast<char>('A' + i % 23);
  BinaryStreamParser p(Source(data), true);
  EXPECT_TRUE(p.Fetch(5000, true, false));
  EXPECT_EQ(p.GetKeywordLen(), BLOCK);
  EXPECT_EQ(Keyword(p), data.substr(0, BLOCK));
  EXPECT_EQ(Unsaved(p), data.substr(5000 - 128, 128));
  EXPECT_EQ(p.GetCurrentStreamOffset(), 5000u);
  // A keyword that fits again empties the window.
  EXPECT_TRUE(p.Fetch(3, true, false));
  EXPECT_EQ(Keyword(p), data.substr(5000, 3));
  EXPECT_EQ(p.GetUnsavedDataLen(), 0u);
}

TEST(BinaryStreamParserKeyword, WindowKeepsTheNewestBytesInOrder) {
  std::string data = Filler(BLOCK) + std::string(50, 'a') + std::string(100, 'b');
  {
    ScriptedSource source(data, {BLOCK, 50, 100});
    BinaryStreamParser p(source, true);
    EXPECT_TRUE(p.Fetch(BLOCK + 50, true, false));
    EXPECT_EQ(Unsaved(p), std::string(50, 'a'));
  }
  {
    ScriptedSource source(data, {BLOCK, 50, 100});
    BinaryStreamParser p(source, true);
    EXPECT_TRUE(p.Fetch(BLOCK + 150, true, false));
    EXPECT_EQ(Unsaved(p), std::string(28, 'a') + std::string(100, 'b'));
    EXPECT_EQ(Keyword(p), Filler(BLOCK));
  }
}

TEST_P(BinaryStreamParserTest, KeywordSetKeywordBuffer) {
  BinaryStreamParser p(Source(""), true);
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

TEST_P(BinaryStreamParserTest, RecordCaptureAndCopy) {
  BinaryStreamParser p(Source("hello;world;"), true);
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

  // The step past clears the record: only the delimiter's last byte is left.
  EXPECT_TRUE(p.FetchBeyond(";", false));
  EXPECT_EQ(Record(p), ";");
  // Fetch without clearing appends.
  EXPECT_TRUE(p.Fetch(5, false, false));
  EXPECT_EQ(Record(p), ";world");
  p.SetRecordFetching(false);
  EXPECT_EQ(p.GetRecordFetchingSize(), 0u);
  EXPECT_TRUE(p.Fetch(1, false, false));
  EXPECT_EQ(p.GetRecordFetchingSize(), 0u);
}

TEST_P(BinaryStreamParserTest, SeekDirectPositioningAndBlockEdges) {
  std::string data;
  for (int i = 0; i < 10000; ++i)
    data += static_cast<char>('a' + (i * 7) % 26);
  BinaryStreamParser p(Source(data), true);
  p.SetRecordFetching(true);
  for (uint32_t position : {0u, 1u, 4095u, 4096u, 4097u, 5000u, 8191u, 8192u, 9999u, 10000u, 0u}) {
    SCOPED_TRACE("position " + std::to_string(position));
    p.Seek(position);
    EXPECT_EQ(p.GetCurrentStreamOffset(), position);
    EXPECT_EQ(p.GetCurrentChar(), position < data.size() ? static_cast<unsigned char>(data[position]) : 0);
    uint32_t blockStart = position == 0 ? 0 : (position - 1) / BLOCK * BLOCK;
    EXPECT_EQ(Record(p), data.substr(blockStart, position - blockStart));
  }
  // Past the end inside the last block: at the end of the data.
  p.Seek(10001);
  EXPECT_EQ(p.GetCurrentStreamOffset(), 10000u);
  EXPECT_THROW(p.Seek(20000), ZEBFile::SeekOutOfRangeException);
}

TEST(BinaryStreamParserSeek, WithoutCapabilitiesReadsForward) {
  std::string data = Filler(10000);
  ScriptedSource source(data, {BLOCK}, 0);
  BinaryStreamParser p(source, true);
  p.SetRecordFetching(true);
  p.Seek(5000);
  EXPECT_EQ(p.GetCurrentStreamOffset(), 5000u);
  EXPECT_EQ(p.GetCurrentChar(), static_cast<unsigned char>(data[5000]));
  EXPECT_EQ(Record(p), data.substr(0, 5000));
}

TEST_P(BinaryStreamParserTest, SeekResetRewindsAndKeepsTheRecordBuffer) {
  ZEB::BinaryStreamT<unsigned> stream(Source("abcdef"));
  BinaryStreamParser p(stream, true);
  p.SetRecordFetching(true);
  EXPECT_TRUE(p.Fetch(4, true, false));
  p.Reset();
  EXPECT_EQ(p.GetCurrentStreamOffset(), 0u);
  EXPECT_EQ(p.GetCurrentChar(), 'a');
  EXPECT_EQ(p.GetKeywordLen(), 0u);
  EXPECT_EQ(Record(p), "abcd");
}

// ---------------------------------------------------------------------------
// A string-based model of what each operation delivers, compared with the
// parser over generated inputs and sources with blocks of many sizes.

namespace {

enum class Op { FETCH, TO_KW, TO_OUT, BEYOND_KW, BEYOND_OUT, UNTIL_KW, UNTIL_OUT, UNTIL_NOT_KW, UNTIL_NOT_OUT,
                INTO_TO, INTO_BEYOND, INTO_UNTIL, INTO_UNTIL_NOT, SEEK, COUNT };

struct Model {
  std::string data;
  bool caseSensitive = true;
  bool recordOn = false;
  std::size_t pos = 0;
  std::string keyword, record;

  unsigned char Fold(unsigned char b) const {
    return (!caseSensitive && b >= 'A' && b <= 'Z') ? static_cast<unsigned char>(b + 32) : b;
  }
  bool Same(char a, char b) const { return Fold(a) == Fold(b); }
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

  // A delimiter fetch: the bytes passed (delivered), whether found.
  bool Search(BinaryStreamParser::FetchMode mode, std::string const& delimiter, bool withKeyword, bool beyond,
              std::string& passed) {
    keyword.clear();
    record.clear();
    std::size_t at = mode == BinaryStreamParser::TO ? FindTo(delimiter)
                                                    : FindSet(delimiter, mode == BinaryStreamParser::UNTIL);
    std::size_t end = at == std::string::npos ? data.size() : at;
    passed = data.substr(pos, end - pos);
    if (withKeyword)
      keyword = passed;
    if (recordOn)
      record = passed;
    if (at == std::string::npos) {
      pos = data.size();
      return false;
    }
    pos = mode == BinaryStreamParser::TO ? at + delimiter.size() - 1 : at;
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

  void Seek(std::size_t position, bool direct) {
    keyword.clear();
    std::size_t start = 0;
    if (direct && position != 0)
      start = (position - 1) / BLOCK * BLOCK;
    pos = start;
    record.clear();
    Fetch(position - start, false, true);
  }

  // What a fetch-into call writes, or "" when it writes nothing.
  std::string Output(std::string passed, std::string const& skip, bool dropNulls, bool space) const {
    if (dropNulls)
      passed.erase(std::remove(passed.begin(), passed.end(), '\0'), passed.end());
    std::size_t first = 0;
    if (!skip.empty())
      while (first < passed.size() && InSet(passed[first], skip))
        ++first;
    if (first == passed.size())
      return "";
    return (first > 0 && space ? " " : "") + passed.substr(first);
  }
};

std::string RandomString(std::mt19937& rng, std::string const& alphabet, std::size_t length) {
  std::string s(length, ' ');
  for (char& c : s)
    c = alphabet[rng() % alphabet.size()];
  return s;
}

// Runs random operations on a parser and the model side by side.
void CompareWithModel(uint32_t seed, SourceKind const* kind) {
  std::mt19937 rng(seed);
  std::string const alphabet("aAbB-\0x", 7);
  std::size_t length = rng() % 4 == 0 ? rng() % 40 : BLOCK - 30 + rng() % (2 * BLOCK);
  std::string raw = RandomString(rng, alphabet, length);
  // Mostly plain letters, with runs of the alphabet so that delimiters occur.
  for (std::size_t i = 0; i < raw.size(); ++i)
    if (rng() % 3 != 0)
      raw[i] = 'x';
  bool caseSensitive = rng() % 2 == 0;
  bool ignoreNulls = rng() % 4 == 0;
  bool recordOn = rng() % 2 == 0;

  // Without a kind of source: a scripted source with blocks of many sizes.
  std::vector<uint32_t> steps;
  for (int i = 0; i < 5; ++i)
    steps.push_back(1 + rng() % (rng() % 2 ? 7 : BLOCK));
  ScriptedSource scriptedSource(raw, steps);
  std::unique_ptr<ZEB::BinaryStreamBufT<unsigned>> made = kind ? kind->make(raw) : nullptr;
  ZEB::BinaryStreamBufT<unsigned>& source = made ? *made : scriptedSource;
  BinaryStreamParser p(source, caseSensitive);
  p.IgnoreNulls(ignoreNulls);
  p.SetRecordFetching(recordOn);

  Model m;
  m.data = raw;
  m.caseSensitive = caseSensitive;
  m.recordOn = recordOn;
  if (ignoreNulls)
    m.data.erase(std::remove(m.data.begin(), m.data.end(), '\0'), m.data.end());

  for (int step = 0; step < 40; ++step) {
    auto op = static_cast<Op>(rng() % static_cast<unsigned>(Op::COUNT));
    std::string delimiter = RandomString(rng, "aAbB-x", 1 + rng() % 4);
    std::string set = RandomString(rng, std::string("aAbB-\0", 6), rng() % 3);
    std::string skip = RandomString(rng, "aB-x", rng() % 3);
    bool dropNulls = rng() % 2 == 0, space = rng() % 2 == 0, withKeyword = rng() % 2 == 0;
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
    bool intoForm = false;
    switch (op) {
    case Op::FETCH: {
      uint32_t count = rng() % 2 ? rng() % 8 : rng() % (2 * BLOCK);
      bool clearRecord = rng() % 2 == 0;
      got = p.Fetch(count, withKeyword, clearRecord);
      expected = m.Fetch(count, withKeyword, clearRecord);
      break;
    }
    case Op::TO_KW:
      got = p.FetchTo(static_cast<unsigned char>(delimiter[0]), withKeyword);
      expected = m.Search(BinaryStreamParser::TO, delimiter.substr(0, 1), withKeyword, false, passed);
      break;
    case Op::TO_OUT:
      got = p.FetchTo(static_cast<unsigned char>(delimiter[0]), out);
      expected = m.Search(BinaryStreamParser::TO, delimiter.substr(0, 1), true, false, passed);
      break;
    case Op::BEYOND_KW:
      got = p.FetchBeyond(delimiter, withKeyword);
      expected = m.Search(BinaryStreamParser::TO, delimiter, withKeyword, true, passed);
      break;
    case Op::BEYOND_OUT:
      got = p.FetchBeyond(delimiter, out);
      expected = m.Search(BinaryStreamParser::TO, delimiter, true, true, passed);
      break;
    case Op::UNTIL_KW:
      got = p.FetchUntil(set, withKeyword);
      expected = m.Search(BinaryStreamParser::UNTIL, set, withKeyword, false, passed);
      break;
    case Op::UNTIL_OUT:
      got = p.FetchUntil(set, out);
      expected = m.Search(BinaryStreamParser::UNTIL, set, true, false, passed);
      break;
    case Op::UNTIL_NOT_KW:
      got = p.FetchUntilNot(set, withKeyword);
      expected = m.Search(BinaryStreamParser::UNTIL_NOT, set, withKeyword, false, passed);
      break;
    case Op::UNTIL_NOT_OUT:
      got = p.FetchUntilNot(set, out);
      expected = m.Search(BinaryStreamParser::UNTIL_NOT, set, true, false, passed);
      break;
    case Op::INTO_TO:
      intoForm = true;
      got = p.FetchIntoTo(into, delimiter, skip.empty() ? nullptr : skip.c_str(), dropNulls, space);
      expected = m.Search(BinaryStreamParser::TO, delimiter, false, false, passed);
      break;
    case Op::INTO_BEYOND:
      intoForm = true;
      got = p.FetchIntoBeyond(into, delimiter, skip.empty() ? nullptr : skip.c_str(), dropNulls, space);
      expected = m.Search(BinaryStreamParser::TO, delimiter, false, true, passed);
      break;
    case Op::INTO_UNTIL:
      intoForm = true;
      got = p.FetchIntoUntil(into, set, skip.empty() ? nullptr : skip.c_str(), dropNulls, space);
      expected = m.Search(BinaryStreamParser::UNTIL, set, false, false, passed);
      break;
    case Op::INTO_UNTIL_NOT:
      intoForm = true;
      got = p.FetchIntoUntilNot(into, set, skip.empty() ? nullptr : skip.c_str(), dropNulls, space);
      expected = m.Search(BinaryStreamParser::UNTIL_NOT, set, false, false, passed);
      break;
    case Op::SEEK:
    case Op::COUNT: {
      if (ignoreNulls)
        continue; // seeks count raw offsets for the block start
      std::size_t position = rng() % (m.data.size() + 1);
      p.Seek(static_cast<uint32_t>(position));
      m.Seek(position, true);
      got = expected = true;
      break;
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
    bool outForm = op == Op::TO_OUT || op == Op::BEYOND_OUT || op == Op::UNTIL_OUT || op == Op::UNTIL_NOT_OUT;
    if (outForm) {
      ASSERT_EQ(out, got ? m.keyword.substr(0, BLOCK) : "untouched");
    }
    if (intoForm) {
      std::string written = m.Output(passed, skip, dropNulls, space);
      ASSERT_EQ(Content(into), (preset ? "pre" : "") + written);
      ASSERT_EQ(static_cast<bool>(into), preset || !written.empty());
    }
  }
}

} // namespace

TEST_P(BinaryStreamParserTest, ModelMatchesTheParser) {
  for (uint32_t seed = 1; seed <= 150; ++seed) {
    CompareWithModel(seed, &GetParam());
    if (HasFatalFailure())
      return;
  }
}

TEST(BinaryStreamParserModel, ShortBlocksMatchTheModel) {
  for (uint32_t seed = 1000; seed <= 1150; ++seed) {
    CompareWithModel(seed, nullptr);
    if (HasFatalFailure())
      return;
  }
}
