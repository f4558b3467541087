#include "capture_builder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace dtconv::test {

void PutU8(Bytes& b, uint8_t v) { b.push_back(v); }
void PutU16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutI64(Bytes& b, int64_t v) {
  auto u = static_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(u >> (8 * i)));
}
void PutZeros(Bytes& b, size_t n) { b.insert(b.end(), n, 0); }

Bytes Counting(size_t n, uint8_t first) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
  return b;
}

void PutRec(Bytes& b, const Rec& r) {
  if (!r.present) return;
  PutU32(b, r.length.value_or(static_cast<uint32_t>(r.body.size() + 4)));
  b.insert(b.end(), r.body.begin(), r.body.end());
}

namespace {
Rec Inner(const Bytes& innerBody) {
  Rec inner{innerBody, {}, true};
  Bytes outer;
  PutRec(outer, inner);
  return Rec{outer, {}, true};
}
void SetU32(Bytes& b, size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

Bytes CalibrationBytes(const Calibration& c) {
  Bytes e(40, 0);
  e[4] = c.valid ? 1 : 0;
  SetU32(e, 8, static_cast<uint32_t>(c.zero));
  SetU32(e, 12, static_cast<uint32_t>(c.plus));
  SetU32(e, 16, static_cast<uint32_t>(c.minus));
  SetU32(e, 20, static_cast<uint32_t>(c.referenceMicrovolts));
  return e;
}

Bytes AssembleDataInfo(const DataInfoParts& p) {
  Bytes setup;
  PutZeros(setup, 3);
  PutU8(setup, p.setupRevision);
  for (const Rec& r : p.setup) PutRec(setup, r);
  Bytes info;
  PutU32(info, 0);  // information length, set below
  PutU32(info, p.setupLength.value_or(static_cast<uint32_t>(setup.size() + 4)));
  info.insert(info.end(), setup.begin(), setup.end());
  for (const Rec& r : p.recorder) PutRec(info, r);
  PutRec(info, p.calibration);
  info.insert(info.end(), p.trailing.begin(), p.trailing.end());
  SetU32(info, 0, p.infoLength.value_or(static_cast<uint32_t>(info.size())));
  return info;
}

Bytes AssembleFile(const std::vector<Chunk>& chunks) {
  Bytes file = {'T', 'A', 'L', 'V', 'E', 'R', 'O', ' ', 'D', 'A', 'T', 'A', ' ', ' ', ' ', 0};
  for (const Chunk& c : chunks) {
    for (size_t i = 0; i < 4; ++i) file.push_back(i < c.tag.size() ? c.tag[i] : ' ');
    PutU32(file, c.size.value_or(static_cast<uint32_t>(c.payload.size())));
    file.insert(file.end(), c.payload.begin(), c.payload.end());
  }
  return file;
}

Bytes HeadRecord(uint8_t type, uint8_t continuations, uint64_t t) {
  Bytes r(32, 0);
  r[0] = type;
  r[1] = static_cast<uint8_t>(0x80 | (continuations & 0x7F));
  r[2] = static_cast<uint8_t>(t & 0xFF);
  r[3] = static_cast<uint8_t>((t >> 8) & 0xFF);
  SetU32(r, 4, static_cast<uint32_t>(t >> 16));
  return r;
}

CaptureBuilder& CaptureBuilder::Frame(const FrameSpec& f) {
  size_t n = f.data.size();
  uint8_t conts = n > 36 ? 2 : n > 8 ? 1 : 0;
  uint8_t type = static_cast<uint8_t>((f.line == 2 ? 0x10 : 0x00) | (f.typeNibble & 0x0F));
  Bytes head = HeadRecord(type, f.continuationCount.value_or(conts), f.timestamp);
  head[10] = f.format;
  head[11] = f.trigger ? 0x80 : 0;
  head[12] = f.storedCount.value_or(static_cast<uint8_t>(n));
  head[13] = f.status;
  head[14] = f.fdFlags;
  head[15] = f.dlc;
  SetU32(head, 16, f.id);
  SetU32(head, 20, f.fc);
  for (size_t i = 0; i < 8 && i < n; ++i) head[24 + i] = f.data[i];
  records_.push_back(head);
  for (uint8_t c = 1; c <= conts; ++c) {
    Bytes r(32, 0);
    r[0] = type;
    r[1] = c;
    size_t from = c == 1 ? 8 : 36;
    for (size_t i = 0; i < 28 && from + i < n; ++i) r[4 + i] = f.data[from + i];
    records_.push_back(r);
  }
  return *this;
}

CaptureBuilder& CaptureBuilder::Fix(const FixSpec& f) {
  Bytes r = HeadRecord(static_cast<uint8_t>(0x20 | (f.typeNibble & 0x0F)), 0, f.timestamp);
  r[8] = f.satellites;
  r[9] = static_cast<uint8_t>(f.utc.second);
  r[10] = static_cast<uint8_t>(f.utc.minute);
  r[11] = static_cast<uint8_t>(f.utc.hour);
  r[12] = static_cast<uint8_t>(f.utc.day);
  r[13] = static_cast<uint8_t>(f.utc.month);
  r[14] = static_cast<uint8_t>(f.utc.year - 1900);
  r[15] = f.quality;
  SetU32(r, 16, static_cast<uint32_t>(f.latitude));
  SetU32(r, 20, static_cast<uint32_t>(f.longitude));
  auto alt = static_cast<uint32_t>(f.altitudeMm);
  r[24] = static_cast<uint8_t>(alt);
  r[25] = static_cast<uint8_t>(alt >> 8);
  r[26] = static_cast<uint8_t>(alt >> 16);
  r[28] = static_cast<uint8_t>(f.errorCm);
  r[29] = static_cast<uint8_t>(f.errorCm >> 8);
  records_.push_back(r);
  return *this;
}

CaptureBuilder& CaptureBuilder::Analog(const AnalogSpec& a) {
  Bytes head = HeadRecord(a.type, a.eightChannels ? 1 : 0, a.timestamp);
  head[10] = static_cast<uint8_t>(a.referenceTemp);
  head[11] = static_cast<uint8_t>(static_cast<uint16_t>(a.referenceTemp) >> 8);
  for (int i = 0; i < 4; ++i) SetU32(head, 16 + 4 * i, a.words[i]);
  records_.push_back(head);
  if (a.eightChannels) {
    Bytes r(32, 0);
    r[0] = a.type;
    r[1] = 1;
    for (int i = 0; i < 4; ++i) SetU32(r, 4 + 4 * i, a.words[4 + i]);
    records_.push_back(r);
  }
  return *this;
}

CaptureBuilder& CaptureBuilder::Marker(uint8_t type, uint64_t timestamp) {
  records_.push_back(HeadRecord(type, 0, timestamp));
  return *this;
}

CaptureBuilder& CaptureBuilder::Raw(const Bytes& record32) {
  if (record32.size() != 32) throw std::invalid_argument("a record is 32 bytes");
  records_.push_back(record32);
  return *this;
}

DataInfoParts CaptureBuilder::Parts() const {
  DataInfoParts p;
  // 1. kind record
  p.setup.push_back(Rec{{recordingKind, formatCode, 0, 0}, {}, true});
  // 2. port record
  Bytes port(8, 0);
  port[6] = analogPort;
  p.setup.push_back(Rec{port, {}, true});
  // 3. CAN set-up
  Bytes can;
  PutZeros(can, 3);
  PutU8(can, 2);
  for (const CanLineSetup& c : this->can) {
    PutU32(can, 44);
    PutU32(can, c.nominalBitRate);
    PutU32(can, c.dataBitRate);
    PutU16(can, c.nominalSamplePoint);
    PutU16(can, c.dataSamplePoint);
    PutU8(can, c.nonIso ? 1 : 0);
    PutZeros(can, 27);
  }
  p.setup.push_back(Inner(can));
  // 4. kind record: four stored bytes for recording kind 4
  p.setup.push_back(Inner(recordingKind == 4 ? Bytes{kindExtra, 0, 0, 0} : Bytes{}));
  // 5. reserved
  p.setup.push_back(Rec{{}, {}, true});
  // 6. revision
  p.setup.push_back(Inner(Bytes(8, 0)));
  // 7. analog set-up
  Bytes analog = analogSetup;
  size_t capacity = analogPort == 3 ? 68 : 36;
  if (analog.empty() && analogPort >= 1 && analogPort <= 3) analog.assign(capacity, 0);
  p.setup.push_back(Inner(analog));

  Bytes identity(84, 0);
  auto putTime = [&](size_t off, const DateTime& t) {
    identity[off + 0] = static_cast<uint8_t>(t.second);
    identity[off + 1] = static_cast<uint8_t>(t.minute);
    identity[off + 2] = static_cast<uint8_t>(t.hour);
    identity[off + 3] = static_cast<uint8_t>(t.day);
    identity[off + 4] = static_cast<uint8_t>(t.month);
    identity[off + 5] = static_cast<uint8_t>(t.year);
    identity[off + 6] = static_cast<uint8_t>(t.year >> 8);
  };
  putTime(1, start);
  putTime(9, stop);
  SetU32(identity, 20, model);
  SetU32(identity, 24, board);
  std::memcpy(identity.data() + 28, serial.data(), std::min<size_t>(serial.size(), 16));
  SetU32(identity, 44, firmware);
  Bytes tb;
  PutI64(tb, timeBaseSeconds);
  PutI64(tb, timeBaseNanoseconds);
  std::copy(tb.begin(), tb.end(), identity.begin() + 52);

  p.recorder.push_back(Rec{Bytes(68, 0), {}, true});
  p.recorder.push_back(Rec{identity, {}, true});
  p.recorder.push_back(Rec{Bytes(8, 0), {}, true});
  Bytes r4;
  PutU32(r4, 0);
  p.recorder.push_back(Rec{r4, {}, true});
  Bytes r5;
  PutU32(r5, 0);
  p.recorder.push_back(Rec{r5, {}, true});

  Bytes cal;
  PutU32(cal, static_cast<uint32_t>(calibration.size()));
  for (const Calibration& c : calibration) {
    Bytes e = CalibrationBytes(c);
    cal.insert(cal.end(), e.begin(), e.end());
  }
  p.calibration = Rec{cal, {}, true};
  return p;
}

std::vector<Chunk> CaptureBuilder::Chunks(const DataInfoParts& parts) const {
  std::vector<Chunk> chunks;
  chunks.push_back(Chunk{"DINF", AssembleDataInfo(parts), {}});
  Bytes recs;
  for (const Bytes& r : records_) recs.insert(recs.end(), r.begin(), r.end());
  chunks.push_back(Chunk{"MDAC", recs, {}});
  if (waveInfo) {
    Bytes info;
    PutU32(info, static_cast<uint32_t>(waveInfo->size() + 4));
    info.insert(info.end(), waveInfo->begin(), waveInfo->end());
    chunks.push_back(Chunk{"AWDI", info, {}});
    Bytes samples;
    for (uint32_t s : waveSamples) PutU32(samples, s);
    chunks.push_back(Chunk{"AWDT", samples, {}});
  }
  return chunks;
}

std::vector<Chunk> CaptureBuilder::Chunks() const { return Chunks(Parts()); }

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
  SetU32(b, 40, static_cast<uint32_t>(preTriggerCount));
  Bytes c1 = CalibrationBytes(ai1), c2 = CalibrationBytes(ai2);
  std::copy(c1.begin(), c1.end(), b.begin() + 44);
  std::copy(c2.begin(), c2.end(), b.begin() + 84);
  return b;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

void CaptureBuilder::WriteTo(const std::filesystem::path& path) const { WriteFile(path, Build()); }

}  // namespace dtconv::test
