// The one table that maps a conversion type to its converter, and the converter objects a
// session owns (one of each class, re-bound to every file).
#include "gnss/cvt_gps.h"
#include "pipeline/conversion_session.h"
#include "pipeline/cvt_settings.h"

namespace dtconv {

struct ConverterObjects {
  CTxtCvtGPS gps;
  CTxtCvtKML kml;
};

ConversionSession::ConversionSession() : converters(new ConverterObjects) {}
ConversionSession::~ConversionSession() { delete converters; }

namespace {
void RunGnss(ConversionSession& s) { ConvertGnss(s.converters->gps, s.data, s.context); }
void RunKml(ConversionSession& s) { ConvertKml(s.converters->kml, s.data, s.context); }
}  // namespace

const ConverterTable& DefaultConverterTable() {
  static const ConverterTable table = [] {
    ConverterTable t;
    t.entries[kCvtGnssText] = RunGnss;
    t.entries[kCvtGnssCsv] = RunGnss;
    t.entries[kCvtGnssKml] = RunKml;
    return t;
  }();
  return table;
}

}  // namespace dtconv
