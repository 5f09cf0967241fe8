#!/bin/sh
# Builds one libFuzzer program with clang and runs each of its targets for a
# few seconds: the runner behind every fuzz test that tornell_add_fuzz_test
# (tests/CMakeLists.txt) registers. Without clang++ it skips (77), or fails
# under CI=true.
# Usage: run_fuzz.sh OPTIONS -- INPUTS
#   --source DIR     source root
#   --work DIR       work folder: program, corpora, logs
#   --program NAME   name of the fuzzing program
#   --seconds N      run time of each target
#   --max-len N      longest input
#   --env VAR        environment variable that names the target to the program
#   --targets LIST   the targets, blank-separated; none: one run on "corpus"
#   --seeds SCRIPT   run once as "sh SCRIPT <source root> <work folder>"; what
#                    it puts in seeds-<target>/ (else seeds/) joins the corpus
#   --exclude GLOB   source paths left out of the directories among the inputs
#   --library        builds the whole library with clang into the work folder
#                    first (kept there, so later runs rebuild only what
#                    changed) and links it
# INPUTS go to clang++ after the fuzzer source: a directory stands for the
# .cpp files in it (sorted), anything else is passed as it is.
set -eu
SRC=
WORK=
PROGRAM=
SECONDS_EACH=3
MAX_LEN=4096
TARGET_VAR=
TARGETS=
SEEDS=
EXCLUDE=
LIBRARY=0
while [ $# -gt 0 ]; do
  case $1 in
    --source) SRC=$2; shift 2 ;;
    --work) WORK=$2; shift 2 ;;
    --program) PROGRAM=$2; shift 2 ;;
    --seconds) SECONDS_EACH=$2; shift 2 ;;
    --max-len) MAX_LEN=$2; shift 2 ;;
    --env) TARGET_VAR=$2; shift 2 ;;
    --targets) TARGETS=$2; shift 2 ;;
    --seeds) SEEDS=$2; shift 2 ;;
    --exclude) EXCLUDE=$2; shift 2 ;;
    --library) LIBRARY=1; shift ;;
    --) shift; break ;;
    *) echo "run_fuzz.sh: unknown option $1"; exit 2 ;;
  esac
done
if [ -z "$SRC" ] || [ -z "$WORK" ] || [ -z "$PROGRAM" ]; then
  echo "run_fuzz.sh: --source, --work and --program are needed"
  exit 2
fi
if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ not found"
  [ "${CI:-}" = "true" ] && exit 1
  exit 77
fi
mkdir -p "$WORK"

# The inputs, with each directory replaced by its sources.
INPUTS="$WORK/inputs"
: >"$INPUTS"
for input in "$@"; do
  if [ -d "$input" ]; then
    if [ -n "$EXCLUDE" ]; then
      find "$input" -name '*.cpp' -not -path "$EXCLUDE" | sort >>"$INPUTS"
    else
      find "$input" -name '*.cpp' | sort >>"$INPUTS"
    fi
  else
    echo "$input" >>"$INPUTS"
  fi
done

if [ "$LIBRARY" = 1 ]; then
  FLAGS="-O1 -g -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
  cmake -S "$SRC" -B "$WORK/lib" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_FLAGS="$FLAGS" -DSARNVALE_TESTS=OFF -DSARNVALE_SANITIZE=OFF \
    >"$WORK/cmake.log" 2>&1 || { tail -n 40 "$WORK/cmake.log"; exit 1; }
  # The few sources this clang cannot compile (processor-feature builtins it
  # does not know) are built with g++, uninstrumented; everything else is
  # instrumented.
  ninja -C "$WORK/lib" -k 0 -j3 tornell >"$WORK/ninja.log" 2>&1 || true
  mkdir -p "$WORK/fallback"
  rm -f "$WORK"/fallback/*.o
  for obj in $(sed -n 's/^FAILED: netlib\/CMakeFiles\/tornell.dir\/\(.*\)\.o *$/\1/p' "$WORK/ninja.log"); do
    out="$WORK/fallback/$(echo "$obj" | tr / _).o"
    g++ -std=c++20 -O1 -g -fPIC -I"$SRC/netlib" -c "$SRC/netlib/$obj" -o "$out" || exit 1
  done
  rm -f "$WORK/lib$PROGRAM.a"
  find "$WORK/lib/netlib" "$WORK/fallback" -name '*.o' | xargs ar rcs "$WORK/lib$PROGRAM.a"
  echo "$WORK/lib$PROGRAM.a" >>"$INPUTS"
fi

# Each source compiles on its own, all cores at once (one clang++ over a
# whole subsystem took minutes); libraries and flags keep their place in the
# link. One input a line: paths hold no blanks.
export FUZZ_CXXFLAGS="-std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -I$SRC/netlib"
rm -rf "$WORK/obj"
mkdir -p "$WORK/obj"
LINK="$WORK/link"
COMPILE="$WORK/compile"
for flag in $FUZZ_CXXFLAGS; do echo "$flag"; done >"$LINK"
: >"$COMPILE"
n=0
while IFS= read -r input; do
  case $input in
    *.cpp)
      n=$((n + 1))
      echo "$input $WORK/obj/$n.o" >>"$COMPILE"
      echo "$WORK/obj/$n.o" >>"$LINK" ;;
    *) echo "$input" >>"$LINK" ;;
  esac
done <"$INPUTS"
JOBS=$(nproc 2>/dev/null || echo 2)
# shellcheck disable=SC2016
xargs -P "$JOBS" -n 2 sh -c 'clang++ $FUZZ_CXXFLAGS -c "$0" -o "$1"' <"$COMPILE" || exit 1
OLD_IFS=$IFS
IFS='
'
# shellcheck disable=SC2046
clang++ $(cat "$LINK") -o "$WORK/$PROGRAM"
IFS=$OLD_IFS

if [ -n "$SEEDS" ]; then
  sh "$SEEDS" "$SRC" "$WORK" >"$WORK/seeds.log" 2>&1 || { tail -n 20 "$WORK/seeds.log"; exit 1; }
fi

# run NAME CORPUS [SEED FOLDER]
run() {
  log="$WORK/$1.log"
  if ! ASAN_OPTIONS=detect_leaks=1 "$WORK/$PROGRAM" -max_total_time="$SECONDS_EACH" -max_len="$MAX_LEN" -seed=1 \
      -artifact_prefix="$WORK/" "$2" ${3:+"$3"} >"$log" 2>&1; then
    tail -n 40 "$log"
    exit 1
  fi
  grep -E '^Done|^#[0-9]+.*DONE' "$log" | tail -n 1
}

seeds_of() {
  if [ -d "$WORK/seeds-$1" ]; then
    echo "$WORK/seeds-$1"
  elif [ -d "$WORK/seeds" ]; then
    echo "$WORK/seeds"
  fi
}

if [ -z "$TARGETS" ]; then
  mkdir -p "$WORK/corpus"
  run "$PROGRAM" "$WORK/corpus" "$(seeds_of "")"
  exit 0
fi
for target in $TARGETS; do
  mkdir -p "$WORK/corpus-$target"
  echo "== $target"
  export "$TARGET_VAR=$target"
  run "$target" "$WORK/corpus-$target" "$(seeds_of "$target")"
done
