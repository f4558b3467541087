// A DBC database in memory: messages, their signals and what the decoder precomputes for each,
// and the reader that builds it from a file or from text.
//
// The reader is hand-written. It reads the sections that decoding needs (BO_, SG_, VAL_,
// SIG_VALTYPE_, SG_MUL_VAL_) and reads over the others; it checks everything that decoding relies
// on (sizes, lengths, byte orders, multiplexor chains, exact scaling) so that the decoder itself
// never needs to.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace dtconv::signals {

// Where something is written in a database file: 1-based line, and 1-based column counted in
// characters.
struct TextPosition {
  uint32_t line = 0;
  uint32_t column = 0;
};

enum class ValueType : uint8_t { kInteger, kFloat32, kFloat64 };

// How PutSignalValue writes a signal's value, settled when the database is read.
enum class ValueStyle : uint8_t {
  kUnsigned,  // factor 1, offset 0: the raw value as an unsigned integer
  kSigned,    // factor 1, offset 0: the raw value as a signed integer
  kDecimal,   // raw × factor + offset exactly, with ExactScale::decimals decimals
  kFloat32,   // an IEEE single, scaled in double where factor or offset is not 1 and 0
  kFloat64,   // an IEEE double
};

// Where a signal's bits lie, as the decoder reads them: 16 bytes loaded from `byte` of a
// zero-padded copy of the frame (little-endian for @1, big-endian for @0), shifted right by
// `shift`, masked, and sign-extended for signed integers.
struct BitLayout {
  uint64_t mask = 0;        // the signal's length in low bits
  uint64_t signBit = 0;     // the raw value's top bit for signed integers, else 0
  uint8_t byte = 0;         // first byte of the 16-byte window
  uint8_t shift = 0;        // right shift of the 128-bit window
  uint8_t bytesNeeded = 0;  // the frame must hold this many bytes for the signal to be decoded
  bool bigEndian = false;
};

// raw × factor + offset = (raw × factor + offset) / 10^decimals, in 128-bit integers: factor and
// offset are the decimal mantissas of the database's numbers brought to the same decimals.
struct ExactScale {
  __int128 factor = 1;
  __int128 offset = 0;
  uint8_t decimals = 0;
};

// One value range of a multiplexor (SG_MUL_VAL_ a-b, or the single value of mN).
struct MuxRange {
  uint64_t low = 0;
  uint64_t high = 0;
};

// One entry of a value table: the raw value (as the decoder gives it: sign-extended for signed
// signals) and its text.
struct ValueText {
  uint64_t raw = 0;
  std::string text;
};

struct Signal {
  std::string name;
  std::string unit;        // UTF-8
  TextPosition position;   // of the signal's name on its SG_ line
  uint16_t startBit = 0;   // as written: the least significant bit for @1, the most for @0
  uint8_t length = 0;      // 1..64
  bool bigEndian = false;  // @0
  bool isSigned = false;   // -
  ValueType type = ValueType::kInteger;
  double factor = 1;  // the nearest doubles of the numbers as written
  double offset = 0;
  double minimum = 0;
  double maximum = 0;
  std::string factorText;  // as written
  std::string offsetText;

  // Multiplexing. A multiplexed signal is decoded only when its multiplexor was decoded and holds
  // a value within muxRanges; a multiplexor may itself be multiplexed (extended multiplexing).
  bool isMultiplexor = false;  // M or mNM
  bool isMultiplexed = false;  // mN or mNM
  uint32_t muxValue = 0;       // N of mN / mNM
  int32_t multiplexor = -1;    // index in the message's signals of the switch, or -1
  std::vector<MuxRange> muxRanges;

  std::vector<ValueText> values;  // VAL_, sorted by raw value

  // Precomputed for decoding and for the value texts.
  BitLayout layout;
  ValueStyle style = ValueStyle::kUnsigned;
  ExactScale exact;
};

struct Message {
  uint32_t id = 0;        // 11- or 29-bit identifier
  bool extended = false;  // bit 31 of the DBC identifier
  uint8_t size = 0;       // bytes, 0..64
  std::string name;
  TextPosition position;  // of the BO_ keyword
  std::vector<Signal> signals;
  // Indexes of `signals` in an order in which every multiplexor comes before the signals it
  // switches.
  std::vector<uint16_t> decodeOrder;
};

struct Database {
  std::string file;  // the file name as given, for messages
  std::vector<Message> messages;
};

// Parses DBC text. `bytes` is the file's content: UTF-8 where it is valid UTF-8 (a byte order
// mark is dropped), otherwise Windows-1252; names, units and texts are stored as UTF-8. `file`
// names the text in error messages. Returns true and fills *db (replacing what it held), or
// returns false with *error set to "FILE:LINE:COLUMN: what was expected" and *db left as it was.
// The pseudo-message VECTOR__INDEPENDENT_SIG_MSG and its signals are read and left out.
bool ParseDbc(std::string_view bytes, std::string_view file, Database* db, std::string* error);

// Reads the DBC file at `path` through the platform layer and parses it as ParseDbc does; the file
// name in messages is `path` as given. A file that cannot be read, or is larger than
// kMaxDbcFileBytes, gives "FILE: ..." without a position.
bool LoadDbc(const std::filesystem::path& path, Database* db, std::string* error);

// The largest database file read. Whole-vehicle databases in use are a few megabytes; this leaves
// a wide margin while keeping what a hostile file can make the reader allocate (the text, its
// UTF-8 copy at most three times as long, the parsed model) well under a gigabyte.
inline constexpr uint64_t kMaxDbcFileBytes = 64u << 20;

// The longest line. The longest lines of real databases are value tables (VAL_), node lists and
// comments; a value table of all 65536 values of a 16-bit signal with 40-character texts takes
// about 3 MB. A longer line is taken for a damaged or hostile file.
inline constexpr size_t kMaxDbcLineBytes = 4u << 20;

}  // namespace dtconv::signals
