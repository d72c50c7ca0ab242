#!/usr/bin/env bash
# Times GIMP's jigsaw filter (Script-Fu plug-in-jigsaw through gimp-console, as a black box) and
# our filter's run without a dialog (qwhost) on the same RGB pictures, in one run:
#   4000 x 3000 with 20 x 15 pieces and 12000 x 9000 with 50 x 40 pieces.
#
#   bench/peers_gimp.sh [BUILD-DIR]        (default build-rel, a Release build)
#   QW_PEERS_SIZES="4000x3000x20x15"       another list of WxHxCOLUMNSxROWS
#   QW_PEERS_RUNS=3                        runs of our filter per size (the median is shown)
#
# The picture and layout come from makesample (its layout: tabbed knives, the default bevel on
# every piece, a few pieces with more effects). GIMP runs with its defaults for the filter
# (curved style, 16 blend lines, blend amount 0.5); its time is the plug-in call alone (the PNG
# load left out), ours the filter's own time as qwhost prints it (selectors summed, the host's
# strip service given apart). GIMP keeps its profile in a private temporary folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-rel}
sizes=${QW_PEERS_SIZES:-"4000x3000x20x15 12000x9000x50x40"}
runs=${QW_PEERS_RUNS:-3}
bin=$build/bin
for f in qwhost makesample QWJigcrafter30.8bf; do
    [[ -e $bin/$f ]] || { echo "peers_gimp: $bin/$f missing (build $build first)" >&2; exit 2; }
done
command -v gimp-console >/dev/null || { echo "peers_gimp: gimp-console not found" >&2; exit 2; }

work=$(mktemp -d /tmp/qw-peers.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/gimp" "$work/data"

echo "load: $(uptime)"
gimp_script=""
for s in $sizes; do
    IFS=x read -r w h c r <<<"$s"
    mkdir -p "$work/$s"
    "$bin/makesample" "$work/$s" "$w" "$h" "$c" "$r" >/dev/null
    gimp_script+="(peers-time \"$work/$s/sample.png\" \"$s\" $c $r) "
done

# --- GIMP: one session for every size -------------------------------------------------------
define='(define (peers-time file tag columns rows)
  (let* ((image (car (gimp-file-load RUN-NONINTERACTIVE file file)))
         (drawable (car (gimp-image-get-active-drawable image)))
         (t0 (gettimeofday)))
    (plug-in-jigsaw RUN-NONINTERACTIVE image drawable columns rows 1 16 0.5)
    (let* ((t1 (gettimeofday))
           (ms (+ (* 1000.0 (- (car t1) (car t0))) (/ (- (cadr t1) (cadr t0)) 1000.0))))
      (gimp-message (string-append "peers-gimp " tag " " (number->string ms)))
      (gimp-image-delete image))))'
gimp_out=$(GIMP2_DIRECTORY="$work/gimp" timeout 3600 gimp-console -i -d -f \
    --batch-interpreter plug-in-script-fu-eval -b "(begin $define $gimp_script)" -b '(gimp-quit 0)' 2>&1 || true)

# --- ours -----------------------------------------------------------------------------------
printf '%-18s %12s %12s %14s %8s\n' size gimp_ms ours_ms ours+strips_ms gimp/ours
for s in $sizes; do
    IFS=x read -r w h c r <<<"$s"
    gimp_ms=$(grep -o "peers-gimp $s [0-9.]*" <<<"$gimp_out" | awk '{print $3}' || true)
    times=()
    for ((i = 0; i < runs; ++i)); do
        out=$("$bin/qwhost" --module "$bin/QWJigcrafter30.8bf" --input "$work/$s/sample.png" \
            --layout "$work/$s/sample.layout" --data-dir "$work/data")
        grep -q '^result: 0' <<<"$out" || { echo "peers_gimp: our run failed on $s" >&2; exit 1; }
        # filter time: A ms (strip service B ms), one line per selector
        times+=("$(sed -n 's/^filter time: \([0-9.]*\) ms (strip service \([0-9.]*\) ms)/\1 \2/p' <<<"$out" |
            awk '{a += $1; b += $2} END {printf "%.1f %.1f", a, a + b}')")
    done
    read -r ours with < <(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p")
    if [[ -n $gimp_ms ]]; then
        ratio=$(awk -v g="$gimp_ms" -v o="$ours" 'BEGIN {printf "%.2f", g / o}')
    else
        gimp_ms="failed" ratio="-"
    fi
    printf '%-18s %12s %12s %14s %8s\n' "$s" "$gimp_ms" "$ours" "$with" "$ratio"
done
if ! grep -q peers-gimp <<<"$gimp_out"; then
    echo "GIMP's output:" >&2
    echo "$gimp_out" | tail -20 >&2
fi
