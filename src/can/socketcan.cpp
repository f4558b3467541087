#include "can/socketcan.h"

namespace dtconv {

namespace {

struct ErrorClass {
  uint32_t idWord;
  uint8_t type;      // data byte 2: protocol error type
  uint8_t location;  // data byte 3: protocol error location
};

// Recorded status codes 1-6.
constexpr ErrorClass kErrorClasses[6] = {
    {kCanErrFlag | kCanErrAck, 0x00, 0x00},   // 1 acknowledgement error
    {kCanErrFlag | kCanErrProt, 0x02, 0x18},  // 2 form error at the CRC delimiter
    {kCanErrFlag | kCanErrProt, 0x00, 0x08},  // 3 CRC sequence
    {kCanErrFlag | kCanErrProt, 0x04, 0x00},  // 4 bit stuffing error
    {kCanErrFlag | kCanErrProt, 0x40, 0x00},  // 5 active error announcement
    {kCanErrFlag | kCanErrProt, 0x02, 0x1B},  // 6 form error at the ACK delimiter
};

bool ErrorFor(uint8_t status, SocketCanError* error) {
  if (status < 1 || status > 6) return false;
  const ErrorClass& e = kErrorClasses[status - 1];
  *error = SocketCanError{};
  error->idWord = e.idWord;
  error->data[2] = e.type;
  error->data[3] = e.location;
  return true;
}

}  // namespace

SocketCanPackets ToSocketCan(const CanFrame& f) {
  SocketCanPackets p;
  if (f.count == 0 && f.status != 0) {
    p.hasError = ErrorFor(f.status, &p.error);
    return p;
  }
  uint32_t idWord = f.kind.idBits == 29 ? kCanEffFlag | (f.id & kCanEffMask) : f.id & kCanSffMask;
  switch (f.kind.frameClass) {
    case FrameClass::Data:
      break;
    case FrameClass::Remote:
      idWord |= kCanRtrFlag;
      break;
    case FrameClass::FdData:
      p.frame.fdFlags =
          static_cast<uint8_t>(kCanFdFrame | (f.brs ? kCanFdBrs : 0) | (f.esi ? kCanFdEsi : 0));
      break;
    default:
      p.hasError = ErrorFor(f.status, &p.error);
      return p;
  }
  p.hasFrame = true;
  p.frame.idWord = idWord;
  p.frame.dlc = p.frame.fdFlags == 0 ? f.dlc : 0;
  p.frame.length = f.count;
  p.frame.data = f.data;
  if (f.count > 0) p.hasError = ErrorFor(f.status, &p.error);
  return p;
}

int64_t CaptureMicroseconds(int64_t baseSeconds, int64_t baseNanoseconds, uint64_t timestamp) {
  return static_cast<int64_t>(static_cast<uint64_t>(baseNanoseconds / 1000) +
                              static_cast<uint64_t>(baseSeconds) * 1000000u + timestamp);
}

}  // namespace dtconv
