#!/usr/bin/env bash
# Whole-process runs of tidewell /batch over many logs, each timed beside a
# baseline in the same hyperfine call, from the same state every run:
#
#   backup   BACKUP_LOGS logs of LOG_KIB KiB in one empty folder, with Backup
#            against the same run without it; bytes written by both runs
#            (strace, an untimed run) against the final archive plus the logs.
#   archive  ARCHIVE_LOGS logs beside an existing ARCHIVE_MIB MiB STXBAK.zip of
#            incompressible members, with Backup against `cp` of the archive
#            plus the run without Backup (and against a flushed copy, dd
#            conv=fsync, for comparison).
#   wine     WINE_LOGS logs of WINE_KIB KiB in one folder of a Wine prefix,
#            named in the list in upper case and on disk in lower case, against
#            the same run with the names as on disk.
#   small    SMALL_LOGS logs of LOG_KIB KiB without Backup against copy_floor,
#            which only copies each file beside itself, flushes, renames it
#            over the file and flushes the folder.
#
# The backup, archive and wine sections also report the peak resident memory
# (/usr/bin/time -f %M) of their runs.
#
#   TIDEWELL=build-perf/tidewell FLOOR=build-perf/bench/copy_floor bench/scale-bench.sh [DIR]
#
# bench/run-bench.sh builds both and calls this. SECTIONS picks sections
# (default: backup archive wine small); SCALE_RUNS, else RUNS (default 3), is
# the number of rounds, each timing every command of a section once in turn;
# the other names above set sizes. Files go into a fresh folder under DIR (default /tmp),
# removed at the end, also on failure.
set -euo pipefail

tidewell=${TIDEWELL:?set TIDEWELL to the program to measure}
floor=${FLOOR:-}
sections=${SECTIONS:-backup archive wine small}
runs=${SCALE_RUNS:-${RUNS:-3}}
backup_logs=${BACKUP_LOGS:-1000}
log_kib=${LOG_KIB:-16}
archive_mib=${ARCHIVE_MIB:-200}
archive_logs=${ARCHIVE_LOGS:-5}
wine_logs=${WINE_LOGS:-10000}
wine_kib=${WINE_KIB:-2}
# In memory by default: what this section measures is the look-up, and on a
# disk each log's two flushes would make a run of 10,000 logs take minutes.
wine_dir=${WINE_DIR:-}
if [ -z "$wine_dir" ]; then
  wine_dir=/dev/shm
  [ -d /dev/shm ] && [ -w /dev/shm ] || wine_dir=${1:-/tmp}
fi
small_logs=${SMALL_LOGS:-1000}
parent=${1:-/tmp}

has() { [[ " $sections " == *" $1 "* ]]; }
die() { echo "scale-bench: $*" >&2; exit 1; }

for tool in hyperfine /usr/bin/time awk zip unzip strace; do
  command -v "$tool" >/dev/null || die "$tool is missing"
done
tidewell=$(cd "$(dirname "$tidewell")" && pwd)/$(basename "$tidewell")
[ -x "$tidewell" ] || die "no program at $tidewell"
if has small; then
  [ -n "$floor" ] && [ -x "$floor" ] || die "set FLOOR to the copy_floor program for the small section"
  floor=$(cd "$(dirname "$floor")" && pwd)/$(basename "$floor")
fi

work=$(mktemp -d "$parent/tidewell-scale.XXXXXX")
wine_work=
trap 'rm -rf "$work" ${wine_work:+"$wine_work"}' EXIT INT TERM
# The list holds each log's full name, at most 255 bytes.
[ ${#work} -le 200 ] || die "the folder name $work is too long for the list's names"
cd "$work"
echo "== scale: files in $work ($(df -T "$work" | awk 'NR == 2 {print $2}')); $runs rounds of each section's commands"
echo "program: $tidewell"
load() { echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"; }

# make_logs DIR COUNT KIB: COUNT logs log00001.txt... of exactly KIB KiB each,
# CR LF lines of words (text that deflate shrinks to about a third).
make_logs() {
  mkdir -p "$1"
  awk -v dir="$1" -v count="$2" -v size=$(($3 * 1024)) -v seed="$RANDOM" 'BEGIN {
    srand(seed)
    nw = split("the of and to in is was for on that with as by at from this be are " \
      "have an or it not which but all were when we there can one has been more " \
      "mail board patio reply message entry posted thread user line read list " \
      "OK ERR 0 1 2 3 12 64 100 2026 13:45 --", w, " ")
    for (f = 1; f <= count; f++) {
      name = sprintf("%s/log%05d.txt", dir, f); n = 0
      while (n < size) {
        line = ""; len = 10 + int(rand() * 70)
        while (length(line) < len) line = line w[1 + int(rand() * nw)] " "
        if (n + length(line) + 2 > size - 12) line = sprintf("%" (size - n - 2) "s", "")
        printf "%s\r\n", line > name; n += length(line) + 2
      }
      close(name)
    }
  }'
}

# make_list FILE PREFIX COUNT [upper]: a to-do list of COUNT PATIO entries
# naming PREFIX log00001.txt..., in upper case with "upper".
make_list() {
  local i name
  for ((i = 1; i <= $3; i++)); do
    printf -v name '%slog%05d.txt' "$2" "$i"
    [ "${4:-}" = upper ] && name=${name^^}
    printf '\x02\x09\x32\x05PATIO\x02ab\xff\x61\x62\x00\x00\x44%s\x0d' "$name"
  done >"$1"
}

# make_profile DIR LIST BACKUP: the profile under DIR/KORU.
make_profile() {
  mkdir -p "$1/KORU"
  printf '[TidewellSetup]\nTODOLST2=%s\nLINES=100\nREVERSE=0\nBACKUP=%s\n' "$2" "$3" >"$1/KORU/tidewell.conf"
}

# bytes_written OUT CMD...: runs CMD under strace and prints the bytes its
# write-family calls wrote: in all, into the archive (or libzip's temporary
# copy of it), into the logs' scratch files.
bytes_written() {
  local out=$1; shift
  strace -f -qq -y -s 0 -o "$out" \
    -e trace=write,pwrite64,writev,pwritev,pwritev2,copy_file_range,sendfile "$@" >/dev/null
  awk '/= [0-9]+$/ {
      n = $NF; all += n
      if (tolower($0) ~ /stxbak/) zip += n; else if (index($0, "$LFCUT$")) logs += n
    }
    END { printf "%.0f %.0f %.0f\n", all, zip, logs }' "$out"
}

# peak_kib CMD...: the peak resident memory of CMD in KiB.
peak_kib() {
  /usr/bin/time -f %M -o "$work/peak.txt" "$@" >/dev/null
  tail -n 1 "$work/peak.txt"
}

# time_pair OUT hyperfine-arguments...: RUNS rounds, each timing every command
# once in turn (hyperfine --runs 1), so that a slow spell of the shared disk
# falls on all of them alike. Prints each command's median, min and max, and
# writes "median,min,max" per command, in order, to OUT.
time_pair() {
  local out=$1 r i=0 arg names=() take=
  shift
  for arg in "$@"; do
    [ -n "$take" ] && names+=("$arg")
    take=; [ "$arg" = -n ] && take=1
  done
  : >"$out.all"
  for ((r = 1; r <= runs; r++)); do
    hyperfine --style none --runs 1 --export-csv "$out.round" "$@" >/dev/null
    # The time is the "mean" column counted from the end: names may hold commas.
    awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "mean") back = NF - i; next }
      { print NR - 1, $(NF - back) }' "$out.round" >>"$out.all"
  done
  rm "$out.round"
  printf '%-48s %9s %9s %9s  (%s rounds)\n' command "median s" "min s" "max s" "$runs"
  : >"$out"
  for name in "${names[@]}"; do
    i=$((i + 1))
    awk -v n=$i '$1 == n { print $2 }' "$out.all" | sort -g | awk '{ t[NR] = $1 }
      END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
            printf "%.4f,%.4f,%.4f\n", m, t[1], t[NR] }' >>"$out"
    awk -F, -v n=$i -v name="$name" 'NR == n { printf "%-48s %9.3f %9.3f %9.3f\n", name, $1, $2, $3 }' "$out"
  done
  rm "$out.all"
  load
}
# median OUT N: the median time of the Nth command of a time_pair call. The
# ratios use medians: on a shared disk one run in a few can stall on a flush.
median() { awk -F, -v n="$2" 'NR == n { print $1 }' "$1"; }

# The result lines, printed again together at the end.
results=()
result() {  # result NAME VALUE TARGET ("<= 3", "< 20480" or "-") UNIT [DETAIL]
  local verdict=-
  [ "$3" = - ] || verdict=$(awk -v v="$2" -v t="$3" 'BEGIN {
    split(t, p, " "); ok = p[1] == "<=" ? v <= p[2] : v < p[2]; print ok ? "met" : "MISSED" }')
  results+=("$(printf '%-50s %9s %-3s target %-8s %-6s %s' "$1" "$2" "$4" "$3" "$verdict" "${5:-}")")
  echo "${results[-1]}"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# time_ratio CSV N M TARGET NAME: the result line for command N against M.
time_ratio() {
  local a b
  a=$(median "$1" "$2") b=$(median "$1" "$3")
  result "$5" "$(ratio "$a" "$b")" "$4" x "$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f s / %.3f s", a, b }')"
}

if has backup; then
  echo "== backup: $backup_logs logs of $log_kib KiB into one empty folder"
  make_logs backup/orig "$backup_logs" "$log_kib"
  make_list backup/list "$work/backup/logs/" "$backup_logs"
  make_profile backup/with backup/list 1
  make_profile backup/without backup/list 0
  restore="rm -rf backup/logs && cp -r backup/orig backup/logs && sync"
  run_with="XDG_CONFIG_HOME=$work/backup/with $tidewell /batch"
  run_without="XDG_CONFIG_HOME=$work/backup/without $tidewell /batch"

  # Untimed: what the runs write, and a check that the Backup run did its work.
  eval "$restore"
  read -r without_all _ without_logs < <(bytes_written backup/strace.txt env XDG_CONFIG_HOME="$work/backup/without" "$tidewell" /batch)
  eval "$restore"
  read -r with_all with_zip with_logs < <(bytes_written backup/strace.txt env XDG_CONFIG_HOME="$work/backup/with" "$tidewell" /batch)
  members=$(unzip -Z1 backup/logs/STXBAK.zip | wc -l)
  [ "$members" -eq "$backup_logs" ] || die "the archive holds $members members, expected $backup_logs"
  unzip -p backup/logs/STXBAK.zip log00001.txt | cmp -s - backup/orig/log00001.txt ||
    die "the archive's log00001.txt is not the original log"
  cmp -s backup/logs/log00001.txt backup/orig/log00001.txt && die "log00001.txt was not converted"
  archive=$(stat -c %s backup/logs/STXBAK.zip)
  logs=$(du -b -s backup/orig | cut -f1)
  rm backup/strace.txt
  echo "archive $archive bytes ($members members), logs $logs bytes"
  echo "written with Backup: $with_all bytes ($with_zip into the archive, $with_logs into the logs)"
  echo "written without Backup: $without_all bytes ($without_logs into the logs)"

  time_pair backup/times.csv \
    --prepare "$restore" -n "tidewell /batch, Backup" "$run_with >/dev/null" \
    --prepare "$restore" -n "tidewell /batch, no Backup" "$run_without >/dev/null"
  eval "$restore"
  peak_with=$(peak_kib env XDG_CONFIG_HOME="$work/backup/with" "$tidewell" /batch)
  eval "$restore"
  peak_without=$(peak_kib env XDG_CONFIG_HOME="$work/backup/without" "$tidewell" /batch)
  echo "peak memory: $peak_with KiB with Backup, $peak_without KiB without"
  time_ratio backup/times.csv 1 2 "<= 3" "backup $backup_logs logs: time x no Backup"
  result "backup $backup_logs logs: written x (archive+logs)" "$(ratio "$with_all" $((archive + logs)))" "<= 2" x
  result "backup $backup_logs logs: peak memory" "$peak_with" "< 20480" KiB
  rm -rf backup
fi

if has archive; then
  echo "== archive: $archive_logs logs of $log_kib KiB beside a $archive_mib MiB archive"
  make_logs archive/orig "$archive_logs" "$log_kib"
  mkdir -p archive/members
  for ((i = 1; i <= archive_mib; i++)); do
    head -c 1048576 /dev/urandom >"$(printf 'archive/members/old%05d.bin' "$i")"
  done
  (cd archive/members && zip -q -0 ../STXBAK.zip ./*.bin)
  rm -rf archive/members
  make_list archive/list "$work/archive/logs/" "$archive_logs"
  make_profile archive/with archive/list 1
  make_profile archive/without archive/list 0
  restore="rm -rf archive/logs && cp -r archive/orig archive/logs && cp archive/STXBAK.zip archive/logs/ && sync"
  run_with="XDG_CONFIG_HOME=$work/archive/with $tidewell /batch"
  run_without="XDG_CONFIG_HOME=$work/archive/without $tidewell /batch"
  archive=$(stat -c %s archive/STXBAK.zip)

  eval "$restore"
  read -r with_all with_zip _ < <(bytes_written archive/strace.txt env XDG_CONFIG_HOME="$work/archive/with" "$tidewell" /batch)
  members=$(unzip -Z1 archive/logs/STXBAK.zip | wc -l)
  [ "$members" -eq $((archive_mib + archive_logs)) ] || die "the archive holds $members members, expected $((archive_mib + archive_logs))"
  rm archive/strace.txt
  echo "archive $archive bytes before, $(stat -c %s archive/logs/STXBAK.zip) after;" \
    "written with Backup: $with_all bytes ($with_zip into the archive)"

  time_pair archive/times.csv \
    --prepare "$restore" -n "tidewell /batch, Backup" "$run_with >/dev/null" \
    --prepare "$restore" -n "cp archive + no Backup" \
    "cp archive/logs/STXBAK.zip archive/copy.zip && $run_without >/dev/null" \
    --prepare "$restore" -n "dd conv=fsync archive + no Backup" \
    "dd if=archive/logs/STXBAK.zip of=archive/copy.zip bs=1M conv=fsync status=none && $run_without >/dev/null" \
    --prepare "$restore" -n "tidewell /batch, no Backup" "$run_without >/dev/null"
  eval "$restore"
  peak_with=$(peak_kib env XDG_CONFIG_HOME="$work/archive/with" "$tidewell" /batch)
  echo "peak memory: $peak_with KiB with Backup"
  time_ratio archive/times.csv 1 2 "<= 1.3" "archive $archive_mib MiB: time x (cp + no Backup)"
  time_ratio archive/times.csv 1 3 - "archive $archive_mib MiB: time x (dd fsync + no Backup)"
  time_ratio archive/times.csv 1 4 - "archive $archive_mib MiB: time x no Backup"
  # One rewrite of the archive in all: the bytes into it are about its size.
  result "archive $archive_mib MiB: archive copies written" "$(ratio "$with_zip" "$archive")" "< 1.5" x
  result "archive $archive_mib MiB: peak memory" "$peak_with" "< 20480" KiB
  rm -rf archive
fi

if has wine; then
  echo "== wine: $wine_logs logs of $wine_kib KiB in one folder of a Wine prefix"
  wine_work=$(mktemp -d "$wine_dir/tidewell-scale-wine.XXXXXX")
  ln -s "$wine_work" wine
  echo "files in $wine_work ($(df -T "$wine_work" | awk 'NR == 2 {print $2}'))"
  mkdir -p wine/prefix/drive_c wine/prefix/dosdevices
  ln -s ../drive_c wine/prefix/dosdevices/c:
  make_logs wine/orig "$wine_logs" "$wine_kib"
  make_list wine/upper 'C:\logs\' "$wine_logs" upper
  make_list wine/exact 'C:\logs\' "$wine_logs"
  make_profile wine/upper-cfg "$wine_work/upper" 0
  make_profile wine/exact-cfg "$wine_work/exact" 0
  restore="rm -rf wine/prefix/drive_c/logs && cp -r wine/orig wine/prefix/drive_c/logs && sync"
  export WINEPREFIX=$wine_work/prefix
  run_upper="XDG_CONFIG_HOME=$wine_work/upper-cfg $tidewell /batch"
  run_exact="XDG_CONFIG_HOME=$wine_work/exact-cfg $tidewell /batch"

  eval "$restore"
  eval "$run_upper" >/dev/null
  last=$(printf 'log%05d.txt' "$wine_logs")
  for name in log00001.txt "$last"; do
    cmp -s "wine/prefix/drive_c/logs/$name" "wine/orig/$name" && die "C:\\LOGS\\${name^^} was not converted"
  done
  [ ! -e wine/prefix/drive_c/LOGS ] || die "a second folder LOGS appeared"

  time_pair wine/times.csv \
    --prepare "$restore" -n "tidewell /batch, upper-case names" "$run_upper >/dev/null" \
    --prepare "$restore" -n "tidewell /batch, names as on disk" "$run_exact >/dev/null"
  eval "$restore"
  peak_upper=$(peak_kib env XDG_CONFIG_HOME="$wine_work/upper-cfg" "$tidewell" /batch)
  echo "peak memory: $peak_upper KiB with upper-case names"
  time_ratio wine/times.csv 1 2 "<= 1.5" "wine $wine_logs names: time x names as on disk"
  unset WINEPREFIX
  rm -rf wine "$wine_work"
fi

if has small; then
  echo "== small: $small_logs logs of $log_kib KiB without Backup, against copy_floor"
  make_logs small/orig "$small_logs" "$log_kib"
  make_list small/list "$work/small/logs/" "$small_logs"
  make_profile small/cfg small/list 0
  restore="rm -rf small/logs && cp -r small/orig small/logs && sync"
  time_pair small/times.csv \
    --prepare "$restore" -n "tidewell /batch, no Backup" "XDG_CONFIG_HOME=$work/small/cfg $tidewell /batch >/dev/null" \
    --prepare "$restore" -n "copy_floor (copy, fsync, rename, fsync folder)" "$floor small/logs/log*.txt"
  time_ratio small/times.csv 1 2 "<= 1.3" "small $small_logs logs: time x copy_floor"
  rm -rf small
fi

if [ ${#results[@]} -gt 0 ]; then
  echo "== scale results"
  printf '%s\n' "${results[@]}"
fi
