#include "input/monitor_data.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace dtconv {

namespace {

// A window on the bytes of one enclosing record or chunk.
struct Span {
  const uint8_t* p = nullptr;
  size_t size = 0;
};

enum class Parse { kOk, kAbsent, kBad };

// Reads the length-prefixed record that starts at `*pos` inside `outer`. The length word counts
// the whole record, itself included, so it must be at least 4 and must not run past the bytes
// the enclosing record has left. Fewer than 4 bytes left means the record (and every one after
// it) is absent.
Parse NextRecordIn(Span outer, size_t* pos, Span* body) {
  size_t left = outer.size - *pos;
  if (left < 4) return Parse::kAbsent;
  uint32_t length = LoadU32(outer.p + *pos);
  if (length < 4 || length > left) return Parse::kBad;
  body->p = outer.p + *pos + 4;
  body->size = length - 4;
  *pos += length;
  return Parse::kOk;
}

// Copies the stored bytes of a record into its fixed store: at most the store's capacity, the
// rest of a longer record is skipped and a shorter one keeps the defaults.
template <size_t N>
void CopyInto(Span body, RecordBytes<N>& store, size_t capacity = N) {
  std::memcpy(store.b, body.p, std::min(body.size, std::min(capacity, N)));
}

// An inner record inside the body of an outer one (CAN set-up, kind record, revision record,
// analog set-up). Absent when the outer body has no room for a length word.
template <size_t N>
Parse InnerRecord(Span outer, RecordBytes<N>& store, size_t capacity = N) {
  size_t pos = 0;
  Span body;
  Parse r = NextRecordIn(outer, &pos, &body);
  if (r == Parse::kOk) CopyInto(body, store, capacity);
  return r;
}

// A counted table: a u32 entry count, then that many fixed-size entries, all inside the record.
// Keeps at most `keep` entries. A record too short for the count word has no entries.
template <size_t N>
bool CountedTable(Span body, size_t entrySize, uint32_t keep, RecordBytes<N>& store,
                  uint32_t* retained) {
  *retained = 0;
  if (body.size < 4) return true;
  uint64_t n = LoadU32(body.p);
  // 64-bit product: a huge count must not wrap around and pass the check.
  if (n * entrySize > body.size - 4) return false;
  *retained = static_cast<uint32_t>(std::min<uint64_t>(n, keep));
  std::memcpy(store.b, body.p + 4, *retained * entrySize);
  return true;
}

void SetCanDefaults(RecordBytes<92>& can) {
  can.SetU8(3, 2);
  for (size_t base : {size_t{4}, size_t{48}}) {
    can.SetU32(base + 0, 44);
    can.SetU32(base + 4, 125000);
    can.SetU32(base + 8, 2000000);
    can.SetU16(base + 12, 75);
    can.SetU16(base + 14, 75);
  }
}

void SetAnalogDefaults(uint8_t port, RecordBytes<68>& a) {
  if (port == 1) {
    a.SetU8(5, 4);
    a.SetU16(8, 10);
    a.SetU8(10, 1);
  } else if (port == 2) {
    for (int ch = 0; ch < 8; ++ch) a.SetU8(4 + 4 * ch, 1);
  } else if (port == 3) {
    a.SetU8(0, 8);
    a.SetU8(1, 9);
    for (int ch = 0; ch < 8; ++ch) {
      a.SetU8(4 + 8 * ch, 1);
      a.SetU8(9 + 8 * ch, 1);
      a.SetU8(10 + 8 * ch, 1);
    }
  }
}

size_t AnalogCapacity(uint8_t port) { return port == 1 || port == 2 ? 36 : port == 3 ? 68 : 0; }

bool ParseSetupBlock(Span setup, DataInfo& info, int32_t* recordingKind) {
  info.setupRevision = setup.p[7];
  size_t pos = 8;
  Span body;

  // 1. Kind record: recording kind and format code decide everything that follows.
  Parse r = NextRecordIn(setup, &pos, &body);
  if (r != Parse::kOk) return false;
  CopyInto(body, info.kind);
  info.hasKindRecord = true;
  uint8_t kind = info.kind.U8(0);
  if (info.kind.U8(1) != kFormatCode || (kind != 0 && kind != 4 && kind != 16)) return false;
  *recordingKind = kind;

  // 2. Port record.
  r = NextRecordIn(setup, &pos, &body);
  if (r == Parse::kBad) return false;
  if (r == Parse::kAbsent) return true;
  CopyInto(body, info.port);
  info.analogPort = info.port.U8(6);
  // Older files store a shorter (or no) analog set-up; the fields they lack keep these defaults.
  SetAnalogDefaults(info.analogPort, info.analogSetup);

  // 3. CAN set-up: an outer record holding the inner one.
  r = NextRecordIn(setup, &pos, &body);
  if (r == Parse::kBad) return false;
  if (r == Parse::kAbsent) return true;
  if (InnerRecord(body, info.canSetup) == Parse::kBad) return false;

  // 4. Kind-specific record: four stored bytes for recording kind 4, none otherwise.
  r = NextRecordIn(setup, &pos, &body);
  if (r == Parse::kBad) return false;
  if (r == Parse::kAbsent) return true;
  if (InnerRecord(body, info.kindExtra, kind == 4 ? 4 : 0) == Parse::kBad) return false;

  // 5. Reserved record: a length word only.
  r = NextRecordIn(setup, &pos, &body);
  if (r == Parse::kBad) return false;
  if (r == Parse::kAbsent) return true;

  // 6. Revision record, which only set-up revision 0x2B carries.
  r = NextRecordIn(setup, &pos, &body);
  if (r == Parse::kBad) return false;
  if (r == Parse::kAbsent) return true;
  if (info.setupRevision != 0x2B) return false;
  if (InnerRecord(body, info.revision) == Parse::kBad) return false;

  // 7. Analog set-up, laid out by the analog port.
  r = NextRecordIn(setup, &pos, &body);
  if (r == Parse::kBad) return false;
  if (r == Parse::kAbsent) return true;
  size_t capacity = AnalogCapacity(info.analogPort);
  if (capacity == 0) return true;
  return InnerRecord(body, info.analogSetup, capacity) != Parse::kBad;
}

bool ParseDataInfo(Span chunk, DataInfo& info, int32_t* recordingKind) {
  if (chunk.size < 4) return false;
  uint32_t infoLength = LoadU32(chunk.p);
  if (infoLength < 4 || infoLength > chunk.size) return false;
  Span all{chunk.p, infoLength};
  size_t pos = 4;
  Span body;

  SetCanDefaults(info.canSetup);
  // The set-up block is a record of at least 8 bytes: its revision byte sits at offset 7.
  if (pos + 4 > all.size) return false;
  uint32_t setupLength = LoadU32(all.p + pos);
  if (setupLength < 8 || setupLength > all.size - pos) return false;
  Span setup{all.p + pos, setupLength};
  pos += setupLength;
  if (!ParseSetupBlock(setup, info, recordingKind)) return false;

  // Recorder records and the calibration table: all of them must be there.
  if (NextRecordIn(all, &pos, &body) != Parse::kOk) return false;
  CopyInto(body, info.legacyIdentity);
  if (NextRecordIn(all, &pos, &body) != Parse::kOk) return false;
  CopyInto(body, info.identity);
  if (NextRecordIn(all, &pos, &body) != Parse::kOk) return false;
  CopyInto(body, info.recorder3);
  if (NextRecordIn(all, &pos, &body) != Parse::kOk) return false;
  if (!CountedTable(body, 16, 4, info.recorder4, &info.recorder4Count)) return false;
  if (NextRecordIn(all, &pos, &body) != Parse::kOk) return false;
  if (!CountedTable(body, 12, 4, info.recorder5, &info.recorder5Count)) return false;
  if (NextRecordIn(all, &pos, &body) != Parse::kOk) return false;
  return CountedTable(body, 40, 8, info.calibration, &info.calibrationCount);
}

void ParseWaveInfo(Span chunk, WaveInfo& wave) {
  // A malformed wave information record leaves the wave unfilled: the capture still loads and
  // simply has no waveform to convert.
  if (chunk.size < 4) return;
  uint32_t length = LoadU32(chunk.p);
  if (length < 4 || length > chunk.size) return;
  std::memcpy(wave.bytes.b, chunk.p + 4, std::min<size_t>(length - 4, 132));
  wave.filled = true;
}

bool TagIs(const uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

}  // namespace

CalibrationEntry ReadCalibrationEntry(const uint8_t* e) {
  return {e[4] != 0, LoadI32(e + 8), LoadI32(e + 12), LoadI32(e + 16), LoadI32(e + 20)};
}

CanChannelSetup DataInfo::CanChannel(int line) const {
  size_t base = line == 2 ? 48 : 4;
  return {canSetup.U32(base),      canSetup.U32(base + 4),  canSetup.U32(base + 8),
          canSetup.U16(base + 12), canSetup.U16(base + 14), canSetup.U8(base + 16)};
}

CalibrationEntry DataInfo::Calibration(int channel) const {
  if (channel < 0 || static_cast<uint32_t>(channel) >= calibrationCount) {
    return {false, 0, 0, 0, 0};
  }
  return ReadCalibrationEntry(calibration.b + 40 * channel);
}

CaptureTime DataInfo::StartTime() const {
  return {identity.U8(1), identity.U8(2), identity.U8(3),
          identity.U8(4), identity.U8(5), identity.U16(6)};
}

CaptureTime DataInfo::StopTime() const {
  return {identity.U8(9),  identity.U8(10), identity.U8(11),
          identity.U8(12), identity.U8(13), identity.U16(14)};
}

void ReleaseMonitorData(MonitorData& data) {
  data.image.Reset();
  data.recordCount = 0;
  data.sampleCount = 0;
  data.records = nullptr;
  data.samples = nullptr;
}

namespace {

Result ParseImage(platform::FileImage image, MonitorData& data) {
  ReleaseMonitorData(data);
  data = MonitorData{};
  uint64_t size = image.size();
  if (size < kMinCaptureSize || size > kMaxCaptureSize) return kResultInvalidData;
  const uint8_t* p = image.data();
  if (std::memcmp(p, kDataSignature, sizeof kDataSignature) != 0) return kResultInvalidData;

  bool infoAccepted = false;
  bool waveInfoSeen = false;
  size_t pos = 16;
  while (size - pos >= 8) {
    const uint8_t* head = p + pos;
    uint32_t chunkSize = LoadU32(head + 4);
    // A chunk that claims more than the file holds ends the walk; what came before stays.
    if (chunkSize > size - pos - 8) break;
    Span chunk{head + 8, chunkSize};
    if (TagIs(head, "DINF")) {
      if (!infoAccepted) {
        DataInfo info;
        int32_t kind = 0;
        if (!ParseDataInfo(chunk, info, &kind)) {
          ReleaseMonitorData(data);
          return kResultInvalidData;
        }
        data.info = info;
        data.recordingKind = kind;
        data.formatCode = kFormatCode;
        infoAccepted = true;
      }
    } else if (TagIs(head, "MDAC") || TagIs(head, "MOND")) {
      if (infoAccepted) {
        data.recordCount = chunkSize / 32;
        data.records = data.recordCount ? reinterpret_cast<const MonitorRecord*>(chunk.p) : nullptr;
      }
    } else if (TagIs(head, "AWDI")) {
      if (infoAccepted) {
        data.wave = WaveInfo{};
        ParseWaveInfo(chunk, data.wave);
        waveInfoSeen = true;
      }
    } else if (TagIs(head, "AWDT")) {
      if (waveInfoSeen) {
        data.sampleCount = chunkSize / 4;
        data.samples = data.sampleCount ? chunk.p : nullptr;
      }
    }
    pos += 8 + static_cast<size_t>(chunkSize);
  }
  // Another program cut the file short while it was parsed: what was read is not the file.
  if (image.cut()) {
    ReleaseMonitorData(data);
    data = MonitorData{};
    return kResultInputCut;
  }
  data.image = std::move(image);
  return kResultOk;
}

}  // namespace

Result ParseMonitorData(std::unique_ptr<uint8_t[]> image, uint64_t size, MonitorData& data) {
  platform::FileImage adopted;
  adopted.Adopt(std::move(image), size);
  return ParseImage(std::move(adopted), data);
}

Result LoadMonitorData(const std::filesystem::path& path, MonitorData& data) {
  ReleaseMonitorData(data);
  data = MonitorData{};
  platform::InputFile file;
  if (Result r = file.Open(path); r.failed()) return r;
  uint64_t size = 0;
  if (Result r = file.Size(&size); r.failed()) return r;
  // Checked before anything is allocated or read: a capture is at most 1 GiB.
  if (size < kMinCaptureSize || size > kMaxCaptureSize) return kResultInvalidData;
  platform::FileImage image;
  if (Result r = image.Load(file, size); r.failed()) return r;
  file.Close();
  return ParseImage(std::move(image), data);
}

}  // namespace dtconv
