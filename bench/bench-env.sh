# Sourced by bench/run and bench/soak after scripts/build: where the
# driver's files go, and the settings it reads from the environment.
build_abs=$(cd "$build" && pwd)
out="$build_abs/bench"
mkdir -p "$out"

windows_path() {
  local path=$1
  printf 'Z:%s' "${path//\//\\}"
}

unset KIVO_DEBUG
KIVO_BENCH_OUT=$(windows_path "$out")
export KIVO_BENCH_OUT
