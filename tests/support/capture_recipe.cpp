#include "capture_recipe.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
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

using Words = std::vector<std::string>;
using Keys = std::map<std::string, std::string>;

// The parts of `s` between the separators `by` (an empty one between two of them).
Words Split(const std::string& s, char by) {
  Words parts;
  std::istringstream in(s);
  for (std::string part; std::getline(in, part, by);) parts.push_back(part);
  return parts;
}

Words WordsOf(const std::string& s) {
  Words words;
  std::istringstream in(s);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
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
  Bytes b;
  for (const std::string& part : Split(s, '+')) {
    Words p = Split(part, ':');
    if (p.at(0) == "count")
      Append(b, Counting(Number(p.at(1)), p.size() > 2 ? Number(p[2]) : 0));
    else if (p[0] == "fill")
      Append(b, Bytes(Number(p.at(1)), static_cast<uint8_t>(Number(p.at(2)))));
    else
      for (const std::string& x : Split(part, ','))
        b.push_back(static_cast<uint8_t>(std::stoul(x, nullptr, 16)));
  }
  return b;
}

// A chunk tag: four characters, or its bytes (e.g. 00,00,00,00).
std::string Tag(const std::string& s) {
  Bytes b = s.size() == 4 ? Bytes(s.begin(), s.end()) : ByteList(s);
  return std::string(b.begin(), b.end());
}

// The KEY=VALUE words after the first (a bare KEY reads as KEY=1).
Keys KeyValues(const Words& words) {
  Keys keys;
  for (size_t i = 1; i < words.size(); ++i) {
    size_t eq = words[i].find('=');
    keys[words[i].substr(0, eq)] = eq == std::string::npos ? "1" : words[i].substr(eq + 1);
  }
  return keys;
}

// The fields a statement sets, each from the words of its value.
using Fields = std::map<std::string, std::function<void(const Words&)>>;

template <class T>
Fields::value_type Num(const char* key, T& field) {
  return {key, [&field](const Words& v) { field = static_cast<T>(Number(v.at(0))); }};
}

// Sets the fields of the statement's KEY=VALUE words (other keys are ignored).
void Apply(const Keys& k, const Fields& fields) {
  for (const auto& [key, value] : k)
    if (auto f = fields.find(key); f != fields.end()) f->second({value});
}

DateTime Date(const Words& w) {
  int v[6];
  for (size_t i = 0; i < 6; ++i) v[i] = static_cast<int>(Number(w.at(i)));
  return {v[0], v[1], v[2], v[3], v[4], v[5]};
}

void Set(CaptureBuilder& b, const Words& w) {
  const std::string& f = w.at(1);
  Words v(w.begin() + 2, w.end());
  Fields numbers = {Num("recordingKind", b.recordingKind),
                    Num("formatCode", b.formatCode),
                    Num("analogPort", b.analogPort),
                    Num("kindExtra", b.kindExtra),
                    Num("model", b.model),
                    Num("board", b.board),
                    Num("firmware", b.firmware)};
  if (numbers.count(f)) {
    numbers[f](v);
  } else if (f == "serial") {
    b.serial = v.empty() ? "" : v[0];
  } else if (f == "timeBase") {
    b.timeBaseSeconds = Number(v.at(0));
    b.timeBaseNanoseconds = Number(v.at(1));
  } else if (f == "start" || f == "stop") {
    (f == "start" ? b.start : b.stop) = Date(v);
  } else if (f == "can1" || f == "can2") {
    b.can[f == "can2"] = {static_cast<uint32_t>(Number(v.at(0))),
                          static_cast<uint32_t>(Number(v.at(1))),
                          static_cast<uint16_t>(Number(v.at(2))),
                          static_cast<uint16_t>(Number(v.at(3))), v.size() > 4 && v[4] == "noniso"};
  } else if (f == "analogSetup") {
    b.analogSetup = ByteList(v.at(0));
  } else if (f == "calibration" || f == "waveCalibration") {  // CHANNEL VALID ZERO PLUS ...
    auto at = static_cast<size_t>(Number(v.at(0)));
    auto n = [&](size_t i) { return static_cast<int32_t>(Number(v.at(i))); };
    Calibration c{n(1) != 0, n(2), n(3), n(4), n(5)};
    if (f == "calibration" && b.calibration.size() <= at) b.calibration.resize(at + 1);
    if (f == "calibration") b.calibration[at] = c;
    if (f == "waveCalibration" && at != 1 && at != 2)
      throw std::invalid_argument("no such wave input: " + v[0]);
    if (f == "waveCalibration") SetCalibration(b.waveInfo.value(), 4 + 40 * at, c);
  } else if (f == "wave") {
    auto n = [&](size_t i) { return static_cast<uint8_t>(Number(v.at(i))); };
    b.waveInfo = CaptureBuilder::WaveInfoBytes(n(0), n(1), n(2), n(3), n(4),
                                               static_cast<int32_t>(Number(v.at(5))));
  } else if (f == "waveSamples") {
    for (const std::string& x : Split(v.at(0), ',')) b.waveSamples.push_back(Number(x));
  } else {
    throw std::invalid_argument("no such field: " + f);
  }
}

void Frame(CaptureBuilder& b, const Words& w) {
  Keys k = KeyValues(w);
  FrameSpec f;
  Apply(k, {Num("line", f.line), Num("tn", f.typeNibble), Num("t", f.timestamp),
            Num("format", f.format), Num("trigger", f.trigger), Num("status", f.status),
            Num("fd", f.fdFlags), Num("dlc", f.dlc), Num("id", f.id), Num("fc", f.fc),
            Num("stored", f.storedCount), Num("conts", f.continuationCount)});
  if (k.count("data")) f.data = ByteList(k["data"]);
  std::vector<Bytes> records = CaptureBuilder().Frame(f).records();
  if (k.count("records")) records.resize(Number(k["records"]));  // the others left out
  for (const Bytes& r : records) b.Raw(r);
}

void Fix(CaptureBuilder& b, const Words& w) {
  Keys k = KeyValues(w);
  FixSpec f;
  Apply(k, {Num("t", f.timestamp), Num("tn", f.typeNibble), Num("sat", f.satellites),
            Num("q", f.quality), Num("lat", f.latitude), Num("lon", f.longitude),
            Num("alt", f.altitudeMm), Num("err", f.errorCm)});
  if (k.count("utc")) {  // Y-M-D,h:m:s
    Words d = Split(k["utc"], ','), date = Split(d.at(0), '-'), time = Split(d.at(1), ':');
    date.resize(3);
    date.insert(date.end(), time.begin(), time.end());
    f.utc = Date(date);
  }
  b.Fix(f);
}

void Analog(CaptureBuilder& b, const Words& w) {
  Keys k = KeyValues(w);
  AnalogSpec a;
  Apply(k, {Num("t", a.timestamp), Num("type", a.type), Num("ref", a.referenceTemp),
            Num("eight", a.eightChannels)});
  Words words = Split(k["words"], ',');
  for (size_t i = 0; i < words.size() && i < 8; ++i) a.words[i] = Number(words[i]);
  std::vector<Bytes> records = CaptureBuilder().Analog(a).records();
  // The head may announce other continuation records than follow.
  if (k.count("conts")) records[0][1] = static_cast<uint8_t>(0x80 | Number(k["conts"]));
  for (const Bytes& r : records) b.Raw(r);
}

// `head TYPE CONTS T` or `record BYTES`, then OFFSET=BYTES words.
void Record(CaptureBuilder& b, const Words& w) {
  bool head = w[0] == "head";
  Bytes r = head ? HeadRecord(static_cast<uint8_t>(Number(w.at(1))),
                              static_cast<uint8_t>(Number(w.at(2))), Number(w.at(3)))
                 : ByteList(w.at(1));
  r.resize(32);
  for (size_t i = head ? 4 : 2; i < w.size(); ++i) {
    size_t eq = w[i].find('=');
    Bytes at = ByteList(w[i].substr(eq + 1));
    std::copy(at.begin(), at.end(), r.begin() + Number(w[i].substr(0, eq)));
  }
  b.Raw(r);
}

const std::map<std::string, std::function<void(CaptureBuilder&, const Words&)>> kStatements = {
    {"set", Set},
    {"frame", Frame},
    {"fix", Fix},
    {"analog", Analog},
    {"head", Record},
    {"record", Record},
    {"marker",
     [](CaptureBuilder& b, const Words& w) {
       b.Marker(static_cast<uint8_t>(Number(w.at(1))), Number(w.at(2)));
     }},
    {"random",
     [](CaptureBuilder& b, const Words& w) {
       b = RandomCapture(Number(w.at(1)), Number(w.at(2)), w.size() > 3 ? w[3][0] : 'c');
     }},
};

// The edits of a byte string shared by records, chunks and the file: cut, append, byte.K, and
// body or payload (all of it).
bool EditBytes(Bytes& b, const std::string& key, const std::string& value) {
  if (key == "cut")
    b.resize(Length(value, b.size()));
  else if (key == "append")
    Append(b, ByteList(value));
  else if (key.rfind("byte.", 0) == 0)
    b.at(Number(key.substr(5))) = static_cast<uint8_t>(Length(value, b.size()));
  else if (key == "body" || key == "payload")
    b = ByteList(value);
  else
    return false;
  return true;
}

void EditRecord(Rec& r, const std::string& key, const std::string& value) {
  if (key == "length")
    r.length = Length(value, r.body.size() + 4);
  else if (key == "present")
    r.present = Number(value) != 0;
  else if (key == "inner")  // the length word of the inner record the body holds
    SetLE(r.body, 0, Length(value, r.body.size()));
  else if (!EditBytes(r.body, key, value))
    throw std::invalid_argument("no such record key: " + key);
}

void EditInfo(DataInfoParts& p, const std::string& key, const std::string& value) {
  Words path = Split(key, '.');
  if (key == "length") {
    p.infoLength = Length(value, AssembleDataInfo(p).size());
  } else if (key == "setupLength") {
    uint64_t n = 8;
    for (const Rec& r : p.setup) n += r.present ? r.body.size() + 4 : 0;
    p.setupLength = Length(value, n);
  } else if (key == "revision") {
    p.setupRevision = static_cast<uint8_t>(Number(value));
  } else if (path.at(0) == "setup" || path[0] == "recorder") {
    std::vector<Rec>& recs = path[0] == "setup" ? p.setup : p.recorder;
    EditRecord(recs.at(Number(path.at(1))), key.substr(path[0].size() + path[1].size() + 2), value);
  } else if (path[0] == "calibration") {
    EditRecord(p.calibration, key.substr(12), value);
  } else {
    throw std::invalid_argument("no such information key: " + key);
  }
}

// A new chunk from TAG[:BYTES].
Chunk NewChunk(const std::string& s) {
  size_t colon = s.find(':');
  return {Tag(s.substr(0, colon)),
          colon == std::string::npos ? Bytes{} : ByteList(s.substr(colon + 1)),
          {}};
}

void EditChunks(std::vector<Chunk>& c, const std::string& key, const std::string& value) {
  size_t colon = value.find(':'), dot = key.find('.');
  if (key == "keep") {
    c.resize(Number(value));
  } else if (key == "swap") {
    Words two = Split(value, ',');
    std::swap(c.at(Number(two.at(0))), c.at(Number(two.at(1))));
  } else if (key == "add") {
    c.push_back(NewChunk(value));
  } else if (key == "insert") {
    c.insert(c.begin() + Number(value.substr(0, colon)), NewChunk(value.substr(colon + 1)));
  } else {
    Chunk& chunk = c.at(Number(key.substr(0, dot)));
    std::string part = key.substr(dot + 1);
    if (part == "size")
      chunk.size = Length(value, chunk.payload.size());
    else if (!EditBytes(chunk.payload, part, value))
      throw std::invalid_argument("no such chunk key: " + key);
  }
}

void EditFile(Bytes& file, const std::vector<Chunk>& chunks, const std::string& key,
              const std::string& value) {
  if (key == "cut" && value.rfind("chunk.", 0) == 0) {  // chunk.K[+N]: from chunk K's start
    size_t sign = value.find_first_of("+-");
    auto k = static_cast<size_t>(Number(value.substr(6, sign - 6)));
    uint64_t start = 16;
    for (size_t i = 0; i < k; ++i) start += 8 + chunks.at(i).payload.size();
    file.resize(start + (sign == std::string::npos ? 0 : Number(value.substr(sign))));
  } else if (!EditBytes(file, key, value)) {
    throw std::invalid_argument("no such file key: " + key);
  }
}

// The recipe with ';' read as a line end and each `use NAME` replaced by that recipe's text.
std::string Expand(const std::string& recipe) {
  std::string text;
  for (const std::string& line : Split(recipe, '\n')) {
    for (const std::string& statement : Split(line.substr(0, line.find('#')), ';')) {
      Words w = WordsOf(statement);
      if (w.empty() || w[0] != "use") {
        text += statement + "\n";
        continue;
      }
      std::ifstream in(std::string(DTCONV_CASES_DIR) + "/captures/" + w.at(1) + ".cap");
      if (!in) throw std::invalid_argument("no recipe " + w[1]);
      text += Expand(std::string(std::istreambuf_iterator<char>(in), {}));
    }
  }
  return text;
}

}  // namespace

Bytes BuildRecipe(const std::string& recipe) {
  CaptureBuilder b;
  std::map<std::string, std::vector<std::pair<std::string, std::string>>> edits;
  Words lines = Split(Expand(recipe), '\n');
  for (size_t number = 1; number <= lines.size(); ++number) {
    Words w = WordsOf(lines[number - 1]);
    if (w.empty()) continue;
    try {
      if (w[0] == "info" || w[0] == "chunk" || w[0] == "file") {
        for (const auto& edit : KeyValues(w)) edits[w[0]].push_back(edit);
      } else if (auto s = kStatements.find(w[0]); s != kStatements.end()) {
        s->second(b, w);
      } else {
        throw std::invalid_argument("no such statement: " + w[0]);
      }
    } catch (const std::exception& e) {
      throw std::invalid_argument("recipe line " + std::to_string(number) + ": " + e.what());
    }
  }
  DataInfoParts parts = b.Parts();
  for (const auto& [key, value] : edits["info"]) EditInfo(parts, key, value);
  std::vector<Chunk> chunks = b.Chunks(parts);
  for (const auto& [key, value] : edits["chunk"]) EditChunks(chunks, key, value);
  Bytes bytes = AssembleFile(chunks);
  for (const auto& [key, value] : edits["file"]) EditFile(bytes, chunks, key, value);
  return bytes;
}

}  // namespace dtconv::test
