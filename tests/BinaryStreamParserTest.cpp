// The parser over every kind of source (a parameter of the suite: a memory
// buffer, or a file mapped read-only and read in place) and over sources that
// hand out blocks of chosen sizes, against a string model of what each
// operation delivers.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ZEBFile/BinaryStreamParser.h"
#include "ZEBFile/Exceptions.h"
#include "ZEBFile/MemoryBuffer.h"
#include "ZEBFile/MemoryMapFile.h"
#include "ZEBFile/StaticMemoryBuffer.h"
#include "support/BufferWalk.h"
#include "support/TempDir.h"

using namespace ZEBFile;
using Holder = ZEB::RefCount<MemoryBuffer>;
using Source = ZEB::BinaryStreamBufT<unsigned>;

namespace {

constexpr uint32_t BLOCK = BinaryStreamParser::BLOCK_SIZE;

// A memory buffer that hands out at most the next step of its script per Get
// (cycling), as a pipe or a network stream would.
class ScriptedSource : public MemoryBuffer {
public:
  ScriptedSource(std::string const& data, std::vector<uint32_t> steps)
      : MemoryBuffer(data.data(), uint32_t(data.size())), m_Steps(std::move(steps)) {}

protected:
  uint32_t vGet(void* destination, uint32_t count) override {
    return MemoryBuffer::vGet(destination, std::min(count, m_Steps[m_Step++ % m_Steps.size()]));
  }

private:
  std::vector<uint32_t> m_Steps;
  std::size_t m_Step = 0;
};

// What the parser reads, a parameter of the suite: a memory buffer holding the
// bytes, or a file holding them mapped read-only and read in place (a write
// to it by the parser would fault). The model also reads a scripted source.
enum SourceKind { MEMORY, MAPPED, SCRIPTED };

struct Mapped {
  explicit Mapped(std::string const& bytes)
      : map((dir.WriteFile("bytes", bytes), dir.Child("bytes"))), buffer(View(map, bytes.size()), bytes.size()) {}
  static void const* View(MemoryMapFile& map, std::size_t size) {
    map.Open(MemoryMapFile::READ);
    return size == 0 ? "" : map.GetView(0, uint32_t(size));
  }
  ZEBTest::TempDir dir{"parser"};
  MemoryMapFile map;
  StaticMemoryBuffer buffer;
};

std::shared_ptr<Source> MakeSource(SourceKind kind, std::string const& bytes) {
  if (kind == MEMORY)
    return std::make_shared<MemoryBuffer>(bytes.data(), uint32_t(bytes.size()));
  auto mapped = std::make_shared<Mapped>(bytes);
  return std::shared_ptr<Source>(mapped, &mapped->buffer);
}

class BinaryStreamParserTest : public ::testing::TestWithParam<SourceKind> {
protected:
  // A source over `bytes`, living as long as the test.
  Source& Over(std::string const& bytes) { return *m_Sources.emplace_back(MakeSource(GetParam(), bytes)); }

private:
  std::vector<std::shared_ptr<Source>> m_Sources;
};

INSTANTIATE_TEST_SUITE_P(Sources, BinaryStreamParserTest, ::testing::Values(MEMORY, MAPPED),
                         [](::testing::TestParamInfo<SourceKind> const& info) -> std::string {
                           return info.param == MEMORY ? "MemoryBuffer" : "StaticMemoryBuffer";
                         });

std::string Content(Holder const& holder) { return holder ? ZEBTest::Content(*holder) : std::string(); }
std::string Keyword(BinaryStreamParser const& p) { return std::string(p.GetKeywordBuffer(), p.GetKeywordLen()); }
std::string Record(BinaryStreamParser& p) {
  std::string out;
  p.GetRecordFetchingContent(out, 0, 0);
  return out;
}

// Every fetch form, named for the model and the tests.
enum class Op { FETCH, TO_KW, TO_OUT, BEYOND_KW, BEYOND_OUT, UNTIL_KW, UNTIL_OUT, UNTIL_NOT_KW, UNTIL_NOT_OUT,
                INTO_TO, INTO_BEYOND, INTO_UNTIL, INTO_UNTIL_NOT, COUNT };

bool IsOut(Op op) { return op == Op::TO_OUT || op == Op::BEYOND_OUT || op == Op::UNTIL_OUT || op == Op::UNTIL_NOT_OUT; }
bool IsInto(Op op) { return op >= Op::INTO_TO && op < Op::COUNT; }
BinaryStreamParser::FetchMode ModeOf(Op op) {
  if (op == Op::UNTIL_KW || op == Op::UNTIL_OUT || op == Op::INTO_UNTIL)
    return BinaryStreamParser::UNTIL;
  bool untilNot = op == Op::UNTIL_NOT_KW || op == Op::UNTIL_NOT_OUT || op == Op::INTO_UNTIL_NOT;
  return untilNot ? BinaryStreamParser::UNTIL_NOT : BinaryStreamParser::TO;
}

struct Call {
  Op op;
  std::string arg, skip; // the delimiter or set (TO forms take its first byte); the bytes to skip
  bool dropNulls = false, space = false, keyword = true, clearRecord = true;
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

// A string model of what each operation delivers, compared with the parser
// over generated inputs.
struct Model {
  std::string data;
  bool caseSensitive, recordOn;
  std::size_t pos = 0;
  std::string keyword, record;

  bool Same(char a, char b) const {
    auto fold = [&](unsigned char c) { return (!caseSensitive && c >= 'A' && c <= 'Z') ? c + 32 : c; };
    return fold(a) == fold(b);
  }
  bool InSet(char b, std::string const& set) const {
    return std::any_of(set.begin(), set.end(), [&](char m) { return Same(b, m); });
  }
  // Where a TO search (a delimiter), an UNTIL search (a byte in the set) or
  // an UNTIL_NOT search (a byte outside it) stops, or the end.
  std::size_t Find(BinaryStreamParser::FetchMode mode, std::string const& delimiter) const {
    for (std::size_t i = pos; i < data.size(); ++i) {
      bool hit = mode != BinaryStreamParser::TO ? InSet(data[i], delimiter) == (mode == BinaryStreamParser::UNTIL)
                                                : i + delimiter.size() <= data.size();
      for (std::size_t k = 0; mode == BinaryStreamParser::TO && hit && k < delimiter.size(); ++k)
        hit = Same(data[i + k], delimiter[k]);
      if (hit)
        return i;
    }
    return std::string::npos;
  }

  // A delimiter fetch: the bytes passed go to `passed`; true when found.
  bool Search(Op op, std::string delimiter, std::string& passed) {
    BinaryStreamParser::FetchMode mode = ModeOf(op);
    bool beyond = op == Op::BEYOND_KW || op == Op::BEYOND_OUT || op == Op::INTO_BEYOND;
    if (op == Op::TO_KW || op == Op::TO_OUT)
      delimiter = delimiter.substr(0, 1);
    keyword.clear();
    std::size_t at = Find(mode, delimiter);
    passed = data.substr(pos, (at == std::string::npos ? data.size() : at) - pos);
    record = recordOn ? passed : "";
    pos = at == std::string::npos ? data.size() : mode == BinaryStreamParser::TO ? at + delimiter.size() - 1 : at;
    if (beyond && at != std::string::npos) {
      record = recordOn ? data.substr(pos, 1) : "";
      ++pos;
    }
    return at != std::string::npos;
  }

  bool Fetch(std::size_t count, bool withKeyword, bool clearRecord) {
    if (pos >= data.size())
      return false;
    std::size_t n = std::min(count, data.size() - pos);
    if (withKeyword)
      keyword = data.substr(pos, n);
    if (clearRecord || !recordOn)
      record.clear();
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
    return first == passed.size() ? "" : (first > 0 && c.space ? " " : "") + passed.substr(first);
  }
};

std::string RandomString(std::mt19937& rng, std::string const& alphabet, std::size_t length) {
  std::string s(length, ' ');
  for (char& c : s)
    c = alphabet[rng() % alphabet.size()];
  return s;
}

// Random operations on a parser and the model side by side; a scripted
// source hands out blocks of many sizes.
void CompareWithModel(uint32_t seed, SourceKind kind) {
  std::mt19937 rng(seed);
  std::size_t length = rng() % 4 == 0 ? rng() % 40 : BLOCK - 30 + rng() % (2 * BLOCK);
  std::string raw = RandomString(rng, std::string("aAbB-\0x\xC9\xE9]}", 11), length);
  for (char& c : raw) // mostly plain letters, with runs of the alphabet so that delimiters occur
    if (rng() % 3 != 0)
      c = 'x';
  bool caseSensitive = rng() % 2 == 0, ignoreNulls = rng() % 4 == 0, recordOn = rng() % 2 == 0;
  std::vector<uint32_t> steps;
  for (int i = 0; i < 5; ++i)
    steps.push_back(1 + rng() % (rng() % 2 ? 7 : BLOCK));
  ScriptedSource scripted(raw, steps);
  std::shared_ptr<Source> made = kind == SCRIPTED ? nullptr : MakeSource(kind, raw);
  BinaryStreamParser p(made ? *made : scripted, caseSensitive);
  p.IgnoreNulls(ignoreNulls);
  p.SetRecordFetching(recordOn);
  Model m{raw, caseSensitive, recordOn, 0, "", ""};
  if (ignoreNulls)
    m.data.erase(std::remove(m.data.begin(), m.data.end(), '\0'), m.data.end());

  for (int step = 0; step < 40; ++step) {
    auto op = static_cast<Op>(rng() % (static_cast<unsigned>(Op::COUNT) + 1)); // COUNT: a seek
    bool setForm = ModeOf(op) != BinaryStreamParser::TO;
    std::string delimiter = RandomString(rng, "aAbB-x\xC9]", 1 + rng() % 4);
    std::string set = RandomString(rng, std::string("aAbB-\0\xE9}", 8), rng() % 3);
    std::string skip = RandomString(rng, "aB-x", rng() % 3);
    uint32_t count = rng() % 2 ? rng() % 8 : rng() % (2 * BLOCK);
    bool dropNulls = rng() % 2 == 0, space = rng() % 2 == 0, keyword = rng() % 2 == 0 || IsOut(op);
    Call const c{op, setForm ? set : delimiter, skip, dropNulls, space, keyword, rng() % 2 == 0, count};
    SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step) + " op " +
                 std::to_string(static_cast<int>(op)));
    std::string out = "untouched", passed;
    Holder into(rng() % 3 == 0 ? new MemoryBuffer(8) : nullptr);
    bool preset = static_cast<bool>(into);
    if (preset)
      into->Put("pre", 3);
    bool got = true, expected = true;
    if (op == Op::COUNT) {
      if (ignoreNulls)
        continue; // seeks count raw offsets for the block start
      // Block ends often: the record then holds a whole block.
      std::size_t position = rng() % 2 ? rng() % (m.data.size() + 1) : std::min<std::size_t>(m.data.size(), BLOCK);
      p.Seek(static_cast<uint32_t>(position));
      m.Seek(position);
    } else if (got = Apply(p, c, out, into); op == Op::FETCH) {
      expected = m.Fetch(c.count, c.keyword, c.clearRecord);
    } else {
      expected = m.Search(op, c.arg, passed);
      if (c.keyword && !IsInto(op))
        m.keyword = passed;
    }
    ASSERT_EQ(got, expected);
    ASSERT_EQ(p.GetCurrentStreamOffset(), m.pos);
    ASSERT_EQ(p.GetCurrentChar(), m.pos < m.data.size() ? static_cast<unsigned char>(m.data[m.pos]) : 0);
    ASSERT_EQ(Keyword(p), m.keyword.substr(0, BLOCK));
    if (m.keyword.size() > BLOCK) {
      std::string window(p.GetUnsavedData(), p.GetUnsavedDataLen());
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

// A new output buffer's chunk follows the first piece, with room when more is
// to come. An empty delimiter of the TO forms fails at once, changing nothing;
// one longer than the block is found.
TEST_P(BinaryStreamParserTest, OutputBuffersAndDelimiters) {
  for (bool found : {true, false}) {
    BinaryStreamParser q(Over(found ? "abc;" : "abc"), true);
    Holder made;
    EXPECT_EQ(q.FetchIntoTo(made, ";", nullptr, false, false), found);
    EXPECT_EQ(made->ChunkSize(), found ? 4u : 128u);
  }
  BinaryStreamParser p(Over("abc;def;"), true);
  p.SetRecordFetching(true);
  ASSERT_TRUE(p.Fetch(1, true, false));
  std::string out = "old";
  Holder none;
  for (Op op : {Op::BEYOND_OUT, Op::BEYOND_KW, Op::INTO_TO, Op::INTO_BEYOND})
    EXPECT_FALSE(Apply(p, {op, "", ""}, out, none)) << static_cast<int>(op);
  EXPECT_EQ(out + Keyword(p) + Record(p), "oldaa");
  EXPECT_FALSE(none);
  EXPECT_EQ(p.GetCurrentStreamOffset(), 1u);
  std::string delimiter(BLOCK + 900, 'd');
  delimiter.back() = 'e';
  std::string passed = "ab" + std::string(BLOCK + 100, 'd') + "c";
  BinaryStreamParser q(Over(passed + delimiter + "z"), true);
  Holder into;
  ASSERT_TRUE(q.FetchIntoBeyond(into, delimiter, nullptr, false, false));
  EXPECT_EQ(Content(into), passed);
  EXPECT_EQ(q.GetCurrentChar(), 'z');
}

// Past the end inside the last block a seek stops at the end, further on it
// is refused (the model checks the others). The record buffer gives any part
// of what was passed and survives Reset; switching it off empties it.
TEST_P(BinaryStreamParserTest, SeeksPastTheEndResetAndRecordCopies) {
  BinaryStreamParser p(Over(std::string(10000, 'a')), true);
  p.Seek(10001);
  EXPECT_EQ(p.GetCurrentStreamOffset(), 10000u);
  EXPECT_THROW(p.Seek(20000), SeekOutOfRangeException);
  ZEB::BinaryStreamT<unsigned> stream(Over("abcdef"));
  BinaryStreamParser q(stream, true);
  q.SetRecordFetching(true);
  EXPECT_TRUE(q.Fetch(4, true, false));
  q.Reset();
  EXPECT_EQ(q.GetCurrentStreamOffset() + q.GetKeywordLen(), 0u);
  EXPECT_EQ(q.GetCurrentChar(), 'a');
  std::string part = ">";
  q.GetRecordFetchingContent(part, 1, 2);
  EXPECT_EQ(part, ">bc");
  MemoryBuffer copy;
  q.GetRecordFetchingContent(copy, 0, 0);
  EXPECT_EQ(ZEBTest::Content(copy), "abcd");
  q.SetRecordFetching(false);
  EXPECT_EQ(q.GetRecordFetchingSize(), 0u);
}

TEST_P(BinaryStreamParserTest, MatchesTheModel) {
  for (uint32_t seed = 1; seed <= 150 && !HasFatalFailure(); ++seed)
    CompareWithModel(seed, GetParam());
}

TEST(BinaryStreamParserScripted, ShortBlocksMatchTheModel) {
  for (uint32_t seed = 1000; seed <= 1150 && !HasFatalFailure(); ++seed)
    CompareWithModel(seed, SCRIPTED);
}
