// Readers of the caller's typed sample arrays, one per sample type code.
#pragma once

#include "plot/xy_plot.h"

// The reader of each type code 0..12, in code order.
extern const SampleAccessor kSampleReaders[CXYPlot::kTypeCodeCount];

// The reader for any type code; codes outside 0..12 read unsigned bytes.
SampleAccessor SampleReaderFor(int typeCode);

double ReadFloat(const void* data, int index);
double ReadDouble(const void* data, int index);
double ReadInt8(const void* data, int index);
double ReadUInt8(const void* data, int index);
double ReadInt16(const void* data, int index);
double ReadUInt16(const void* data, int index);
double ReadInt32(const void* data, int index);
double ReadUInt32(const void* data, int index);
// The index itself; the array is never touched (it may be null).
double ReadIndex(const void* data, int index);
