#include "can/extra_columns.h"

#include <cstring>
#include <string_view>

#include "analog/cvt_ana.h"

namespace dtconv {

void ExtraColumns::Reset(const MonitorData& data, bool addAnalog, bool addGnss,
                         const text::Delimiter& d) {
  addAnalog_ = addAnalog;
  addGnss_ = addGnss;
  d_ = d;
  SetupChannelScales(data, true, state_);
  row_.emplace(state_, d_);
  std::memset(words_, 0, sizeof words_);
  referenceTemp_ = 0;
  present_ = false;
  length_ = 0;
  gnss_.Reset();
  fix_ = nullptr;
}

void ExtraColumns::TakeAnalog(const RecordCursor& cursor) {
  AnalogSample sample;
  bool whole = ReadSample(cursor, state_.channelCount, &sample);
  std::memcpy(words_, sample.low, 16);
  if (sample.high != nullptr) std::memcpy(words_ + 16, sample.high, 16);
  referenceTemp_ = sample.referenceTemp;
  if (whole) present_ = true;
  length_ = 0;
}

char* ExtraColumns::PutAnalog(char* p) {
  if (!present_) return d_.PutEmpty(p, state_.channelCount);
  if (length_ == 0) {
    AnalogSample sample{words_, words_ + 16, referenceTemp_};
    length_ = static_cast<size_t>(row_->Put(cells_, sample) - cells_);
  }
  return text::PutText(p, std::string_view(cells_, length_));
}

void ExtraColumns::WriteTitles(CTxtCvtBase& cv) const {
  if (addAnalog_) {
    char title[16];
    for (int i = 1; i <= state_.channelCount; ++i) {
      FormatPiece(title, "AI%d", i);
      cv.WriteCell(title);
    }
  }
  if (addGnss_) AppendGnssTitles(cv);
}

}  // namespace dtconv
