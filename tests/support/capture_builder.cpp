#include "capture_builder.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace dtconv::test {

void SetLE(Bytes& b, size_t at, uint64_t v, int n) {
  for (int i = 0; i < n; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}
void PutU32(Bytes& b, uint32_t v) {
  b.resize(b.size() + 4);
  SetLE(b, b.size() - 4, v);
}
void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

Bytes Counting(size_t n, uint8_t first) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
  return b;
}

namespace {
void PutRec(Bytes& b, const Rec& r) {
  if (!r.present) return;
  PutU32(b, r.length.value_or(r.body.size() + 4));
  Append(b, r.body);
}
Rec Whole(const Bytes& body) { return Rec{body, {}, true}; }
// A record whose body is a record holding `innerBody`.
Rec Inner(const Bytes& innerBody) {
  Bytes outer;
  PutRec(outer, Whole(innerBody));
  return Whole(outer);
}
// Second, minute, hour, day, month as bytes from `at`, then the year in `yearBytes` bytes.
void SetTime(Bytes& b, size_t at, const DateTime& t, int64_t year, int yearBytes) {
  int fields[] = {t.second, t.minute, t.hour, t.day, t.month};
  for (int i = 0; i < 5; ++i) b[at + i] = static_cast<uint8_t>(fields[i]);
  SetLE(b, at + 5, static_cast<uint64_t>(year), yearBytes);
}
Bytes Continuation(uint8_t type, uint8_t index) {
  Bytes r(32, 0);
  r[0] = type;
  r[1] = index;
  return r;
}
}  // namespace

void SetCalibration(Bytes& b, size_t at, const Calibration& c) {
  b.at(at + 4) = c.valid ? 1 : 0;
  int32_t values[] = {c.zero, c.plus, c.minus, c.referenceMicrovolts};
  for (int i = 0; i < 4; ++i) SetLE(b, at + 8 + 4 * i, static_cast<uint32_t>(values[i]));
}

Bytes AssembleDataInfo(const DataInfoParts& p) {
  Bytes setup = {0, 0, 0, p.setupRevision};
  for (const Rec& r : p.setup) PutRec(setup, r);
  Bytes info(4, 0);  // the information length, set below
  PutRec(info, {setup, p.setupLength, true});
  for (const Rec& r : p.recorder) PutRec(info, r);
  PutRec(info, p.calibration);
  SetLE(info, 0, p.infoLength.value_or(info.size()));
  return info;
}

Bytes AssembleFile(const std::vector<Chunk>& chunks) {
  const char signature[] = "TALVERO DATA   ";
  Bytes file(signature, signature + sizeof signature);
  for (const Chunk& c : chunks) {
    std::string tag = (c.tag + "    ").substr(0, 4);
    file.insert(file.end(), tag.begin(), tag.end());
    PutU32(file, c.size.value_or(c.payload.size()));
    Append(file, c.payload);
  }
  return file;
}

Bytes HeadRecord(uint8_t type, uint8_t continuations, uint64_t t) {
  Bytes r = Continuation(type, static_cast<uint8_t>(0x80 | (continuations & 0x7F)));
  SetLE(r, 2, t, 6);
  return r;
}

CaptureBuilder& CaptureBuilder::Frame(const FrameSpec& f) {
  auto n = static_cast<uint8_t>(f.data.size());
  uint8_t conts = f.data.size() > 36 ? 2 : f.data.size() > 8 ? 1 : 0;
  auto type = static_cast<uint8_t>((f.line == 2 ? 0x10 : 0x00) | (f.typeNibble & 0x0F));
  Bytes head = HeadRecord(type, f.continuationCount.value_or(conts), f.timestamp);
  head[10] = f.format;
  head[11] = f.trigger ? 0x80 : 0;
  head[12] = f.storedCount.value_or(n);
  head[13] = f.status;
  head[14] = f.fdFlags;
  head[15] = f.dlc;
  SetLE(head, 16, f.id);
  SetLE(head, 20, f.fc);
  Bytes data = f.data;
  data.resize(64);  // 8 bytes in the head, 28 in each continuation
  std::copy_n(data.begin(), 8, head.begin() + 24);
  records_.push_back(head);
  for (uint8_t c = 1; c <= conts; ++c) {
    records_.push_back(Continuation(type, c));
    std::copy_n(data.begin() + 8 + 28 * (c - 1), 28, records_.back().begin() + 4);
  }
  return *this;
}

CaptureBuilder& CaptureBuilder::Fix(const FixSpec& f) {
  Bytes r = HeadRecord(static_cast<uint8_t>(0x20 | (f.typeNibble & 0x0F)), 0, f.timestamp);
  r[8] = f.satellites;
  SetTime(r, 9, f.utc, f.utc.year - 1900, 1);
  r[15] = f.quality;
  SetLE(r, 16, static_cast<uint32_t>(f.latitude));
  SetLE(r, 20, static_cast<uint32_t>(f.longitude));
  SetLE(r, 24, static_cast<uint32_t>(f.altitudeMm), 3);
  SetLE(r, 28, f.errorCm, 2);
  records_.push_back(r);
  return *this;
}

CaptureBuilder& CaptureBuilder::Analog(const AnalogSpec& a) {
  Bytes head = HeadRecord(a.type, a.eightChannels ? 1 : 0, a.timestamp);
  SetLE(head, 10, static_cast<uint16_t>(a.referenceTemp), 2);
  Bytes cont = Continuation(a.type, 1);
  for (int i = 0; i < 4; ++i) SetLE(head, 16 + 4 * i, a.words[i]);
  for (int i = 0; i < 4; ++i) SetLE(cont, 4 + 4 * i, a.words[4 + i]);
  records_.push_back(head);
  if (a.eightChannels) records_.push_back(cont);
  return *this;
}

CaptureBuilder& CaptureBuilder::Marker(uint8_t type, uint64_t timestamp) {
  return Raw(HeadRecord(type, 0, timestamp));
}

CaptureBuilder& CaptureBuilder::Raw(const Bytes& record32) {
  if (record32.size() != 32) throw std::invalid_argument("a record is 32 bytes");
  records_.push_back(record32);
  return *this;
}

DataInfoParts CaptureBuilder::Parts() const {
  Bytes port(8, 0), canSetup(92, 0), identity(84, 0), cal(4 + 40 * calibration.size(), 0);
  port[6] = analogPort;
  canSetup[3] = 2;
  for (size_t i = 0, at = 4; i < 2; ++i, at += 44) {
    SetLE(canSetup, at, 44);
    SetLE(canSetup, at + 4, can[i].nominalBitRate);
    SetLE(canSetup, at + 8, can[i].dataBitRate);
    SetLE(canSetup, at + 12, can[i].nominalSamplePoint, 2);
    SetLE(canSetup, at + 14, can[i].dataSamplePoint, 2);
    canSetup[at + 16] = can[i].nonIso ? 1 : 0;
  }
  Bytes analog = analogSetup;
  if (analog.empty() && analogPort >= 1 && analogPort <= 3)
    analog.assign(analogPort == 3 ? 68 : 36, 0);
  DataInfoParts p;
  // Kind, port, CAN set-up, four bytes for recording kind 4, reserved, revision, analog set-up.
  p.setup = {Whole({recordingKind, formatCode, 0, 0}),
             Whole(port),
             Inner(canSetup),
             Inner(recordingKind == 4 ? Bytes{kindExtra, 0, 0, 0} : Bytes{}),
             Whole({}),
             Inner(Bytes(8, 0)),
             Inner(analog)};
  SetTime(identity, 1, start, start.year, 2);
  SetTime(identity, 9, stop, stop.year, 2);
  SetLE(identity, 20, model);
  SetLE(identity, 24, board);
  std::copy_n(serial.begin(), std::min<size_t>(serial.size(), 16), identity.begin() + 28);
  SetLE(identity, 44, firmware);
  SetLE(identity, 52, static_cast<uint64_t>(timeBaseSeconds), 8);
  SetLE(identity, 60, static_cast<uint64_t>(timeBaseNanoseconds), 8);
  p.recorder = {Whole(Bytes(68, 0)), Whole(identity), Whole(Bytes(8, 0)), Whole(Bytes(4, 0)),
                Whole(Bytes(4, 0))};
  SetLE(cal, 0, calibration.size());
  for (size_t i = 0; i < calibration.size(); ++i) SetCalibration(cal, 4 + 40 * i, calibration[i]);
  p.calibration = Whole(cal);
  return p;
}

std::vector<Chunk> CaptureBuilder::Chunks(const DataInfoParts& parts) const {
  Bytes recs, info, samples;
  for (const Bytes& r : records_) Append(recs, r);
  std::vector<Chunk> chunks = {{"DINF", AssembleDataInfo(parts), {}}, {"MDAC", recs, {}}};
  if (!waveInfo) return chunks;
  PutU32(info, static_cast<uint32_t>(waveInfo->size() + 4));
  Append(info, *waveInfo);
  for (uint32_t s : waveSamples) PutU32(samples, s);
  chunks.push_back({"AWDI", info, {}});
  chunks.push_back({"AWDT", samples, {}});
  return chunks;
}

Bytes CaptureBuilder::WaveInfoBytes(uint8_t present, uint8_t range1, uint8_t range2,
                                    uint8_t interval, uint8_t preTriggerMode,
                                    int32_t preTriggerCount, const Calibration& ai1,
                                    const Calibration& ai2) {
  Bytes b(132, 0);
  b[4] = present;
  b[6] = range1;
  b[7] = range2;
  b[9] = interval;
  b[14] = preTriggerMode;
  SetLE(b, 40, static_cast<uint32_t>(preTriggerCount));
  SetCalibration(b, 44, ai1);
  SetCalibration(b, 84, ai2);
  return b;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace dtconv::test
