// Buffers the library reads streams into: bytes go straight on to a file,
// standard output or a digest as they arrive, so that no stream is held in
// memory whole.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>

#include "Sha256.h"
#include "ZEB/BinaryStreamBuf.h"
#include "ZEB/LogEntry.h"

namespace zebfile {

// A buffer that can only be written at its end: everything put is handed to
// Write; reading gives nothing.
class WriteOnlyBuffer : public ZEB::BinaryStreamBufT<unsigned> {
public:
  uint32_t Written() const noexcept { return m_Written; }

protected:
  virtual void Write(void const* data, uint32_t count) = 0;

  uint32_t vPut(void const* data, uint32_t count) override;
  uint32_t vTellP() const override { return m_Written; }
  uint32_t vSeekP(uint32_t offset, Origin origin, Direction direction) override;
  uint32_t vGet(void*, uint32_t) override { return 0; }
  uint32_t vTellG() const override { return 0; }
  uint32_t vSeekG(uint32_t offset, Origin origin, Direction direction) override;
  void vFlush() override {}
  void vClear() override;
  void vClearMemory() override {}
  void vClearEnd() override {}
  uint32_t vSize() const override { return m_Written; }
  bool vEndOfFile() const override { return true; }

private:
  uint32_t m_Written = 0;
};

// Writes to an output stream; a failed write throws std::runtime_error.
class StreamSink : public WriteOnlyBuffer {
public:
  explicit StreamSink(std::ostream& out) : m_Out(out) {}

protected:
  void Write(void const* data, uint32_t count) override;

private:
  std::ostream& m_Out;
};

// Passes what it is given on to another buffer in pieces of at most 64 KiB,
// so that a progress buffer behind it sees a large run of sectors advance.
class PieceSink : public WriteOnlyBuffer {
public:
  explicit PieceSink(ZEB::BinaryStreamBufT<unsigned>& next) : m_Next(next) {}

protected:
  void Write(void const* data, uint32_t count) override;

private:
  ZEB::BinaryStreamBufT<unsigned>& m_Next;
};

// Hands what it is given to a function: a file being written, a writer's
// open stream.
class ForwardSink : public WriteOnlyBuffer {
public:
  explicit ForwardSink(std::function<void(void const*, uint32_t)> write) : m_Write(std::move(write)) {}

protected:
  void Write(void const* data, uint32_t count) override { m_Write(data, count); }

private:
  std::function<void(void const*, uint32_t)> m_Write;
};

class HashSink : public WriteOnlyBuffer {
public:
  std::string HexDigest() { return m_Hash.HexDigest(); }

protected:
  void Write(void const* data, uint32_t count) override { m_Hash.Update(data, count); }

private:
  Sha256 m_Hash;
};

// Shows how far the copy of one stream has come on one line of standard
// error, and clears the line when it goes.
class ProgressLine : public ZEB::LogEntryCallInterface {
public:
  explicit ProgressLine(std::string label) : m_Label(std::move(label)) {}
  ~ProgressLine() override;
  void ReportProgress(double fractionDone) override;

private:
  std::string m_Label;
  int m_Shown = -1;
};

// Clears what a progress line left on standard error.
void ClearProgressLine();

} // namespace zebfile
