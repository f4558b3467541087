// The one table that maps a conversion type to its converter, and the converter objects a
// session owns.
#include "pipeline/conversion_session.h"

namespace dtconv {

struct ConverterObjects {};

ConversionSession::ConversionSession() : converters(new ConverterObjects) {}
ConversionSession::~ConversionSession() { delete converters; }

const ConverterTable& DefaultConverterTable() {
  static const ConverterTable table = [] {
    ConverterTable t;
    return t;
  }();
  return table;
}

}  // namespace dtconv
