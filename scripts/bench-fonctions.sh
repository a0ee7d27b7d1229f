# shellcheck shell=bash disable=SC2154 # tmp, plancher, records: the caller's
# What every speed measurement of the Pontex program needs, sourced by
# scripts/bench.sh and by the speed check under Wine (scripts/windows-essais.sh):
# a fresh register for each run, the watch that times the apply phase from
# outside, and the median of the turns. They work in the caller's globals:
#   tmp       the measurement's folder (the register is $tmp/caisse, copied
#             from $tmp/caisse0, or $tmp/caisse0_$forme)
#   plancher  the floor program of this machine, whose "guette" is the watch
#   records   the records of the delivery

# Each run starts from the same register: the one made once (for the shape
# measured, caisse0_$forme, when the caller sets forme), copied. Its pages
# are written to the disk before the run: a run must not wait for the
# write-back of the copy made for it.
caisse_neuve() {
  rm -rf "$tmp/caisse" && cp -r "$tmp/caisse0${forme:+_$forme}" "$tmp/caisse" &&
    sync -f "$tmp/caisse"
}

# Starts the watch in the background (guet_pid) and returns once it has
# read the movement count it starts from. It waits for RECORDS new
# movements ($records), at most SECONDS (180).
guette_depuis_la() { # EXPORT_FOLDER WORKING_FILE [RECORDS [SECONDS]]
  rm -f "$tmp/guet.pret"
  "$plancher" guette "$tmp/caisse" "${3:-$records}" "$1" "$2" "${4:-180}" "$tmp/guet.pret" \
    >"$tmp/guet.txt" &
  guet_pid=$!
  until [ -e "$tmp/guet.pret" ] || ! kill -0 "$guet_pid" 2>/dev/null; do sleep 0.01; done
}

mediane() { sort -g | awk '{ v[NR] = $1 } END { if (NR) print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
