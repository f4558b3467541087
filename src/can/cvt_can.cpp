#include "can/cvt_can.h"

#include <bit>
#include <cstring>
#include <string>
#include <string_view>

#include "analog/cvt_ana.h"
#include "can/can_frame.h"
#include "can/log_line.h"
#include "gnss/gnss_fix.h"
#include "report/timestamps.h"

namespace dtconv {

namespace {

bool HasData(const CanFrame& f) {
  FrameClass c = f.kind.frameClass;
  return c == FrameClass::Data || c == FrameClass::Remote || c == FrameClass::FdData;
}

// Bytes shown in the DATA field: none for remote frames.
int ShownBytes(const CanFrame& f) { return f.kind.frameClass == FrameClass::Remote ? 0 : f.count; }

// The longest frame line: the fields, a 63-character time column, data and check value.
constexpr size_t kMaxTextFrame = 160;
// The longest CSV frame row before the analog and GNSS cells: the time cells, eight more cells
// with their delimiters, and 64 data bytes.
constexpr size_t kMaxCsvFrame = kMaxTimeCells + 8 * 63 + 3 * 64 + 64;

void StoreU64(char* p, uint64_t v);

// "%02X" of the four bytes of `w` (lowest first) as eight characters, the first in the lowest
// byte of the word.
uint64_t HexDigitsWord(uint32_t w) { return logtext::HexOfFour(w); }

constexpr uint64_t kBlankWord = 0x2020202020202020ull;

// `a` when `cond` holds, else `b`, by mask: the compiler makes branches of most conditional
// expressions, and the frames of a capture take their sides in no predictable order.
inline uint64_t Pick(bool cond, uint64_t a, uint64_t b) {
  uint64_t mask = 0 - static_cast<uint64_t>(cond);
  return (a & mask) | (b & ~mask);
}

// DL: the data length of a CAN FD frame's DLC, the DLC of a classic frame up to 8.
uint32_t DataLength(const CanFrame& f) {
  uint32_t classic = f.dlc > 8 ? 8u : f.dlc;
  return static_cast<uint32_t>(Pick(f.kind.frameClass == FrameClass::FdData,
                                    static_cast<uint32_t>(FdDataLength(f.dlc)), classic));
}

// Masks over a word of eight characters for the text frame line's fixed-width fields, whose
// content varies from frame to frame in no predictable way: each field is one store, chosen by
// table and mask rather than by branches.
struct FieldMasks {
  uint64_t last[9];         // the last n (0-8) characters
  uint64_t dataFirst[17];   // of the 16 data positions, the first n (0-16): the first word
  uint64_t dataSecond[17];  // and the second
  constexpr FieldMasks() : last(), dataFirst(), dataSecond() {
    for (int n = 0; n <= 8; ++n) last[n] = n == 0 ? 0 : ~uint64_t{0} << (8 * (8 - n));
    for (int n = 0; n <= 16; ++n) {
      dataFirst[n] = n >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * n)) - 1;
      dataSecond[n] = n >= 16 ? ~uint64_t{0} : n <= 8 ? 0 : (uint64_t{1} << (8 * (n - 8))) - 1;
    }
  }
};
constexpr FieldMasks kFieldMasks{};

// "%-7s " of TYPE: by frame class (data, remote, error, CAN FD data, other), then by BRS and ESI
// (set only for CAN FD frames).
constexpr char kTypeFields[5][4][9] = {{"DATA    ", "DATA    ", "DATA    ", "DATA    "},
                                       {"REMOTE  ", "REMOTE  ", "REMOTE  ", "REMOTE  "},
                                       {"ERROR   ", "ERROR   ", "ERROR   ", "ERROR   "},
                                       {"FDATA   ", "FDATA*  ", "FDATA!  ", "FDATA*! "},
                                       {"        ", "        ", "        ", "        "}};

// "%2s" of DL by the length plus one: blanks for no length (-1), then " 0" .. "64".
struct DlFields {
  char text[66][2];
  constexpr DlFields() : text() {
    for (int dl = -1; dl <= 64; ++dl) {
      text[dl + 1][0] = dl >= 10 ? static_cast<char>('0' + dl / 10) : ' ';
      text[dl + 1][1] = dl >= 0 ? static_cast<char>('0' + dl % 10) : ' ';
    }
  }
};
constexpr DlFields kDlFields{};

// ST by the recorded status; blank for the statuses without a letter.
struct StatusLetters {
  char letter[256];
  constexpr StatusLetters() : letter() {
    constexpr char kLetters[7] = {'G', 'A', 'F', 'C', 'F', 'E', 'F'};
    for (int s = 0; s < 256; ++s) letter[s] = s <= 6 ? kLetters[s] : ' ';
  }
};
constexpr StatusLetters kStatusLetters{};

// The digits of the identifier: 8 for a 29-bit frame ("%08X"), 3 for an 11-bit one ("%03X"), or
// more when its recorded word needs them, none without an identifier.
int IdDigitsShown(const CanFrame& f) {
  int significant = (35 - std::countl_zero(f.id | 1)) >> 2;
  auto wide = static_cast<uint64_t>(significant > 3 ? significant : 3);
  return static_cast<int>(Pick(f.kind.idBits == 29, 8, Pick(f.kind.idBits == 11, wide, 0)));
}

// "%8s" of the ID field: "%08X" of a 29-bit frame's recorded word, "%03X" of an 11-bit frame's
// (more digits when the word needs them) right-aligned, blanks for frames without an identifier.
uint64_t IdField(const CanFrame& f) {
  uint64_t digits = HexDigitsWord(__builtin_bswap32(f.id));  // "%08X"
  uint64_t keep = kFieldMasks.last[IdDigitsShown(f)];
  return (digits & keep) | (kBlankWord & ~keep);
}

// The eight data positions of a text frame line: "%02X" of each of the first `shown` bytes (all
// eight when more are shown), two blanks for each position after them; 16 characters in two
// stores. The eight bytes are always readable.
void PutDataPositions(char* p, const uint8_t* data, int shown) {
  int keep = shown >= 8 ? 16 : 2 * shown;
#if defined(__GNUC__)
  // All 16 characters in one vector, the positions from `keep` on blanked by a compare.
  using logtext::Vector16;
  uint64_t word;
  std::memcpy(&word, data, 8);
  Vector16 text = logtext::HexOfWord(word);
  constexpr Vector16 kPositions = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  auto kept = reinterpret_cast<Vector16>(kPositions < static_cast<uint8_t>(keep));
  text = (text & kept) | (' ' & ~kept);
  std::memcpy(p, &text, 16);
#else
  uint64_t first = kFieldMasks.dataFirst[keep], second = kFieldMasks.dataSecond[keep];
  StoreU64(p, (HexDigitsWord(LoadU32(data)) & first) | (kBlankWord & ~first));
  StoreU64(p + 8, (HexDigitsWord(LoadU32(data + 4)) & second) | (kBlankWord & ~second));
#endif
}

// "                    %+3d:" of the continuation lines of a CAN FD frame, by offset / 16.
constexpr char kContinuationHeads[4][25] = {"                     +8:", "                    +24:",
                                            "                    +40:", "                    +56:"};

// Ends a line of a batch at `end`: its trailing blanks dropped, as the writer drops them from
// every line, then the line end.
char* EndBatchLine(const char* start, char* end, const LineEnd& eol) {
  while (end > start && end[-1] == ' ') --end;
  return eol.Put(end);
}

// The lines of a text frame at `p`, each ended (kMaxTextFrameLines at most); returns their end.
// The frame line: "%c %s %d %8s %-7s %2s %-2s " with trigger mark, time column, channel, ID,
// TYPE, DL and ST, then eight data positions ("%02X" or two blanks) and the check value. Every
// field after the time column has a fixed width, so the line is laid out by position. Then the
// continuation lines of a CAN FD frame of more than eight bytes.
char* PutTextFrameLines(char* p, CTxtCvtCAN& cv, const MonitorRecord& head, int channel,
                        const CanFrame& f, const LineEnd& eol) {
  char* line = p;
  p[0] = f.trigger ? 'T' : ' ';
  p[1] = ' ';
  p = PutTimeColumn(p + 2, head, cv);
  p[0] = ' ';
  p[1] = static_cast<char>('0' + channel);
  // " %8s %-7s %2s %-2s ": 24 characters, blank where a field is empty.
  std::memset(p + 2, ' ', 24);
  FrameClass c = f.kind.frameClass;
  bool fd = c == FrameClass::FdData;
  if (c != FrameClass::Other) {
    StoreU64(p + 3, IdField(f));
    // TYPE with the blank after it.
    std::memcpy(p + 12, kTypeFields[static_cast<int>(c)][(f.brs ? 1 : 0) + (f.esi ? 2 : 0)], 8);
    // Error frames have no DL: the blank entry.
    uint64_t dlEntry = Pick(c == FrameClass::Error, 0, DataLength(f) + 1);
    std::memcpy(p + 20, kDlFields.text[dlEntry], 2);
    p[23] = kStatusLetters.letter[f.status];
  }
  p += 26;
  if (HasData(f)) {
    PutDataPositions(p, f.data, ShownBytes(f));
    // FC: " %06X" for CAN FD, "   %04X" otherwise; seven characters either way.
    uint64_t fc = HexDigitsWord(__builtin_bswap32(f.fc));  // "%08X"
    uint64_t fdText = ' ' | (fc >> 16) << 8;
    uint64_t classicText = 0x202020 | (fc >> 32) << 24;
    StoreU64(p + 16, Pick(fd, fdText, classicText));
    p += 23;
  }
  p = EndBatchLine(line, p, eol);
  if (f.count <= 8 || !fd) return p;
  // Continuation lines: the head, then up to 16 bytes, a blank before the first and the ninth.
  for (int offset = 8; offset < f.count; offset += 16) {
    int n = f.count - offset < 16 ? f.count - offset : 16;
    std::memcpy(p, kContinuationHeads[offset >> 4], 24);
    const uint8_t* bytes = f.data + offset;
    // The second group is read only where the frame has its bytes.
    const uint8_t* more = n > 8 ? bytes + 8 : bytes;
    p[24] = ' ';
    logtext::PutHexOfEight(p + 25, bytes);
    p[41] = ' ';
    logtext::PutHexOfEight(p + 42, more);
    // A blank and two digits per byte, one more blank before the ninth.
    p = eol.Put(p + 25 + 2 * n + (n > 8 ? 1 : 0));
  }
  return p;
}

// The most a text frame's lines take: the frame line and four continuation lines of up to 64
// characters, each with its line end.
constexpr size_t kMaxTextFrameLines = kMaxTextFrame + 2 + 4 * (64 + 2);
// Frame lines are built a batch at a time in the writer's line.
constexpr size_t kBatchRoom = TextOutput::kMaxAppend;

// The lines of the frames from the one at the cursor (of kind `kind`) on, as many as one batch
// holds and up to the next record that is not a frame; returns the kind of the record after the
// last. Bit n of `keepLines` keeps the frames of line n.
RecordKind WriteTextFrames(CTxtCvtCAN& cv, RecordCursor& cursor, RecordKind kind,
                           unsigned keepLines, CanFrame& frame, const LineEnd& eol,
                           const AcceptRule& rule) {
  TextOutput& out = *cv.output;
  char* start = out.BeginAppend(kBatchRoom);
  char* last = start + kBatchRoom - kMaxTextFrameLines;  // where a further frame's lines fit
  char* p = start;
  do {
    if (((keepLines >> kind) & 1) != 0 && AssembleFrame(cursor, frame)) {
      p = PutTextFrameLines(p, cv, cursor.Current(), kind, frame, eol);
    }
    kind = dtconv::NextRecord(cursor, rule);
  } while ((kind == kKindCh1Frame || kind == kKindCh2Frame) && p <= last);
  if (p != start) {
    // The writer ends the last line.
    out.EndAppend(p - eol.length);
    cv.EndLine();
  }
  return kind;
}

// The analog cells of the latest sample. Every frame row until the next sample repeats them, so
// they are formatted once per sample and copied after that.
void AppendAnalogCells(CTxtCvtCAN& cv) {
  TextOutput& out = *cv.output;
  if (cv.analogCellsValid && cv.fieldOnLine) {
    out.AppendText(cv.analogCells);
    return;
  }
  size_t mark = static_cast<size_t>(out.length());
  bool before = cv.fieldOnLine;
  for (int i = 0; i < cv.analog.channelCount; ++i) {
    FormatAnalogCell(cv, cv.analog, i, cv.analog.raw, cv.analog.referenceTemp);
  }
  // Kept only when it is what every later row gets: after a field, and not cut by the capacity.
  if (before && out.length() < TextOutput::kLineCapacity - 1) {
    cv.analogCells.assign(out.line().substr(mark));
    cv.analogCellsValid = true;
  }
}

// " %02X" of every byte value, as the four bytes of a little-endian word (the fourth is zero).
struct SpacedHexWords {
  uint32_t words[256];
  constexpr SpacedHexWords() : words() {
    constexpr char kDigits[] = "0123456789ABCDEF";
    for (uint32_t v = 0; v < 256; ++v) {
      words[v] = static_cast<uint32_t>(' ') | static_cast<uint32_t>(kDigits[v >> 4]) << 8 |
                 static_cast<uint32_t>(kDigits[v & 15]) << 16;
    }
  }
};
constexpr SpacedHexWords kSpacedHexWords{};

void StoreU64(char* p, uint64_t v) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(p, &v, 8);
  } else {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<char>(v >> (8 * i));
  }
}

// " %02X" of two bytes; eight bytes are written.
char* PutSpacedHexPair(char* p, uint8_t a, uint8_t b) {
  const uint32_t* w = kSpacedHexWords.words;
  StoreU64(p, w[a] | static_cast<uint64_t>(w[b]) << 24);
  return p + 6;
}

// " %02X" of each of `n` bytes, up to 64; the bytes hold at least 8 readable values. Eight
// bytes past the text (and for up to 8 bytes, all of 24 characters) may be written: the usual
// frame of up to 8 bytes takes the same four stores whatever its length, with no branch on it.
char* PutSpacedHexBytes(char* p, const uint8_t* bytes, int n) {
  if (n <= 8) {
    for (int i = 0; i < 8; i += 2) PutSpacedHexPair(p + 3 * i, bytes[i], bytes[i + 1]);
    return p + 3 * n;
  }
  int i = 0;
  for (; i + 2 <= n; i += 2) p = PutSpacedHexPair(p, bytes[i], bytes[i + 1]);
  if (i < n) {
    StoreU64(p, kSpacedHexWords.words[bytes[i]]);
    p += 3;
  }
  return p;
}

// The CSV Type cells, padded to eight bytes for a fixed-size copy.
struct TypeText {
  char text[8];
  int length;
};
// By frame class (data, remote, error), then CAN FD frames by BRS and ESI.
constexpr TypeText kCsvTypes[8] = {{"DATA", 4},  {"REMOTE", 6}, {"ERROR", 5},  {"", 0},
                                   {"FDATA", 5}, {"FDATA*", 6}, {"FDATA!", 6}, {"FDATA*!", 7}};

// The kCsvTypes entry by frame class (data, remote, error, CAN FD data), then by BRS and ESI (set
// only for CAN FD frames).
constexpr int kCsvTypeIndex[4][4] = {{0, 0, 0, 0}, {1, 1, 1, 1}, {2, 2, 2, 2}, {4, 5, 6, 7}};

char* PutPadded(char* p, const TypeText& t) {
  std::memcpy(p, t.text, 8);
  return p + t.length;
}

// One CSV frame row: the time cells, then Ch, ID, Type, DL, St, Data, FC and Trig, each after
// the delimiter `d`, the writer's (the time cells always put a field on the line).
template <typename Delimiter>
void WriteCsvFrameWith(CTxtCvtCAN& cv, const MonitorRecord& head, int channel, const CanFrame& f,
                       const Delimiter& d) {
  TextOutput& out = *cv.output;
  char* p = out.BeginAppend(kMaxCsvFrame);
  p = PutTimeCells(p, head, cv, cv.relTimeStamp, cv.diffTimeStamp, d);
  p = d.Put(p);
  *p++ = channel == 1 ? '1' : '2';
  p = d.Put(p);
  FrameClass c = f.kind.frameClass;
  if (c == FrameClass::Other) {
    // No field of an unknown frame format is shown: ID, Type, DL and St stay empty.
    for (int i = 0; i < 3; ++i) p = d.Put(p);
  } else {
    // "%03X" for 11-bit and "%08X" for 29-bit identifiers, of the whole recorded word (more
    // digits for an 11-bit frame's word that needs them); none for error frames. The "%08X" text
    // moved down past the digits not shown, in one store whatever the width.
    int shown = IdDigitsShown(f);
    uint64_t digits = HexDigitsWord(__builtin_bswap32(f.id));
    StoreU64(p, digits >> (8 * (shown == 0 ? 0 : 8 - shown)));
    p += shown;
    p = d.Put(p);
    int type = kCsvTypeIndex[static_cast<int>(c)][(f.brs ? 1 : 0) + (f.esi ? 2 : 0)];
    p = PutPadded(p, kCsvTypes[type]);
    p = d.Put(p);
    if (c != FrameClass::Error) {
      p = text::PutSmallUnsigned(p, DataLength(f));
    }
    p = d.Put(p);
    static constexpr char kStatus[7] = {'G', 'A', 'F', 'C', 'F', 'E', 'F'};
    if (f.status <= 6) *p++ = kStatus[f.status];
  }
  // DATA: every byte preceded by a blank, up to 64 bytes; none for remote frames.
  p = d.Put(p);
  bool fd = c == FrameClass::FdData;
  bool classic = c == FrameClass::Data || c == FrameClass::Remote;
  p = PutSpacedHexBytes(p, f.data, fd || c == FrameClass::Data ? f.count : 0);
  // FC: the check value's bytes, highest first: three of a CAN FD frame, two of a classic one.
  p = d.Put(p);
  auto fc = static_cast<uint32_t>(Pick(fd, f.fc, f.fc << 8));
  PutSpacedHexPair(p, static_cast<uint8_t>(fc >> 16), static_cast<uint8_t>(fc >> 8));
  StoreU64(p + 6, kSpacedHexWords.words[static_cast<uint8_t>(fc)]);
  p += fd ? 9 : classic ? 6 : 0;
  p = d.Put(p);
  if (f.trigger) *p++ = 'T';
  out.EndAppend(p);
  if (cv.addAnalog) AppendAnalogCells(cv);
  if (cv.addGnss) cv.gnssColumns.Append(cv, cv.lastGnss);
  cv.EndLine();
}

// The usual one-character delimiter is put with no test of its length.
void WriteCsvFrame(CTxtCvtCAN& cv, const MonitorRecord& head, int channel, const CanFrame& f) {
  std::string_view delimiter = cv.output->delimiter();
  if (delimiter.size() == 1) {
    WriteCsvFrameWith(cv, head, channel, f, CharDelimiter{delimiter[0]});
  } else {
    WriteCsvFrameWith(cv, head, channel, f, CellDelimiter(delimiter));
  }
}

// `f` is the conversion's frame buffer, reused from frame to frame.
void WriteFrame(CTxtCvtCAN& cv, const RecordCursor& cursor, int channel, CanFrame& f) {
  if (!AssembleFrame(cursor, f)) return;
  WriteCsvFrame(cv, cursor.Current(), channel, f);
}

// The empty time cells of a row without a timestamp.
void WriteEmptyTimeCells(CTxtCvtCAN& cv) {
  int cells = 2 + (cv.relTimeStamp ? 1 : 0) + (cv.diffTimeStamp ? 1 : 0) +
              (cv.timeStampStyle == 7 || cv.timeStampStyle == 8 ? 1 : 0);
  for (int i = 0; i < cells; ++i) cv.WriteCell(nullptr);
}

void WriteCsvMarker(CTxtCvtCAN& cv, const char* text) {
  WriteEmptyTimeCells(cv);
  cv.WriteCell(text);
  for (int i = 0; i < 7; ++i) cv.WriteCell(nullptr);
  if (cv.addAnalog) {
    for (int i = 0; i < cv.analog.channelCount; ++i) cv.WriteCell(nullptr);
  }
  if (cv.addGnss) cv.gnssColumns.Append(cv, nullptr);
  cv.EndLine();
}

void WriteCsvHeader(CTxtCvtCAN& cv) {
  if (cv.relTimeStamp) cv.WriteCell("Elapsed(sec.)");
  cv.WriteCell("Date(YYYY/MM/DD)");
  cv.WriteCell("Time(HH:mm:ss)");
  if (cv.timeStampStyle == 7) cv.WriteCell(cv.output->utf8() ? "Time(\xC2\xB5s)" : "Time(us)");
  if (cv.timeStampStyle == 8) cv.WriteCell("Time(ms)");
  if (cv.diffTimeStamp) cv.WriteCell("TimeDiff(sec.)");
  for (const char* s : {"Ch", "ID", "Type", "DL", "St", "Data", "FC", "Trig"}) cv.WriteCell(s);
  if (cv.addAnalog) {
    char title[16];
    for (int i = 1; i <= cv.analog.channelCount; ++i) {
      FormatPiece(title, "AI%d", i);
      cv.WriteCell(title);
    }
  }
  if (cv.addGnss) AppendGnssTitles(cv);
  cv.EndLine();
}

// Takes the analog sample at the cursor as the latest one. Channels 5-8 come from the continuation
// record; without it the words read so far stay, but the sample counts as present only if an
// earlier one did.
void UpdateAnalog(CTxtCvtCAN& cv, const RecordCursor& cursor) {
  const uint8_t* head = cursor.Current().bytes;
  AnalogState& a = cv.analog;
  cv.analogCellsValid = false;
  a.referenceTemp = static_cast<int16_t>(LoadU16(head + 10));
  for (int i = 0; i < 4; ++i) a.raw[i] = LoadU32(head + 16 + 4 * i);
  if (a.channelCount > 4) {
    const MonitorRecord* next = ContinuationOf(cursor, 1);
    if (cursor.Current().Continuation() < 1 || next == nullptr) return;
    for (int i = 0; i < 4; ++i) a.raw[4 + i] = LoadU32(next->bytes + 4 + 4 * i);
  }
  a.valuesPresent = true;
}

void WriteTextTitle(CTxtCvtCAN& cv) {
  char piece[128];
  FormatPiece(piece, "--%s-CH-----ID--TYPE----DL-ST-DATA---------------FC--",
              TimeColumnTitle(cv.timeStampStyle));
  cv.output->AppendText(piece);
  cv.EndLine();
}

AcceptRule RuleOf(const CTxtCvtCAN& cv) {
  AcceptRule rule;
  rule.frames = true;
  rule.gnss = cv.addGnss;
  rule.analog = cv.addAnalog;
  rule.canOverrun = true;
  rule.lostData = true;
  return rule;
}

}  // namespace

RecordKind CTxtCvtCAN::NextRecord(RecordCursor& cursor) {
  return dtconv::NextRecord(cursor, RuleOf(*this));
}

RecordKind CTxtCvtCAN::FirstRecord(RecordCursor& cursor) {
  return dtconv::FirstRecord(cursor, RuleOf(*this));
}

void CTxtCvtCAN::WriteSetupBlock() {
  WriteTitleLine();
  if (data->recordingKind != 0 && data->recordingKind != 4) return;
  for (int line = 1; line <= 2; ++line) {
    CanChannelSetup setup = data->info.CanChannel(line);
    char piece[64], rate[32];
    FormatPiece(piece, "*  CH%d PROTOCOL: CAN/CAN FD%-10s *", line,
                setup.nonIso == 1 ? "(NON-ISO)" : "(ISO)");
    output->AppendText(piece);
    EndLine();
    FormatBitRate(static_cast<int32_t>(setup.nominalBitRate), rate);
    FormatPiece(piece, "*      BAUDRATE: %-20s *", rate);
    output->AppendText(piece);
    EndLine();
    FormatBitRate(static_cast<int32_t>(setup.dataBitRate), rate);
    FormatPiece(piece, "*      BAUDRATE(DATA): %-14s *", rate);
    output->AppendText(piece);
    EndLine();
  }
}

void ConvertCan(CTxtCvtCAN& cv, const MonitorData& data, ConverterContext& context) {
  bool csv = context.type == kCvtCanCsv;
  cv.Bind(data, context, csv, context.timeStampStyle);
  uint32_t options = csv ? context.optionBits : 0;
  cv.relTimeStamp = (options & kOptRelTimeStamp) != 0;
  cv.diffTimeStamp = (options & kOptDiffTimeStamp) != 0;
  cv.addAnalog = (options & kOptAddAnalog) != 0;
  cv.addGnss = (options & kOptAddGnss) != 0;
  SetupChannelScales(data, csv, cv.analog);
  cv.analogCellsValid = false;
  cv.gnssColumns.Reset();

  if (!csv) cv.WriteReportHeader();
  if (data.recordCount == 0) return;
  // Bit 1: frames of line 1 are kept, bit 2: those of line 2.
  unsigned keepLines = (context.signalLine != 2 ? 2u : 0u) | (context.signalLine != 1 ? 4u : 0u);
  RecordCursor cursor = cv.StartCursor();
  RecordKind kind = cv.FirstRecord(cursor);
  if (kind == kKindEnd) return;
  if (csv) {
    WriteCsvHeader(cv);
  } else {
    WriteTextTitle(cv);
  }
  CanFrame frame;
  // The walk itself rather than the virtual NextRecord: it is inlined into this loop.
  AcceptRule rule = RuleOf(cv);
  if (!csv) {
    // Frame lines go a batch at a time; the marker lines between them one by one.
    LineEnd eol(cv.output->eol());
    while (kind != kKindEnd && cv.output->result().ok()) {
      if (kind == kKindCh1Frame || kind == kKindCh2Frame) {
        kind = WriteTextFrames(cv, cursor, kind, keepLines, frame, eol, rule);
        continue;
      }
      if (kind == kKindOverrun) cv.WriteOverrunLine();
      if (kind == kKindLostData) cv.WriteLostDataLine();
      kind = dtconv::NextRecord(cursor, rule);
    }
    return;
  }
  for (; kind != kKindEnd; kind = dtconv::NextRecord(cursor, rule)) {
    switch (kind) {
      case kKindCh1Frame:
      case kKindCh2Frame:
        // The kind is the line number: one path for both lines, whose frames come mixed.
        if ((keepLines >> kind) & 1) WriteFrame(cv, cursor, kind, frame);
        break;
      case kKindOverrun:
        WriteCsvMarker(cv, "Overrun");
        break;
      case kKindLostData:
        WriteCsvMarker(cv, "Lost data");
        break;
      case kKindAnalog:
        UpdateAnalog(cv, cursor);
        break;
      case kKindGnss:
        cv.lastGnss = &cursor.Current();
        break;
      default:
        break;
    }
    if (cv.output->result().failed()) break;
  }
}

}  // namespace dtconv
