// One CAN or CAN FD frame as recorded: the frame format code decoded into class and identifier
// width, and the data bytes gathered from the head and its continuation records. Shared by the
// text/CSV converter and the PCAP writer.
#pragma once

#include <cstdint>

#include "input/monitor_record.h"

namespace dtconv {

enum class FrameClass { Data, Remote, Error, FdData, Other };

struct FrameFormat {
  FrameClass frameClass;
  int idBits;  // 11, 29, or 0 without an identifier
};

// Class and identifier width of a frame format code (head byte 10).
FrameFormat DecodeFrameFormat(uint8_t code);

// Data length of a CAN FD DLC (9 -> 12, ..., 15 -> 64); a DLC above 15 counts as 15.
int FdDataLength(uint8_t dlc);

struct CanFrame {
  uint8_t format = 0;
  FrameFormat kind{FrameClass::Other, 0};
  bool trigger = false;
  uint8_t status = 0;
  uint8_t dlc = 0;
  uint32_t id = 0;
  uint32_t fc = 0;   // bytes 20-23 as recorded
  bool brs = false;  // CAN FD frames only
  bool esi = false;
  int count = 0;  // gathered data bytes, 0-64
  uint8_t data[64] = {};
};

// Reads the frame whose head record is at the cursor. Returns false when the stored byte count
// needs continuation records that are missing or out of order: such a frame is dropped.
bool AssembleFrame(const RecordCursor& cursor, CanFrame& frame);

}  // namespace dtconv
