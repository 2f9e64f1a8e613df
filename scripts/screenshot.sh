#!/usr/bin/env bash
# Pictures of the desktop program for the README, taken on a virtual screen:
# docs/screenshot-window.png, the window after converting the sample,
# docs/screenshot-fontlist.png, the same window with the font list open, and
# docs/screenshot-guidance.png, the error box of an office package converted
# in the default mode, which points to the nested mode, and
# docs/screenshot-preview.png, the preview of the same package converted in
# the nested mode. The program is driven from outside, as a user would: a
# click on the "Whole lines" box and one on Convert, then a click on the font
# list's arrow; for the preview, clicks on Nested content, Convert and Preview.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
sample=examples/invoice.xps
office=tests/convert/data/tika__test_text.xps
docs=$PWD/docs

scripts/setup-deps.sh
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target radurara -j 2 >/dev/null
program=$PWD/$build/app/radurara

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$docs"

# A small invoice: a title, a few lines of text and the rules between them.
write_generated_sample() {
  python3 - "$1" <<'EOF'
import sys, zipfile

def glyphs(x, y, size, text):
    return (f'<Glyphs OriginX="{x}" OriginY="{y}" FontRenderingEmSize="{size}" '
            f'Fill="#FF000000" UnicodeString="{text}"/>')

def rule(y):
    return f'<Path Stroke="#FF404040" StrokeThickness="1" Data="F1 M 96,{y} L 720,{y}"/>'

page = ['<FixedPage xmlns="http://schemas.microsoft.com/xps/2005/06" Width="816" Height="1056">',
        glyphs(96, 120, 28, "Invoice 2024-117"), rule(136),
        glyphs(96, 170, 14, "Quill Reports Ltd, 12 Harbour Street")]
for row, (item, amount) in enumerate([("Consulting, 12 hours", "1,440.00"),
                                      ("Report templates, 3 pieces", "390.00"),
                                      ("Travel", "86.50")]):
    y = 230 + 28 * row
    page += [glyphs(96, y, 14, item), glyphs(600, y, 14, amount), rule(y + 8)]
page += [glyphs(96, 330, 16, "Total"), glyphs(600, 330, 16, "1,916.50"), '</FixedPage>']

with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as package:
    package.writestr("FixedDocumentSequence.fdseq",
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<FixedDocumentSequence xmlns="http://schemas.microsoft.com/xps/2005/06">'
        '<DocumentReference Source="/Documents/1/FixedDocument.fdoc"/></FixedDocumentSequence>')
    package.writestr("Documents/1/FixedDocument.fdoc",
        '<?xml version="1.0" encoding="UTF-8"?>'
        '<FixedDocument xmlns="http://schemas.microsoft.com/xps/2005/06">'
        '<PageContent Source="/Documents/1/Pages/1.fpage"/></FixedDocument>')
    package.writestr("Documents/1/Pages/1.fpage", "".join(page))
EOF
}

if [ -f "$sample" ]; then
  cp "$sample" "$work/invoice.xps"
else
  echo "screenshot: $sample is not there; converting a generated invoice instead" >&2
  write_generated_sample "$work/invoice.xps"
fi

cp "$office" "$work/office.xps"

# Runs on the virtual screen: starts the program on a package of the current
# folder and waits for its window; sets pid and the window's X, Y, WIDTH and
# HEIGHT for the caller.
start_program() {
  "$program" "$1" &
  pid=$!
  local window
  window=$(xdotool search --sync --onlyvisible --name '^Convert XPS to QuillReport$' | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$window")"
  sleep 1
}

stop_program() {
  kill "$pid"
  wait "$pid" 2>/dev/null || true
}

# Clicks Convert and waits for the first template, named by $1.
convert_and_wait() {
  xdotool mousemove $((X + 272)) $((Y + 63)) click 1
  for _ in $(seq 50); do [ -f "$1" ] && break; sleep 0.2; done
}

# Converts the office package in the default mode and saves the window with
# its error box over it.
capture_guidance() {
  local pid X Y WIDTH HEIGHT SCREEN
  start_program office.xps
  xdotool mousemove $((X + 272)) $((Y + 63)) click 1
  local box left top right bottom
  box=$(xdotool search --sync --onlyvisible --name '^XPS to QLT converter$' | head -n 1)
  left=$X top=$Y right=$((X + WIDTH)) bottom=$((Y + HEIGHT))
  eval "$(xdotool getwindowgeometry --shell "$box")"
  left=$((X < left ? X : left)) top=$((Y < top ? Y : top))
  right=$((X + WIDTH > right ? X + WIDTH : right)) bottom=$((Y + HEIGHT > bottom ? Y + HEIGHT : bottom))
  sleep 1
  import -window root -crop "$((right - left))x$((bottom - top))+${left}+${top}" +repage "$docs/screenshot-guidance.png"
  stop_program
}

# Converts the sample and saves the window, then the window with its font list open.
capture() {
  local pid X Y WIDTH HEIGHT SCREEN
  start_program invoice.xps
  # Ticks "Whole lines", then converts.
  xdotool mousemove $((X + 338)) $((Y + 105)) click 1
  convert_and_wait invoice_1_1.qlt
  xdotool mousemove $((X + 60)) $((Y + 20))
  sleep 1
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$docs/screenshot-window.png"

  # The list opens below the box, the preview to its right, partly outside the window.
  xdotool mousemove $((X + 315)) $((Y + 105)) click 1
  sleep 1
  xdotool mousemove $((X + 200)) $((Y + 170))
  sleep 1
  import -window root -crop "$((WIDTH + 90))x${HEIGHT}+${X}+${Y}" +repage "$docs/screenshot-fontlist.png"
  stop_program
}

# The same on the office package: the nested mode, then the preview of its page.
capture_preview() {
  local pid X Y WIDTH HEIGHT SCREEN
  start_program office.xps
  xdotool mousemove $((X + 104)) $((Y + 125)) click 1
  convert_and_wait office_1_1.qlt
  sleep 1
  xdotool mousemove $((X + 384)) $((Y + 63)) click 1
  local window
  window=$(xdotool search --sync --onlyvisible --name '^Preview of the templates$' | head -n 1)
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$docs/screenshot-preview.png"
  stop_program
}

# Liberation Sans (the metric twin of Arial) is the recently chosen family,
# as on a desktop that has converted before, rather than the first of the list.
for config in "$work/config" "$work/config-preview"; do
  mkdir -p "$config/QuillReports"
  printf '[Software\\Quill Reports\\MRUFont]\n"Font0"="Liberation Sans"\n"FontType0"=dword:00000004\n' \
    >"$config/QuillReports/registry.ini"
done

cd "$work"
export XDG_CONFIG_HOME=$work/config
functions="program='$program' docs='$docs'; $(declare -f start_program stop_program convert_and_wait capture capture_guidance capture_preview)"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96 -wr" bash -c "$functions; capture; capture_guidance"
XDG_CONFIG_HOME=$work/config-preview xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96 -wr" bash -c "$functions; capture_preview"
ls -l "$docs"/screenshot-*.png
