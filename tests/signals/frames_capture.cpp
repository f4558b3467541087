// Writes a capture of the frames listed in a CSV file, one a line, 100 us apart in the order
// listed, for the comparison of the long signal table with canmatrix:
//   index,line,extended,identifier (hex),data (hex, no blanks)
// Frames of up to eight bytes are classic frames (DLC: their length), longer ones CAN FD frames
// (DLC: the smallest that holds them).
//
//   signals_frames_capture FRAMES CAPTURE
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "capture_builder.h"

namespace {

using dtconv::test::Bytes;

constexpr uint8_t kData11 = 1, kData29 = 3, kFd11 = 17, kFd29 = 19;

uint8_t FdDlc(size_t n) {
  static constexpr size_t kSizes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24, 32, 48, 64};
  uint8_t dlc = 0;
  while (dlc < 15 && kSizes[dlc] < n) ++dlc;
  return dlc;
}

bool ParseLine(const std::string& text, dtconv::test::FrameSpec* f) {
  size_t c1 = text.find(','), c2 = text.find(',', c1 + 1), c3 = text.find(',', c2 + 1),
         c4 = text.find(',', c3 + 1);
  if (c4 == std::string::npos) return false;
  f->line = std::atoi(text.c_str() + c1 + 1);
  bool extended = text[c2 + 1] == '1';
  f->id =
      static_cast<uint32_t>(std::strtoul(text.substr(c3 + 1, c4 - c3 - 1).c_str(), nullptr, 16));
  std::string hex = text.substr(c4 + 1);
  Bytes data;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    data.push_back(static_cast<uint8_t>(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  }
  bool fd = data.size() > 8;
  f->format = fd ? (extended ? kFd29 : kFd11) : (extended ? kData29 : kData11);
  f->dlc = fd ? FdDlc(data.size()) : static_cast<uint8_t>(data.size());
  f->data = data;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: signals_frames_capture FRAMES CAPTURE\n");
    return 2;
  }
  std::ifstream in(argv[1]);
  dtconv::test::CaptureBuilder b;
  std::string text;
  for (uint64_t n = 0; std::getline(in, text); ++n) {
    dtconv::test::FrameSpec f;
    if (!ParseLine(text, &f)) {
      std::fprintf(stderr, "%s: cannot read line %llu\n", argv[1],
                   static_cast<unsigned long long>(n + 1));
      return 1;
    }
    f.timestamp = n * 100;
    b.Frame(f);
  }
  b.WriteTo(argv[2]);
  return 0;
}
