// The data file library: one line per sample, written and read back.
//   data_line.h          the line's format, written and parsed in one place
//   data_file.h          the file a run writes, under its lock, a whole line at a time
//   data_file_reader.h   reading a file back in pieces, bad lines counted, into any sink
//   existing_output.h    how many lines an output file already holds
//   file_create_error.h  why a file could not be created
// It needs only decimal/: a viewer that reads files links nothing of the
// instrument or the serial line.
#pragma once

#include "datafile/data_file.h"
#include "datafile/data_file_reader.h"
#include "datafile/data_line.h"
#include "datafile/existing_output.h"
#include "datafile/file_create_error.h"
