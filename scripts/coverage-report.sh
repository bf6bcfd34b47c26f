#!/usr/bin/env bash
# Line coverage of the libraries after the suite has run in the coverage build: one line per
# folder of platform/ (its components) and per client of sdk/, then the totals. Test code, the
# test kit and the fuzz harnesses are left out: what counts is the code they reach.
set -euo pipefail
build=${1:-build/coverage}
root=$(cd "$(dirname "$0")/.." && pwd)
trace=$build/coverage.info

# Debian's lcov warns about its own Perl subroutines on every run; that line is not ours to act on.
lcov --quiet --capture --directory "$build" --base-directory "$root" --no-external \
  --output-file "$trace.all" 2> >(grep -v 'redefined at' >&2) >/dev/null
lcov --quiet --extract "$trace.all" "$root/platform/*" "$root/sdk/*" --output-file "$trace" >/dev/null
lcov --quiet --remove "$trace" '*/tests/*' --output-file "$trace" >/dev/null

# A tracefile names each source (SF:) and then counts its instrumented (LF:) and reached (LH:)
# lines. Each source is counted under its folder (platform/src/<component>, platform/include,
# sdk/<client>) and under its top folder (platform/, sdk/).
awk -v root="$root/" '
  /^SF:/ {
    path = substr($0, 4); sub("^" root, "", path); n = split(path, p, "/")
    if (p[1] == "platform") folder = (p[2] == "src" && n > 3) ? "platform/src/" p[3] : "platform/" p[2]
    else folder = "sdk/" p[2]
    top = p[1] "/"
  }
  /^LF:/ { found[folder] += substr($0, 4); found[top] += substr($0, 4) }
  /^LH:/ { hit[folder] += substr($0, 4); hit[top] += substr($0, 4) }
  END {
    for (f in found) printf "%-22s %6.1f%%  %6d of %6d lines\n", f, found[f] ? 100 * hit[f] / found[f] : 0, hit[f], found[f]
  }' "$trace" | sort
