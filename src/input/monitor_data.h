// The in-memory form of one loaded capture file (*.DT), and its loader.
//
// File layout: a 16-byte signature, then tagged chunks (4-byte tag, u32 payload size, payload).
// "DINF" holds the information structure, "MDAC"/"MOND" the 32-byte records, "AWDI" the wave
// information and "AWDT" the 4-byte wave samples. Every integer is little-endian and unaligned.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "input/bytes.h"
#include "input/monitor_record.h"
#include "platform/platform.h"
#include "platform/result.h"

namespace dtconv {

inline constexpr char kDataSignature[16] = {'T', 'A', 'L', 'V', 'E', 'R', 'O', ' ',
                                            'D', 'A', 'T', 'A', ' ', ' ', ' ', '\0'};
inline constexpr uint32_t kFormatCode = 29;
inline constexpr uint64_t kMaxCaptureSize = 0x40000000;  // 1 GiB
inline constexpr uint64_t kMinCaptureSize = 16;

struct CanChannelSetup {
  uint32_t entrySize;
  uint32_t nominalBitRate;
  uint32_t dataBitRate;
  uint16_t nominalSamplePoint;
  uint16_t dataSamplePoint;
  uint8_t nonIso;  // 1 = non-ISO CAN FD
};

struct CalibrationEntry {
  bool valid;
  int32_t zero;
  int32_t plus;
  int32_t minus;
  int32_t referenceMicrovolts;
};
CalibrationEntry ReadCalibrationEntry(const uint8_t* entry40);

struct CaptureTime {
  int second, minute, hour, day, month, year;  // year 0 = not recorded
};

// The parsed information structure. Each record keeps the stored bytes after its length word, up
// to the record's capacity; fields not stored keep their defaults.
struct DataInfo {
  uint8_t setupRevision = 0;
  bool hasKindRecord = false;
  uint8_t analogPort = 0;
  RecordBytes<4> kind;          // byte 0 recording kind, byte 1 format code
  RecordBytes<8> port;          // byte 6 analog port
  RecordBytes<92> canSetup;     // inner record: two 44-byte channel entries at 4 and 48
  RecordBytes<4> kindExtra;     // recording kind 4 only
  RecordBytes<8> revision;      // with setup revision 0x2B only
  RecordBytes<68> analogSetup;  // inner record, layout by analog port
  RecordBytes<68> legacyIdentity;
  RecordBytes<84> identity;
  RecordBytes<8> recorder3;
  uint32_t recorder4Count = 0;  // entries retained (at most 4)
  RecordBytes<64> recorder4;
  uint32_t recorder5Count = 0;  // entries retained (at most 4)
  RecordBytes<48> recorder5;
  uint32_t calibrationCount = 0;  // entries retained (at most 8)
  RecordBytes<320> calibration;

  CanChannelSetup CanChannel(int line) const;       // line 1 or 2
  CalibrationEntry Calibration(int channel) const;  // channel 0..7; absent entries read as zero
  uint32_t ModelCode() const { return identity.U32(20); }
  uint32_t BoardCode() const { return identity.U32(24); }
  uint32_t FirmwareVersion() const { return identity.U32(44); }
  const uint8_t* Serial() const { return identity.b + 28; }  // 16 bytes
  int64_t TimeBaseSeconds() const { return identity.I64(52); }
  int64_t TimeBaseNanoseconds() const { return identity.I64(60); }
  CaptureTime StartTime() const;
  CaptureTime StopTime() const;
};

// Wave information ("AWDI"): stored bytes after the length word, up to 132.
struct WaveInfo {
  bool filled = false;
  RecordBytes<132> bytes;

  uint8_t Present() const { return bytes.U8(4); }
  uint8_t RangeCode(int channel) const { return bytes.U8(6 + channel); }  // channel 0 AI1, 1 AI2
  uint8_t IntervalCode() const { return bytes.U8(9); }
  uint8_t PreTriggerMode() const { return bytes.U8(14); }
  int32_t PreTriggerCount() const { return bytes.I32(40); }
  CalibrationEntry Calibration(int channel) const {
    return ReadCalibrationEntry(bytes.b + 44 + 40 * channel);
  }
};

// One loaded capture. Records and samples point into the file image, which the object owns: the
// file mapped into memory, or read into a buffer where it cannot be mapped.
struct MonitorData {
  int32_t recordingKind = 0;
  int32_t formatCode = 0;  // 29 once a DataInfo was accepted
  DataInfo info;
  WaveInfo wave;
  uint32_t recordCount = 0;
  uint32_t sampleCount = 0;
  const MonitorRecord* records = nullptr;
  const uint8_t* samples = nullptr;  // 4-byte little-endian words
  platform::FileImage image;

  uint32_t Sample(uint32_t i) const { return LoadU32(samples + 4 * static_cast<size_t>(i)); }
  // A walk over every record from the first. It gives the pages of a mapped image back to the
  // system as it passes them, so a conversion keeps little of a large capture resident.
  RecordCursor Walk() const {
    RecordCursor cursor{0, recordCount, records};
    cursor.image = &image;
    return cursor;
  }
};

// Reads and validates the file at `path` into `data`, replacing whatever it held. The file is
// mapped into memory, not copied, where the system allows it. Returns 0, or a result code:
// 0x80070000 + system error when the file cannot be opened or read, 0x8007000D when its size,
// signature or information structure is invalid, 0x8007000E when no memory is left for the image.
// On failure `data` holds no records. A file without "DINF" loads with formatCode 0.
Result LoadMonitorData(const std::filesystem::path& path, MonitorData& data);

// The same rules over a file image already in memory (the loader's own core; also used by tests
// and fuzzing). Takes ownership of the image.
Result ParseMonitorData(std::unique_ptr<uint8_t[]> image, uint64_t size, MonitorData& data);

// Frees the file image and clears counts and pointers.
void ReleaseMonitorData(MonitorData& data);

}  // namespace dtconv
