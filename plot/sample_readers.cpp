#include "plot/sample_readers.h"

#include <cstdint>

namespace {
template <typename T>
double ReadElement(const void* data, int index) {
  return static_cast<double>(static_cast<const T*>(data)[index]);
}
}  // namespace

double ReadFloat(const void* data, int index) { return ReadElement<float>(data, index); }
double ReadDouble(const void* data, int index) { return ReadElement<double>(data, index); }
double ReadInt8(const void* data, int index) { return ReadElement<std::int8_t>(data, index); }
double ReadUInt8(const void* data, int index) { return ReadElement<std::uint8_t>(data, index); }
double ReadInt16(const void* data, int index) { return ReadElement<std::int16_t>(data, index); }
double ReadUInt16(const void* data, int index) { return ReadElement<std::uint16_t>(data, index); }
double ReadInt32(const void* data, int index) { return ReadElement<std::int32_t>(data, index); }
double ReadUInt32(const void* data, int index) { return ReadElement<std::uint32_t>(data, index); }
double ReadIndex(const void*, int index) { return static_cast<double>(index); }

const SampleAccessor kSampleReaders[CXYPlot::kTypeCodeCount] = {
    ReadFloat,  ReadDouble, ReadDouble, ReadInt8,   ReadUInt8, ReadInt16, ReadUInt16,
    ReadInt32,  ReadUInt32, ReadInt32,  ReadUInt32, ReadIndex, ReadIndex,
};

SampleAccessor SampleReaderFor(int typeCode) {
  if (static_cast<unsigned>(typeCode) < static_cast<unsigned>(CXYPlot::kTypeCodeCount)) {
    return kSampleReaders[typeCode];
  }
  return ReadUInt8;
}
