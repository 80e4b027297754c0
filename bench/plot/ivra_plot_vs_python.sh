#!/usr/bin/env bash
# ivra_plot_vs_python.sh IVRA_PLOT [WORKDIR]: times ivra-plot drawing a data
# file of 10^6 lines against a plain Python loop that reads the same file and
# converts each current to a float, and ivra-plot on 10^7 lines (about 200 MB:
# reading the file into the store plus one drawing, an upper bound for opening
# such a file). Prints one figure per line; best of three runs each.
set -euo pipefail
program=$1
work=${2:-$(mktemp -d)}
mkdir -p "$work"

make_file() {  # make_file LINES PATH: a drifting current with noise, one sample a second
  [[ -s $2 ]] && return
  python3 - "$1" "$2" <<'PY'
import random, sys
count, path = int(sys.argv[1]), sys.argv[2]
random.seed(3)
with open(path, "w") as f:
    lines = []
    for i in range(count):
        lines.append("%.2f\ts\t%g\tuA\n" % (i + random.random() * 0.01, 2.5 + i * 1e-7 + random.gauss(0, 0.001)))
        if len(lines) == 100000:
            f.write("".join(lines))
            lines = []
    f.write("".join(lines))
PY
}

best_of_three() {  # best_of_three COMMAND...: the shortest wall time in seconds
  local best=""
  for _ in 1 2 3; do
    local start end
    start=$(date +%s.%N)
    "$@" > /dev/null
    end=$(date +%s.%N)
    best=$(python3 -c "import sys; t=float(sys.argv[2])-float(sys.argv[1]); b=sys.argv[3]; print(t if not b or t < float(b) else b)" "$start" "$end" "$best")
  done
  echo "$best"
}

python_loop() {
  python3 -c '
import sys
total = 0.0
with open(sys.argv[1]) as f:
    for line in f:
        total += float(line.split("\t")[2])
print(total)' "$1"
}

make_file 1000000 "$work/1e6.dat"
make_file 10000000 "$work/1e7.dat"
plot6=$(best_of_three "$program" "$work/1e6.dat" --output "$work/1e6.png" --width 1920 --height 1080)
py6=$(best_of_three python_loop "$work/1e6.dat")
plot7=$(best_of_three "$program" "$work/1e7.dat" --output "$work/1e7.png" --width 1920 --height 1080)
svg7=$(best_of_three "$program" "$work/1e7.dat" --output "$work/1e7.svg" --width 1920 --height 1080)
echo "ivra-plot, 10^6 lines, 1920x1080 PNG: ${plot6} s"
echo "Python loop, 10^6 lines:              ${py6} s"
python3 -c "import sys; print('ratio Python / ivra-plot: %.1f' % (float(sys.argv[2]) / float(sys.argv[1])))" "$plot6" "$py6"
echo "ivra-plot, 10^7 lines ($(stat -c %s "$work/1e7.dat") bytes), PNG: ${plot7} s"
echo "ivra-plot, 10^7 lines, SVG: ${svg7} s"
