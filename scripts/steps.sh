# Quiet steps for the build scripts: a step's output goes to a log that is
# shown only when the step fails, with one line saying what failed. The
# sourcing script sets steps_name (the start of its lines) and steps_log_dir.

# failed <what> <log>: shows the end of the log and stops.
failed() {
  tail -n 60 "$2" >&2
  echo "$steps_name: $1 failed (full log: $2)" >&2
  exit 1
}

# quietly <what> <log name> <command...>
quietly() {
  local what=$1 log="$steps_log_dir/$2.log"
  shift 2
  "$@" >"$log" 2>&1 || failed "$what" "$log"
}
