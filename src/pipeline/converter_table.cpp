// The one table that maps a conversion type to its converter, and the converter objects a
// session owns (one of each class, re-bound to every file).
#include "analog/cvt_ana.h"
#include "analog/cvt_awave.h"
#include "can/cvt_asc.h"
#include "can/cvt_can.h"
#include "can/cvt_candump.h"
#include "can/cvt_pcap.h"
#include "can/cvt_pcapng.h"
#include "gnss/cvt_gps.h"
#include "gnss/cvt_kml.h"
#include "pipeline/conversion_session.h"
#include "pipeline/cvt_settings.h"
#include "signals/cvt_signals.h"

namespace dtconv {

struct ConverterObjects {
  CTxtCvtCAN can;
  CTxtCvtANA ana;
  CTxtCvtGPS gps;
  CTxtCvtKML kml;
  CTxtCvtAWave wave;
  CTxtCvtPcap pcap;
  CTxtCvtPcapng pcapng;
  CTxtCvtAsc asc;
  CTxtCvtCandump candump;
  signals::CTxtCvtSignals signals;
};

ConversionSession::ConversionSession() : converters(new ConverterObjects) {}
ConversionSession::~ConversionSession() { delete converters; }

namespace {
void RunCan(ConversionSession& s) { ConvertCan(s.converters->can, s.data, s.context); }
void RunAnalog(ConversionSession& s) { ConvertAnalog(s.converters->ana, s.data, s.context); }
void RunGnss(ConversionSession& s) { ConvertGnss(s.converters->gps, s.data, s.context); }
void RunKml(ConversionSession& s) { ConvertKml(s.converters->kml, s.data, s.context); }
void RunWave(ConversionSession& s) { ConvertAnalogWave(s.converters->wave, s.data, s.context); }
void RunPcap(ConversionSession& s) { ConvertPcap(s.converters->pcap, s.data, s.context); }
void RunPcapng(ConversionSession& s) { ConvertPcapng(s.converters->pcapng, s.data, s.context); }
void RunAsc(ConversionSession& s) { ConvertAsc(s.converters->asc, s.data, s.context); }
void RunCandump(ConversionSession& s) { ConvertCandump(s.converters->candump, s.data, s.context); }
// The signal tables need the job's databases; without them there is nothing to decode with.
void RunSignals(ConversionSession& s) {
  if (s.signals == nullptr) {
    s.output.Fail(kResultNotSupported);
    return;
  }
  signals::ConvertSignals(s.converters->signals, s.data, s.context, *s.signals);
}
}  // namespace

const ConverterTable& DefaultConverterTable() {
  static const ConverterTable table = [] {
    ConverterTable t;
    t.entries[kCvtCanText] = RunCan;
    t.entries[kCvtCanCsv] = RunCan;
    t.entries[kCvtCanPcap] = RunPcap;
    t.entries[kCvtCanPcapng] = RunPcapng;
    t.entries[kCvtCanAsc] = RunAsc;
    t.entries[kCvtCanCandump] = RunCandump;
    t.entries[kCvtSignalsCsv] = RunSignals;
    t.entries[kCvtSignalsLong] = RunSignals;
    t.entries[kCvtAnalogText] = RunAnalog;
    t.entries[kCvtAnalogCsv] = RunAnalog;
    t.entries[kCvtAnalogWave] = RunWave;
    t.entries[kCvtGnssText] = RunGnss;
    t.entries[kCvtGnssCsv] = RunGnss;
    t.entries[kCvtGnssKml] = RunKml;
    return t;
  }();
  return table;
}

}  // namespace dtconv
