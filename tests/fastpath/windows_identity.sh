#!/usr/bin/env bash
# The Windows build under Wine writes the same bytes as the Linux build: both convert the same
# generated benchmark captures (a twentieth of the sizes of `make bench`) into every conversion
# type, and each pair of outputs is compared byte for byte.
# Usage: windows_identity.sh GENERATOR DTCONV_EXE NATIVE_DTCONV WORK_DIR
# Exits 77 (skipped) when the native dtconv has not been built (`make dev`).
set -euo pipefail
generator=$1 windows=$2 native=$3 work=$4
if [ ! -x "$native" ]; then
  echo "windows_identity: no native dtconv at $native; build it first (make dev)"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work/captures" "$work/linux" "$work/windows"
cd "$work"
wine "$generator" captures --scale 0.05 >/dev/null
# A zone with an offset, understood alike by glibc and the Windows C runtime; a fixed banner.
export TZ=JST-9 SOURCE_DATE_EPOCH=1796519109
status=0
while read -r capture extension options; do
  # shellcheck disable=SC2086
  "$native" -q -j 1 $options -o linux "captures/$capture.DT"
  # shellcheck disable=SC2086
  wine "$windows" -q -j 1 $options -o windows "captures/$capture.DT" 2>/dev/null
  if cmp -s "linux/$capture$extension" "windows/$capture$extension"; then
    echo "identical: $options ($(stat -c %s "linux/$capture$extension") bytes)"
  else
    echo "DIFFERENT: $options"
    cmp "linux/$capture$extension" "windows/$capture$extension" | head -1 || true
    status=1
  fi
  rm -f "linux/$capture$extension" "windows/$capture$extension"
done <<'LIST'
can .txt -t can -f text
can .txt -t can -f text --timestamp us
can .txt -t can -f text --timestamp delta
can .csv -t can -f csv --add-analog --add-gnss --elapsed --diff --timestamp us
can .csv -t can -f csv --encoding utf8 --eol lf --delimiter ;
can .pcap -t can -f pcap
can .pcapng -t can -f pcapng
can .asc -t can -f asc
can .log -t can -f candump
analog .txt -t analog -f text
analog .csv -t analog -f csv --add-gnss
gnss .txt -t gnss -f text
gnss .csv -t gnss -f csv
gnss .kml -t gnss -f kml
wave .csv -t wave
can .csv -t can -f csv --ids 0x100-0x3FF,x:0-0x1FFFFFFF --from 1.5 --to 18:30:40 --add-gnss
signals .signals.csv -t signals --dbc captures/signals.dbc --signals Sel* --add-analog --timestamp us
signals .signals-long.csv -t signals -f long --dbc captures/signals.dbc --encoding utf8 --diff
LIST
exit $status
