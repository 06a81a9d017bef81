// Buffers that wrap another buffer and report how far a transfer has come to
// a progress sink: OProgressBuffer counts the bytes written through it,
// IProgressBuffer watches the read position of the wrapped buffer. Every
// other operation goes to the wrapped buffer unchanged; copies are not
// counted.
#pragma once

#include <cstdint>

#include "ZEB/BinaryStream.h"
#include "ZEB/LogEntry.h"
#include "ZEB/SmartPtr.h"
#include "ZEBFile/ZEBFileExport.h"

namespace ZEBFile {

class ZEBFILE_API ProgressBuffer : public ZEB::BinaryStreamBufWrapper {
public:
  // At least this many bytes pass between two reports.
  static constexpr uint32_t MIN_UPDATE_CHUNK = 4096;

  ~ProgressBuffer() override;

  uint32_t UpdateChunk() const noexcept { return m_UpdateChunk; }

protected:
  // The wrapped buffer and the sink must outlive the progress buffer (the
  // sink is held by a counted reference); a null sink receives nothing.
  ProgressBuffer(ZEB::BinaryStreamBufT<unsigned>& buffer, ZEB::SmartPtr<ZEB::LogEntryCallInterface> const& sink,
                 uint32_t updateChunk);

  // Raised to MIN_UPDATE_CHUNK when smaller.
  void UpdateChunk(uint32_t value) noexcept { m_UpdateChunk = value < MIN_UPDATE_CHUNK ? MIN_UPDATE_CHUNK : value; }
  // The chunk that gives at most `maxReports` reports over `total` bytes (a
  // maximum of 0 taken as the default).
  static uint32_t ChunkFor(uint32_t total, uint32_t maxReports) noexcept;
  void Report(double fractionDone);

  // The default maximum number of reports over a whole transfer.
  static constexpr unsigned ms_DefaultMaxProgressUpdate = 100;

private:
  ZEB::SmartPtr<ZEB::LogEntryCallInterface> m_Sink;
  uint32_t m_UpdateChunk;
};

class ZEBFILE_API OProgressBuffer : public ProgressBuffer {
public:
  // Reports the fraction of `total` written (capped at 1) each time another
  // update chunk has been asked to be written.
  OProgressBuffer(ZEB::BinaryStreamBufT<unsigned>& buffer, ZEB::SmartPtr<ZEB::LogEntryCallInterface> const& sink,
                  uint32_t total, uint32_t maxReports = ms_DefaultMaxProgressUpdate);
  ~OProgressBuffer() override;

  // Writes go through vPut, so that they are counted.
  uint32_t Put(void const* data, uint32_t count) override;
  uint32_t PutAll(void const* data, uint32_t count) override;

protected:
  uint32_t vPut(void const* data, uint32_t count) override;

private:
  uint32_t m_Written = 0;
  uint32_t m_Total;
  uint32_t m_NextReport;
};

class ZEBFILE_API IProgressBuffer : public ProgressBuffer {
public:
  // Reports the read position over `total` (the wrapped buffer's size when
  // 0) where a read begins, at most once per update chunk read and only
  // beyond the position last reported.
  IProgressBuffer(ZEB::BinaryStreamBufT<unsigned>& buffer, ZEB::SmartPtr<ZEB::LogEntryCallInterface> const& sink,
                  uint32_t total, uint32_t maxReports = ms_DefaultMaxProgressUpdate);
  ~IProgressBuffer() override;

  // Reads go through vGet, so that they are watched.
  uint32_t Get(void* destination, uint32_t count) override;
  uint32_t GetAll(void* destination, uint32_t count) override;

protected:
  uint32_t vGet(void* destination, uint32_t count) override;

private:
  uint32_t m_SinceReport = 0;
  uint32_t m_Total;
  uint32_t m_LastReported = 0;
};

} // namespace ZEBFile
