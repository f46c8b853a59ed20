#!/usr/bin/env bash
# make_corpus.sh TALVO: writes the seed corpus of the fuzz targets into fuzz/corpus/ (run again
# after a change of the file format; the data file seeds are made by the given talvo program).
set -euo pipefail
talvo=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
corpus="$here/corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TALVO_CONFIG="$work/talvo.ini"
mkdir -p "$corpus"/{command_line_fuzz,profile_fuzz,data_file_fuzz,flat_import_fuzz,batch_options_fuzz}

# Command lines; after a zero byte, the arguments of an assembled line.
c="$corpus/command_line_fuzz"
printf 'Z:\\DATA\\CUST /DDAT' >"$c/plain"
printf '"Z:\\MY DATA\\CUST" /D"MY DIR" /NET:SERVER' >"$c/quoted"
printf 'z:/data/cust /ddat /NET= ' >"$c/slashes"
printf 'CUST /D' >"$c/no_folder"
printf '\0/data/cust\0/Ddat' >"$c/argv"
printf '\0my data/cust\0/Dmy dir\0/NET:server' >"$c/argv_spaces"

# Profile files: the settings file and the component's configuration.
p="$corpus/profile_fuzz"
printf '[Directories]\r\nQVTEMP=Z:\\tmp\r\n\r\n[Debug]\r\nCreatedBy=DORNAPI\r\n' >"$p/settings"
printf '[Directories]\nDAT=/data\nTMP=Z:\\tmp\n; a comment\nD D=/x\n' >"$p/config"
printf '\xef\xbb\xbf[a]\nk = "quoted"\n[b]\nx=1\n[A]\nk2=2\nno equals here\n#c\n[open\n' >"$p/odd"

# Data files with and without their index: mode byte, 4-byte length, data file, index.
d="$corpus/data_file_fuzz"
pack() {  # pack NAME FILE: the data file and its index as one input
    local size
    size=$(stat -c %s "$2")
    { printf '\x01'
      printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((size & 255)) $((size >> 8 & 255)) \
                $((size >> 16 & 255)) $((size >> 24 & 255)))"
      cat "$2" "$2.idx"; } >"$d/$1"
}
"$talvo" gen "$work/k4" --records 12 --type 4 --deleted-every 5 >/dev/null
"$talvo" gen "$work/k36" --records 8 --type 36 --layout orders >/dev/null
"$talvo" create "$work/keys" --type 4 --record-size 0 --key-size 4 >/dev/null
printf 'AAAA\nBBBB\nCCCC\n' | "$talvo" import "$work/keys" --format lines >/dev/null
"$talvo" gen "$work/r2" --records 5 --type 2 --layout orders >/dev/null
pack keyed "$work/k4"
pack extended "$work/k36"
pack key_only "$work/keys"
{ printf '\x00'; cat "$work/r2"; } >"$d/records"

# Imports: type, record size, key size, key position, flags, key fields, flat file.
f="$corpus/flat_import_fuzz"
printf '\x02\x15\x00\x05\x00\x01\nK0003 Clara    Lindau\nK0001 Anna\nK0003 again\n' >"$f/keyed_lines"
printf '\x03\x0a\x00\x03\x02\x00\nxxK01xxxxxyyK02yyyyyzzK01zzzzz' >"$f/extended_fixed"
printf '\x01\x08\x00\x00\x00\x01\nrecord 1\nrecord 2\r\nrecord three is long\n' >"$f/records_lines"
printf '\x02\x0a\x00\x05\x00\x03\x30\x3a\x32\x2c\x34\x3a\x33\nAAxxBBBzzz\nABxxBBBzzz\nAAyy\xfe\nBBB\n' \
    >"$f/key_fields"
printf '\x06\x00\x00\x04\x00\x01\nAAAA\nBB\nAAAA\n' >"$f/key_only"
{ printf '\x02\x09\x00\x03\x00\x04\n'  # 1,000 keys under budgets that spill them
  for i in $(seq 0 999); do printf 'K%03dxxxxxx' $((i * 7919 % 1000)); done; } >"$f/spilled_keys"
# Batch options after "ordelin-batch FILE /DDAT", separated by zero bytes.
b="$corpus/batch_options_fuzz"
printf -- '--out\0NEW\0--key-size\0004\0--key\0000:4' >"$b/rekey"
printf -- '--out\0BYNAME\0--out-dir\0OUT\0--key-size\00010\0--key\0005:10\0--order\0record\0--json' \
    >"$b/by_name"
printf -- '--out\0CUST\0--record-size\0-5' >"$b/same_name"
printf -- '--out\0X\0--key-size\0008\0--key\0000:4\0--key\0002:4\0--key-pos\0000' >"$b/overlap"
printf -- '--help' >"$b/help"
echo "seed corpus written to $corpus"
