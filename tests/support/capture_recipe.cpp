#include "capture_recipe.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "random_capture.h"

#ifndef DTCONV_CASES_DIR
#define DTCONV_CASES_DIR "tests/cases"
#endif

namespace dtconv::test {

namespace {

std::vector<std::string> Split(const std::string& s, char by) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, by)) parts.push_back(part);
  return parts;
}

int64_t Number(const std::string& s) {
  size_t used = 0;
  bool hex = s.rfind("0x", 0) == 0 || s.rfind("-0x", 0) == 0;
  int64_t v = static_cast<int64_t>(hex ? std::stoull(s, &used, 16) : std::stoll(s, &used, 10));
  if (used != s.size()) throw std::invalid_argument("not a number: " + s);
  return v;
}

// A length given as a number, or as size+N / size-N from the length the piece would have.
uint32_t Length(const std::string& s, uint64_t size) {
  if (s.rfind("size", 0) != 0) return static_cast<uint32_t>(Number(s));
  return static_cast<uint32_t>(size + (s.size() > 4 ? Number(s.substr(4)) : 0));
}

Bytes ByteList(const std::string& s) {
  if (size_t plus = s.find('+'); plus != std::string::npos) {
    Bytes a = ByteList(s.substr(0, plus)), b = ByteList(s.substr(plus + 1));
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
  std::vector<std::string> p = Split(s, ':');
  if (p[0] == "count") return Counting(Number(p[1]), p.size() > 2 ? Number(p[2]) : 0);
  if (p[0] == "fill") return Bytes(Number(p[1]), static_cast<uint8_t>(Number(p[2])));
  Bytes b;
  for (const std::string& x : Split(s, ','))
    b.push_back(static_cast<uint8_t>(std::stoul(x, nullptr, 16)));
  return b;
}

// A chunk tag: four characters, or its bytes (e.g. 00,00,00,00).
std::string Tag(const std::string& s) {
  if (s.size() == 4) return s;
  Bytes b = ByteList(s);
  return std::string(b.begin(), b.end());
}

// KEY=VALUE words (a bare KEY reads as KEY=1).
std::map<std::string, std::string> Keys(const std::vector<std::string>& words) {
  std::map<std::string, std::string> keys;
  for (size_t i = 1; i < words.size(); ++i) {
    size_t eq = words[i].find('=');
    keys[words[i].substr(0, eq)] = eq == std::string::npos ? "1" : words[i].substr(eq + 1);
  }
  return keys;
}

int64_t Get(const std::map<std::string, std::string>& k, const char* key, int64_t fallback) {
  auto it = k.find(key);
  return it == k.end() ? fallback : Number(it->second);
}

DateTime Date(const std::vector<std::string>& w, size_t at) {
  return {static_cast<int>(Number(w.at(at))),     static_cast<int>(Number(w.at(at + 1))),
          static_cast<int>(Number(w.at(at + 2))), static_cast<int>(Number(w.at(at + 3))),
          static_cast<int>(Number(w.at(at + 4))), static_cast<int>(Number(w.at(at + 5)))};
}

void Set(CaptureBuilder& b, const std::vector<std::string>& w) {
  const std::string& f = w.at(1);
  auto n = [&](size_t i) { return Number(w.at(i)); };
  if (f == "recordingKind")
    b.recordingKind = static_cast<uint8_t>(n(2));
  else if (f == "formatCode")
    b.formatCode = static_cast<uint8_t>(n(2));
  else if (f == "analogPort")
    b.analogPort = static_cast<uint8_t>(n(2));
  else if (f == "kindExtra")
    b.kindExtra = static_cast<uint8_t>(n(2));
  else if (f == "model")
    b.model = static_cast<uint32_t>(n(2));
  else if (f == "board")
    b.board = static_cast<uint32_t>(n(2));
  else if (f == "firmware")
    b.firmware = static_cast<uint32_t>(n(2));
  else if (f == "serial")
    b.serial = w.size() > 2 ? w[2] : "";
  else if (f == "timeBase")
    b.timeBaseSeconds = n(2), b.timeBaseNanoseconds = n(3);
  else if (f == "start")
    b.start = Date(w, 2);
  else if (f == "stop")
    b.stop = Date(w, 2);
  else if (f == "can1" || f == "can2") {
    b.can[f == "can2"] = {static_cast<uint32_t>(n(2)), static_cast<uint32_t>(n(3)),
                          static_cast<uint16_t>(n(4)), static_cast<uint16_t>(n(5)),
                          w.size() > 6 && w[6] == "noniso"};
  } else if (f == "analogSetup")
    b.analogSetup = ByteList(w.at(2));
  else if (f == "calibration") {
    auto ch = static_cast<size_t>(n(2));
    if (b.calibration.size() <= ch) b.calibration.resize(ch + 1);
    b.calibration[ch] = {n(3) != 0, static_cast<int32_t>(n(4)), static_cast<int32_t>(n(5)),
                         static_cast<int32_t>(n(6)), static_cast<int32_t>(n(7))};
  } else if (f == "wave") {
    b.waveInfo = CaptureBuilder::WaveInfoBytes(
        static_cast<uint8_t>(n(2)), static_cast<uint8_t>(n(3)), static_cast<uint8_t>(n(4)),
        static_cast<uint8_t>(n(5)), static_cast<uint8_t>(n(6)), static_cast<int32_t>(n(7)));
  } else if (f == "waveCalibration") {  // AI VALID ZERO PLUS MINUS REFERENCE, after `set wave`
    Bytes entry =
        CalibrationBytes({n(3) != 0, static_cast<int32_t>(n(4)), static_cast<int32_t>(n(5)),
                          static_cast<int32_t>(n(6)), static_cast<int32_t>(n(7))});
    if (n(2) != 1 && n(2) != 2) throw std::invalid_argument("no such wave input: " + w[2]);
    std::copy(entry.begin(), entry.end(), b.waveInfo.value().begin() + (n(2) == 1 ? 44 : 84));
  } else if (f == "waveSamples") {
    for (const std::string& x : Split(w.at(2), ',')) b.waveSamples.push_back(Number(x));
  } else {
    throw std::invalid_argument("no such field: " + f);
  }
}

FrameSpec Frame(const std::map<std::string, std::string>& k) {
  FrameSpec f;
  f.line = static_cast<int>(Get(k, "line", 1));
  f.typeNibble = static_cast<uint8_t>(Get(k, "tn", 0));
  f.timestamp = Get(k, "t", 0);
  f.format = static_cast<uint8_t>(Get(k, "format", 1));
  f.trigger = Get(k, "trigger", 0) != 0;
  f.status = static_cast<uint8_t>(Get(k, "status", 0));
  f.fdFlags = static_cast<uint8_t>(Get(k, "fd", 0));
  f.dlc = static_cast<uint8_t>(Get(k, "dlc", 0));
  f.id = static_cast<uint32_t>(Get(k, "id", 0));
  f.fc = static_cast<uint32_t>(Get(k, "fc", 0));
  if (k.count("data")) f.data = ByteList(k.at("data"));
  if (k.count("stored")) f.storedCount = static_cast<uint8_t>(Number(k.at("stored")));
  if (k.count("conts")) f.continuationCount = static_cast<uint8_t>(Number(k.at("conts")));
  return f;
}

FixSpec Fix(const std::map<std::string, std::string>& k) {
  FixSpec f;
  f.timestamp = Get(k, "t", 0);
  f.typeNibble = static_cast<uint8_t>(Get(k, "tn", 0));
  f.satellites = static_cast<uint8_t>(Get(k, "sat", 0));
  if (k.count("utc")) {
    std::vector<std::string> d = Split(k.at("utc"), ',');
    std::vector<std::string> ymd = Split(d.at(0), '-'), hms = Split(d.at(1), ':');
    f.utc = {static_cast<int>(Number(ymd.at(0))), static_cast<int>(Number(ymd.at(1))),
             static_cast<int>(Number(ymd.at(2))), static_cast<int>(Number(hms.at(0))),
             static_cast<int>(Number(hms.at(1))), static_cast<int>(Number(hms.at(2)))};
  }
  f.quality = static_cast<uint8_t>(Get(k, "q", 2));
  f.latitude = static_cast<int32_t>(Get(k, "lat", 0));
  f.longitude = static_cast<int32_t>(Get(k, "lon", 0));
  f.altitudeMm = static_cast<int32_t>(Get(k, "alt", 0));
  f.errorCm = static_cast<uint16_t>(Get(k, "err", 0));
  return f;
}

AnalogSpec Analog(const std::map<std::string, std::string>& k) {
  AnalogSpec a;
  a.timestamp = Get(k, "t", 0);
  a.type = static_cast<uint8_t>(Get(k, "type", 0x30));
  a.referenceTemp = static_cast<int16_t>(Get(k, "ref", 0));
  if (k.count("words")) {
    std::vector<std::string> words = Split(k.at("words"), ',');
    for (size_t i = 0; i < words.size() && i < 8; ++i) a.words[i] = Number(words[i]);
  }
  a.eightChannels = Get(k, "eight", 0) != 0;
  return a;
}

// A record of the information structure: KEY of length, present, inner (the length word of the
// inner record its body holds), body, cut (the body's length), byte.K.
void EditRecord(Rec& r, const std::string& key, const std::string& value) {
  if (key == "length")
    r.length = Length(value, r.body.size() + 4);
  else if (key == "present")
    r.present = Number(value) != 0;
  else if (key == "body")
    r.body = ByteList(value);
  else if (key == "cut")
    r.body.resize(Length(value, r.body.size()));
  else if (key == "inner") {
    uint32_t v = Length(value, r.body.size());
    for (int i = 0; i < 4; ++i) r.body.at(i) = static_cast<uint8_t>(v >> (8 * i));
  } else if (key.rfind("byte.", 0) == 0) {
    r.body.at(Number(key.substr(5))) = static_cast<uint8_t>(Number(value));
  } else {
    throw std::invalid_argument("no such record key: " + key);
  }
}

void EditInfo(DataInfoParts& p, const std::string& key, const std::string& value) {
  std::vector<std::string> path = Split(key, '.');
  std::string rest = key.substr(key.find('.') + 1);
  if (key == "length") {
    p.infoLength = Length(value, AssembleDataInfo(p).size());
  } else if (key == "setupLength") {
    uint64_t n = 8;
    for (const Rec& r : p.setup) n += r.present ? r.body.size() + 4 : 0;
    p.setupLength = Length(value, n);
  } else if (key == "revision") {
    p.setupRevision = static_cast<uint8_t>(Number(value));
  } else if (key == "trailing") {
    p.trailing = ByteList(value);
  } else if (path[0] == "setup" || path[0] == "recorder") {
    std::vector<Rec>& recs = path[0] == "setup" ? p.setup : p.recorder;
    EditRecord(recs.at(Number(path.at(1))), rest.substr(rest.find('.') + 1), value);
  } else if (path[0] == "calibration") {
    EditRecord(p.calibration, rest, value);
  } else {
    throw std::invalid_argument("no such information key: " + key);
  }
}

// Chunks as a whole: drop=N, keep=N (the first N), swap=N,M, add=TAG:BYTES, insert=N:TAG:BYTES;
// chunk N: N.size, N.tag, N.payload=BYTES, N.cut=LENGTH, N.append=BYTES, N.byte.K.
void EditChunks(std::vector<Chunk>& c, const std::string& key, const std::string& value) {
  std::vector<std::string> v = Split(value, ':');
  if (key == "drop") {
    c.erase(c.begin() + Number(value));
  } else if (key == "keep") {
    c.resize(Number(value));
  } else if (key == "swap") {
    std::vector<std::string> two = Split(value, ',');
    std::swap(c.at(Number(two.at(0))), c.at(Number(two.at(1))));
  } else if (key == "add") {
    c.push_back(
        {Tag(v.at(0)), v.size() > 1 ? ByteList(value.substr(value.find(':') + 1)) : Bytes{}, {}});
  } else if (key == "insert") {
    std::string rest = value.substr(value.find(':') + 1);
    c.insert(
        c.begin() + Number(v.at(0)),
        Chunk{
            Tag(v.at(1)), v.size() > 2 ? ByteList(rest.substr(rest.find(':') + 1)) : Bytes{}, {}});
  } else {
    Chunk& chunk = c.at(Number(key.substr(0, key.find('.'))));
    std::string part = key.substr(key.find('.') + 1);
    if (part == "size")
      chunk.size = Length(value, chunk.payload.size());
    else if (part == "tag")
      chunk.tag = Tag(value);
    else if (part == "payload")
      chunk.payload = ByteList(value);
    else if (part == "cut")
      chunk.payload.resize(Length(value, chunk.payload.size()));
    else if (part == "append") {
      Bytes more = ByteList(value);
      chunk.payload.insert(chunk.payload.end(), more.begin(), more.end());
    } else if (part.rfind("byte.", 0) == 0) {
      chunk.payload.at(Number(part.substr(5))) =
          static_cast<uint8_t>(Length(value, chunk.payload.size()));
    } else {
      throw std::invalid_argument("no such chunk key: " + key);
    }
  }
}

// Offset of chunk `k`'s head in the assembled file.
uint64_t ChunkStart(const std::vector<Chunk>& chunks, size_t k) {
  uint64_t at = 16;
  for (size_t i = 0; i < k; ++i) at += 8 + chunks.at(i).payload.size();
  return at;
}

void EditFile(Bytes& file, const std::vector<Chunk>& chunks, const std::string& key,
              const std::string& value) {
  if (key == "cut" && value.rfind("chunk.", 0) == 0) {
    size_t sign = value.find_first_of("+-");
    uint64_t start = ChunkStart(chunks, Number(value.substr(6, sign - 6)));
    file.resize(start + (sign == std::string::npos ? 0 : Number(value.substr(sign))));
  } else if (key == "cut") {
    file.resize(Length(value, file.size()));
  } else if (key == "append") {
    Bytes more = ByteList(value);
    file.insert(file.end(), more.begin(), more.end());
  } else if (key.rfind("byte.", 0) == 0) {
    file.at(Number(key.substr(5))) = static_cast<uint8_t>(Number(value));
  } else {
    throw std::invalid_argument("no such file key: " + key);
  }
}

using Edit = std::pair<std::string, std::string>;

std::vector<Edit> Edits(const std::vector<std::string>& words) {
  std::vector<Edit> edits;
  for (const auto& [key, value] : Keys(words)) edits.emplace_back(key, value);
  return edits;
}

}  // namespace

std::string RecipeText(const std::string& name) {
  std::ifstream in(std::string(DTCONV_CASES_DIR) + "/captures/" + name + ".cap");
  if (!in) throw std::invalid_argument("no recipe " + name);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The recipe with ';' read as a line end and each `use NAME` replaced by that recipe's text.
std::string Expand(const std::string& recipe) {
  std::string text, line;
  std::istringstream lines(recipe);
  while (std::getline(lines, line, '\n')) {
    line = line.substr(0, line.find('#'));
    for (std::string statement; !line.empty();) {
      size_t end = line.find(';');
      statement = line.substr(0, end);
      line = end == std::string::npos ? "" : line.substr(end + 1);
      std::istringstream words(statement);
      std::string op, name;
      words >> op >> name;
      text += op == "use" ? Expand(RecipeText(name)) : statement + "\n";
    }
  }
  return text;
}

Bytes BuildRecipe(const std::string& recipe) {
  CaptureBuilder b;
  std::vector<Edit> info, chunks, file;
  std::string text = Expand(recipe);
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    std::vector<std::string> w;
    std::istringstream words(line.substr(0, line.find('#')));
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty()) continue;
    try {
      const std::string& op = w[0];
      if (op == "set")
        Set(b, w);
      else if (op == "frame" && Keys(w).count("records")) {
        CaptureBuilder one;  // the first records of the frame, the others left out
        one.Frame(Frame(Keys(w)));
        for (int64_t i = 0; i < Number(Keys(w).at("records")); ++i) b.Raw(one.records().at(i));
      } else if (op == "frame")
        b.Frame(Frame(Keys(w)));
      else if (op == "fix")
        b.Fix(Fix(Keys(w)));
      else if (op == "analog" && Keys(w).count("conts")) {
        CaptureBuilder one;  // the head announcing CONTS continuation records, whatever follows
        one.Analog(Analog(Keys(w)));
        Bytes head = one.records()[0];
        head[1] = static_cast<uint8_t>(0x80 | Number(Keys(w).at("conts")));
        b.Raw(head);
        for (size_t i = 1; i < one.records().size(); ++i) b.Raw(one.records()[i]);
      } else if (op == "analog")
        b.Analog(Analog(Keys(w)));
      else if (op == "marker")
        b.Marker(static_cast<uint8_t>(Number(w.at(1))), Number(w.at(2)));
      else if (op == "record" || op == "head") {
        size_t edits = op == "record" ? 2 : 4;
        Bytes r = op == "record"
                      ? ByteList(w.at(1))
                      : HeadRecord(static_cast<uint8_t>(Number(w.at(1))),
                                   static_cast<uint8_t>(Number(w.at(2))), Number(w.at(3)));
        r.resize(32);
        for (size_t i = edits; i < w.size(); ++i) {
          Bytes at = ByteList(w[i].substr(w[i].find('=') + 1));
          std::copy(at.begin(), at.end(), r.begin() + Number(w[i].substr(0, w[i].find('='))));
        }
        b.Raw(r);
      } else if (op == "random") {
        Random r(Number(w.at(1)));
        b = RandomCapture(r, RandomHeader(r), Number(w.at(2)), w.size() > 3 ? w[3][0] : 'c');
      } else if (op == "info") {
        for (const Edit& e : Edits(w)) info.push_back(e);
      } else if (op == "chunk") {
        for (const Edit& e : Edits(w)) chunks.push_back(e);
      } else if (op == "file") {
        for (const Edit& e : Edits(w)) file.push_back(e);
      } else {
        throw std::invalid_argument("no such statement: " + op);
      }
    } catch (const std::exception& e) {
      throw std::invalid_argument("recipe line " + std::to_string(number) + ": " + e.what());
    }
  }
  DataInfoParts parts = b.Parts();
  for (const auto& [key, value] : info) EditInfo(parts, key, value);
  std::vector<Chunk> pieces = b.Chunks(parts);
  for (const auto& [key, value] : chunks) EditChunks(pieces, key, value);
  Bytes bytes = AssembleFile(pieces);
  for (const auto& [key, value] : file) EditFile(bytes, pieces, key, value);
  return bytes;
}

Bytes LoadRecipe(const std::string& name) { return BuildRecipe(RecipeText(name)); }

}  // namespace dtconv::test
