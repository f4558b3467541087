// Captures written as text, for the tests' case tables: one statement per line, '#' starts a
// comment. The statements set the builder's fields, add its records, and edit the assembled
// pieces of a broken file:
//
//   set FIELD VALUE...   recordingKind, formatCode, analogPort, kindExtra, model, board, firmware,
//                        serial TEXT, timeBase S NS, start|stop Y M D h m s,
//                        can1|can2 NOMINAL DATA NSP DSP [noniso], analogSetup BYTES,
//                        calibration CHANNEL VALID ZERO PLUS MINUS REFERENCE,
//                        wave PRESENT RANGE1 RANGE2 INTERVAL MODE PRECOUNT,
//                        waveCalibration AI VALID ZERO PLUS MINUS REFERENCE (AI 1 or 2, after
//                        wave), waveSamples WORDS
//   frame KEY=VALUE...   line t tn format trigger status fd dlc id fc data stored conts
//                        records (the first N records of the frame alone)
//   fix KEY=VALUE...     t tn sat utc=Y-M-D,h:m:s q lat lon alt err
//   analog KEY=VALUE...  t type ref words eight conts
//   marker TYPE T
//   head TYPE CONTS T [OFFSET=BYTES...]   a head record with bytes set from OFFSET on
//   record BYTES [OFFSET=BYTES...]        a raw record of 32 bytes
//   use NAME             the statements of the recipe NAME
//   random SEED COUNT [c|a|g|w]   the set-up and COUNT records (mostly CAN, analog or GNSS) of
//                        the tests' seeded random capture, or COUNT waveform samples
//   info KEY=VALUE       length, setupLength, revision, setup.N.KEY, recorder.N.KEY,
//                        calibration.KEY; KEY of a record: length, present, inner, body, cut,
//                        byte.K
//   chunk KEY=VALUE      keep=N, swap=N,M, add=TAG:BYTES, insert=N:TAG:BYTES; of chunk N:
//                        N.size, N.payload=BYTES, N.cut=LENGTH, N.append=BYTES, N.byte.K
//   file KEY=VALUE       cut=N (keep N bytes; cut=chunk.K+N: N bytes past chunk K's start),
//                        byte.K=V, append=BYTES
//
// Statements may also be separated by ';'. Numbers are decimal, or hexadecimal after 0x; a length
// may be given as size+N or size-N, from the length the piece would have. BYTES are hexadecimal
// bytes joined by commas, count:N[:FIRST] (N bytes counting up) or fill:N:BYTE, and several of
// these joined by '+'. A chunk TAG is four characters or its BYTES.
#pragma once

#include <filesystem>
#include <string>

#include "capture_builder.h"

namespace dtconv::test {

// The capture file a recipe describes (`use NAME` for the recipe file
// tests/cases/captures/NAME.cap); throws std::invalid_argument naming the line at fault.
Bytes BuildRecipe(const std::string& recipe);

}  // namespace dtconv::test
