# shellcheck shell=bash
# Shared by the peer scripts (sourced, not run): loopback ports and process handling.

# True when something accepts TCP connections on 127.0.0.1:<port>.
peer_port_open() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# Prints a loopback port that nothing listens on now. Ports are drawn at random from
# 20000-59999 so that two runs on one machine rarely try the same one; callers still
# retry with a new port when their server fails to bind.
peer_free_port() {
  local p
  for _ in $(seq 1 200); do
    p=$((20000 + (RANDOM * 32768 + RANDOM) % 40000))
    if ! peer_port_open "$p"; then
      echo "$p"
      return 0
    fi
  done
  echo "no free loopback port found" >&2
  return 1
}

# True while <pid> runs. A zombie counts as ended: the init of some machines reaps late.
peer_alive() {
  local st
  st="$(cut -d' ' -f3 "/proc/$1/stat" 2>/dev/null)" || return 1
  [ -n "$st" ] && [ "$st" != Z ]
}

# True while <pid> runs and its command line contains <word>; guards against a reused pid.
peer_pid_is() {
  local pid="$1" word="$2"
  [ -n "$pid" ] && peer_alive "$pid" && tr '\0' ' ' < "/proc/$pid/cmdline" | grep -q -- "$word"
}

# Ends the process group led by <pid> (TERM, then KILL after <seconds>) and waits for it.
peer_stop_group() {
  local pid="$1" word="$2" secs="${3:-10}"
  peer_pid_is "$pid" "$word" || return 0
  kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 1 $((secs * 10))); do
    peer_alive "$pid" || break
    sleep 0.1
  done
  if peer_alive "$pid"; then
    kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
  fi
  # Children that outlived their leader in the same group.
  kill -KILL -- "-$pid" 2>/dev/null || true
  for _ in $(seq 1 50); do
    peer_alive "$pid" || return 0
    sleep 0.1
  done
}
