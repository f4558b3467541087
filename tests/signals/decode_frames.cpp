// Decodes frames with every signal of a DBC database selected, for the comparison with canmatrix
// and for timing the decoder. Frames are read from a CSV file, one a line:
//   index,line,extended,identifier (hex),data (hex, no blanks)
// and each decoded value is printed as one tab-separated line:
//   index, message, signal, value text, value as a double (%.17g), value-table text
//
//   signals_decode_frames DBC FRAMES            print the values
//   signals_decode_frames DBC FRAMES --speed N  decode and format every frame N times; print the
//                                               rates on one core to standard output
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "signals/signals.h"

namespace {

using namespace dtconv::signals;

struct Frame {
  std::string index;
  int line = 1;
  bool extended = false;
  uint32_t id = 0;
  std::vector<uint8_t> data;
};

bool ReadFrames(const char* path, std::vector<Frame>* frames) {
  std::ifstream in(path);
  std::string text;
  while (std::getline(in, text)) {
    Frame f;
    char ext = 0;
    char id[16], data[200];
    char index[24];
    data[0] = 0;
    if (std::sscanf(text.c_str(), "%23[^,],%d,%c,%15[^,],%199s", index, &f.line, &ext, id, data) <
        4) {
      return false;
    }
    f.index = index;
    f.extended = ext == '1';
    f.id = static_cast<uint32_t>(std::strtoul(id, nullptr, 16));
    for (size_t i = 0; data[i] && data[i + 1]; i += 2) {
      f.data.push_back(static_cast<uint8_t>(std::stoul(std::string(data + i, 2), nullptr, 16)));
    }
    frames->push_back(std::move(f));
  }
  return !frames->empty();
}

void Print(const SignalSelection& selection, const std::vector<Frame>& frames) {
  std::vector<DecodedValue> values;
  for (const Frame& f : frames) {
    const MessagePlan* plan = selection.Find(f.line, f.extended, f.id);
    if (plan == nullptr) continue;
    values.resize(plan->maxValues());
    size_t n = SignalSelection::Decode(*plan, f.data.data(), f.data.size(), values.data());
    for (size_t i = 0; i < n; ++i) {
      const Signal& s = *selection.signals()[values[i].column].signal;
      char text[kMaxSignalValueChars];
      char* end = PutSignalValue(text, s, values[i].raw);
      std::string valueText(ValueTableText(s, values[i].raw));
      std::printf("%s\t%s\t%s\t%.*s\t%.17g\t%s\n", f.index.c_str(), plan->message().name.c_str(),
                  s.name.c_str(), static_cast<int>(end - text), text,
                  PhysicalValue(s, values[i].raw), valueText.c_str());
    }
  }
}

// Decoding alone, then decoding with the value texts written to a buffer, `repeat` times over
// every frame.
void Time(const SignalSelection& selection, const std::vector<Frame>& frames, int repeat) {
  std::vector<const MessagePlan*> plans;
  for (const Frame& f : frames) plans.push_back(selection.Find(f.line, f.extended, f.id));
  std::vector<DecodedValue> values(512);
  std::vector<char> out(1 << 16);
  for (int pass = 0; pass < 2; ++pass) {
    size_t count = 0, bytes = 0;
    auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < repeat; ++r) {
      for (size_t i = 0; i < frames.size(); ++i) {
        if (plans[i] == nullptr) continue;
        size_t n = SignalSelection::Decode(*plans[i], frames[i].data.data(), frames[i].data.size(),
                                           values.data());
        count += n;
        if (pass == 0) continue;
        char* p = out.data();
        for (size_t k = 0; k < n; ++k) {
          p = PutSignalValue(p, *selection.signals()[values[k].column].signal, values[k].raw);
          *p++ = '\n';
        }
        bytes += static_cast<size_t>(p - out.data());
      }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %zu frames, %zu values in %.3f s: %.1f M frames/s, %.1f M values/s%s\n",
                pass == 0 ? "decode" : "decode+text", frames.size() * repeat, count, seconds,
                frames.size() * repeat / seconds / 1e6, count / seconds / 1e6,
                pass == 0 ? "" : (", " + std::to_string(bytes >> 20) + " MiB of text").c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && !(argc == 5 && std::string(argv[3]) == "--speed")) {
    std::fprintf(stderr, "usage: signals_decode_frames DBC FRAMES [--speed N]\n");
    return 2;
  }
  DatabaseSet set;
  SignalSelection selection;
  std::string error;
  if (!set.Load(argv[1], kBothLines, &error) || !selection.Select(set, "", &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::vector<Frame> frames;
  if (!ReadFrames(argv[2], &frames)) {
    std::fprintf(stderr, "%s: no frames read\n", argv[2]);
    return 1;
  }
  if (argc == 5) {
    Time(selection, frames, std::atoi(argv[4]));
  } else {
    Print(selection, frames);
  }
  return 0;
}
