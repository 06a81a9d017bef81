#include "ZEBFile/ProgressBuffer.h"

namespace ZEBFile {

// --- ProgressBuffer ----------------------------------------------------------------

ProgressBuffer::ProgressBuffer(ZEB::BinaryStreamBufT<unsigned>& buffer,
                               ZEB::SmartPtr<ZEB::LogEntryCallInterface> const& sink, uint32_t updateChunk)
    : BinaryStreamBufWrapper(buffer), m_Sink(sink) {
  UpdateChunk(updateChunk);
}

ProgressBuffer::~ProgressBuffer() = default;

// A maximum of 0 reports would divide by zero: it stands for the default.
uint32_t ProgressBuffer::ChunkFor(uint32_t total, uint32_t maxReports) noexcept {
  return total / (maxReports != 0 ? maxReports : ms_DefaultMaxProgressUpdate);
}

void ProgressBuffer::Report(double fractionDone) {
  if (m_Sink)
    m_Sink->ReportProgress(fractionDone);
}

// --- OProgressBuffer ---------------------------------------------------------------

OProgressBuffer::OProgressBuffer(ZEB::BinaryStreamBufT<unsigned>& buffer,
                                 ZEB::SmartPtr<ZEB::LogEntryCallInterface> const& sink, uint32_t total,
                                 uint32_t maxReports)
    : ProgressBuffer(buffer, sink, ChunkFor(total, maxReports)), m_Total(total), m_NextReport(UpdateChunk()) {}

OProgressBuffer::~OProgressBuffer() = default;

// The wrapper hands Put straight to the wrapped buffer; through the base
// class's Put the write passes vPut and is counted.
uint32_t OProgressBuffer::Put(void const* data, uint32_t count) { return BinaryStreamBufT::Put(data, count); }

uint32_t OProgressBuffer::PutAll(void const* data, uint32_t count) { return BinaryStreamBufT::PutAll(data, count); }

// Counts the bytes asked to be written, whatever the wrapped buffer took.
uint32_t OProgressBuffer::vPut(void const* data, uint32_t count) {
  uint32_t written = Inner().Put(data, count);
  m_Written += count;
  if (m_Written >= m_NextReport) {
    double fraction = m_Total != 0 ? double(m_Written) / m_Total : 1.0;
    Report(fraction > 1.0 ? 1.0 : fraction);
    m_NextReport = UpdateChunk() + m_Written;
  }
  return written;
}

// --- IProgressBuffer ---------------------------------------------------------------

IProgressBuffer::IProgressBuffer(ZEB::BinaryStreamBufT<unsigned>& buffer,
                                 ZEB::SmartPtr<ZEB::LogEntryCallInterface> const& sink, uint32_t total,
                                 uint32_t maxReports)
    : ProgressBuffer(buffer, sink, ChunkFor(total != 0 ? total : buffer.Size(), maxReports)),
      m_Total(total != 0 ? total : buffer.Size()) {}

IProgressBuffer::~IProgressBuffer() = default;

// The wrapper hands Get straight to the wrapped buffer; through the base
// class's Get the read passes vGet and is watched.
uint32_t IProgressBuffer::Get(void* destination, uint32_t count) { return BinaryStreamBufT::Get(destination, count); }

uint32_t IProgressBuffer::GetAll(void* destination, uint32_t count) {
  return BinaryStreamBufT::GetAll(destination, count);
}

// Reports the position at which the read began, not capped.
uint32_t IProgressBuffer::vGet(void* destination, uint32_t count) {
  uint32_t position = Inner().TellG();
  uint32_t read = Inner().Get(destination, count);
  m_SinceReport += count;
  if (m_SinceReport >= UpdateChunk() && m_LastReported < position) {
    Report(m_Total != 0 ? double(position) / m_Total : 1.0);
    m_SinceReport = 0;
    m_LastReported = position;
  }
  return read;
}

} // namespace ZEBFile
