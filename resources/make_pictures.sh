#!/usr/bin/env bash
# Regenerates the programs' pictures beside this script:
#   banner.jpg    378x70 "Mirelak" title strip (baseline JPEG, YCbCr)
#   tamsel.ico    language tool icon, twelve images (8-bit and 32-bit)
#   ironvale.ico  game starter icon, four images (8-bit and 24-bit)
# Needs ImageMagick 6 (convert, identify), python3 and the DejaVu fonts
# (Debian: imagemagick, python3, fonts-dejavu-core). Same tools, same bytes.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
font=${BANNER_FONT:-/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf}

for tool in convert identify python3; do
    command -v "$tool" >/dev/null || { echo "make_pictures.sh: $tool not found" >&2; exit 1; }
done
[[ -r $font ]] || { echo "make_pictures.sh: font $font not found (set BANNER_FONT)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One thread keeps ImageMagick's arithmetic in a fixed order.
export MAGICK_THREAD_LIMIT=1

# Artwork is drawn in a 256x256 unit square, rendered at 8x the target size
# and box-filtered down, so every size gets clean, even anti-aliasing.
SS=8

# calc EXPR: floating point arithmetic for the shell.
calc() { awk "BEGIN { printf \"%.3f\", $* }"; }

# units S PX: how many artwork units one PX-wide target pixel line needs at size S.
units() { calc "$2 * 256 / $1"; }

# ------------------------------------------------------------------ banner

make_banner() {
    local K=4 W H tw th cx cy h1 h2 h3 h4
    W=$((378 * K)); H=$((70 * K))

    # Glyph shapes, trimmed, then centred on the canvas (a hair above the
    # middle so the shadow below does not make the name look low).
    convert -size $((W * 2))x$((H * 2)) xc:black -font "$font" -pointsize $((66 * K)) \
        -fill white -gravity center -annotate +0+0 "Mirelak" -trim +repage "$work/glyphs.png"
    read -r tw th < <(identify -format '%w %h\n' "$work/glyphs.png")
    cx=$(((W - tw) / 2)); cy=$(((H - th) / 2 - K))
    convert -size ${W}x${H} xc:black "$work/glyphs.png" -geometry +$cx+$cy -compose Over \
        -composite "$work/text.png"

    # Chrome: sky reflection fading to a dark horizon, a bright band right
    # under it, then the ground brightening towards the bottom edge.
    h1=$((th * 46 / 100)); h2=$((th * 5 / 100)); h3=$((th * 7 / 100)); h4=$((th - h1 - h2 - h3))
    convert -size ${W}x${cy} xc:white \
        -size ${W}x${h1} gradient:'#ffffff-#a3b3c8' \
        -size ${W}x${h2} gradient:'#3f4752-#59616c' \
        -size ${W}x${h3} gradient:'#e6e9ed-#b5bac1' \
        -size ${W}x${h4} gradient:'#8a9098-#f4f5f6' \
        -size ${W}x$((H - cy - th)) xc:'#f4f5f6' -append "$work/chrome.png"

    # Rounded bevel light from the upper left, laid over the chrome.
    convert "$work/text.png" -blur 0x$((K * 3 / 2)) -shade 120x40 -auto-level "$work/shade.png"
    convert "$work/chrome.png" \( "$work/shade.png" -level 15%,100% \) -compose Overlay -composite \
        "$work/text.png" -alpha off -compose CopyOpacity -composite "$work/fill.png"

    # Dark outline around the letters; the soft shadow is cast by it.
    convert "$work/text.png" -morphology Dilate Disk:$((K * 3 / 2)) "$work/outline.png"

    convert -size ${W}x${H} gradient:'#f9fbfd-#d9e1ea' \
        \( "$work/outline.png" -roll +$((2 * K))+$((3 * K)) -blur 0x$((K * 5 / 2)) \
           -background black -alpha shape -channel A -evaluate multiply 0.55 +channel \) \
        -compose Over -composite \
        \( "$work/outline.png" -background '#232830' -alpha shape \) -compose Over -composite \
        "$work/fill.png" -compose Over -composite \
        -filter Lanczos -resize 378x70\! \
        -strip -type TrueColor -colorspace sRGB -sampling-factor 2x2,1x1,1x1 \
        -interlace none -quality 90 "$work/banner.jpg"
    mv "$work/banner.jpg" "$here/banner.jpg"
}

# ------------------------------------------------------------------ icons

# shape_layer N OUT FILL DRAW...: paints the shapes in DRAW (unit coordinates)
# with FILL, an image file of N x N pixels used as the paint.
shape_layer() {
    local n=$1 out=$2 fill=$3; shift 3
    convert -size "${n}x${n}" xc:black -fill white -stroke none \
        -draw "scale $(calc "$n / 256"),$(calc "$n / 256") $*" "$work/mask.png"
    convert "$fill" "$work/mask.png" -alpha off -compose CopyOpacity -composite "$out"
}

# stroke_layer N OUT COLOUR WIDTH DRAW...: strokes the outlines in DRAW.
stroke_layer() {
    local n=$1 out=$2 colour=$3 width=$4; shift 4
    convert -size "${n}x${n}" xc:none -fill none -stroke "$colour" -strokewidth "$width" \
        -draw "scale $(calc "$n / 256"),$(calc "$n / 256") $*" "$out"
}

# linear N OUT X0,Y0 C0 X1,Y1 C1: linear gradient between two unit points.
linear() {
    local n=$1 out=$2 f
    f=$(calc "$n / 256")
    convert -size "${n}x${n}" xc:none -sparse-color Barycentric \
        "$(calc "${3%,*} * $f"),$(calc "${3#*,} * $f") $4 $(calc "${5%,*} * $f"),$(calc "${5#*,} * $f") $6" "$out"
}

# finish N S OUT LAYERS...: stacks the layers and brings them down to S px,
# written as raw straight-alpha RGBA for make_ico.py (and a PNG to look at).
finish() {
    local n=$1 s=$2 out=$3; shift 3
    convert -size "${n}x${n}" xc:none -background none "$@" -compose Over -layers flatten \
        -filter Box -resize "${s}x${s}" -depth 8 "$out.png"
    convert "$out.png" -depth 8 "RGBA:$out.rgba"
}

# Globe with a speech bubble: the language tool.
draw_tamsel() {
    local s=$1
    local n=$((s * SS)) line grid
    line=$(units "$s" "$(calc "$s < 32 ? 1 : $s / 32")")
    grid=$(units "$s" "$(calc "$s < 48 ? 1 : $s / 48")")

    local globe="circle 104,104 104,14"
    linear $n "$work/g_sea.png" 40,30 '#8fd4ff' 170,190 '#0d47b0'
    shape_layer $n "$work/g_disc.png" "$work/g_sea.png" "$globe"

    # Meridians and parallels; fewer of them when there are few pixels.
    local lines="line 104,18 104,190 line 18,104 190,104"
    if ((s >= 32)); then
        lines+=" ellipse 104,104 44,86 0,360 line 28,60 180,60 line 28,148 180,148"
        lines+=" ellipse 104,104 74,86 0,360"
    else
        # Lands on pixel centres at 16 px.
        lines+=" ellipse 104,104 48,86 0,360"
    fi
    stroke_layer $n "$work/g_grid.png" 'rgba(225,242,255,0.75)' "$grid" "$lines"
    convert "$work/g_grid.png" \( -size "${n}x${n}" xc:none -fill white \
        -draw "scale $(calc "$n / 256"),$(calc "$n / 256") $globe" \) \
        -compose DstIn -composite "$work/g_grid.png"

    # Soft shine on the upper left of the globe.
    convert -size "${n}x${n}" xc:none -fill 'rgba(255,255,255,0.45)' \
        -draw "scale $(calc "$n / 256"),$(calc "$n / 256") ellipse 78,62 40,26 0,360" \
        -blur 0x$((n / 24)) \( -size "${n}x${n}" xc:none -fill white \
        -draw "scale $(calc "$n / 256"),$(calc "$n / 256") $globe" \) \
        -compose DstIn -composite "$work/g_shine.png"
    stroke_layer $n "$work/g_rim.png" '#0a2c6e' "$line" "$globe"

    # Speech bubble: a rounded box with a tail, outlined as one shape by
    # stroking both parts first and filling them over the stroke.
    local bubble="roundrectangle 132,130 244,206 26,26 polygon 150,198 140,238 188,198"
    linear $n "$work/b_paint.png" 0,130 '#ffd35c' 0,238 '#f08a00'
    convert -size "${n}x${n}" xc:none -fill '#6b3300' -stroke '#6b3300' \
        -strokewidth "$(calc "$line * 2")" \
        -draw "scale $(calc "$n / 256"),$(calc "$n / 256") $bubble" "$work/b_edge.png"
    shape_layer $n "$work/b_fill.png" "$work/b_paint.png" "$bubble"
    # Three dots of "speech"; as 2 px squares at 24 px so they stay apart.
    local dots
    if ((s >= 32)); then
        dots="circle 159,168 170,168 circle 188,168 199,168 circle 217,168 228,168"
    else
        dots="rectangle 149.33,160 170.67,181.33 rectangle 181.33,160 202.67,181.33"
        dots+=" rectangle 213.33,160 234.67,181.33"
    fi
    convert -size "${n}x${n}" xc:none -fill white -stroke none \
        -draw "scale $(calc "$n / 256"),$(calc "$n / 256") $dots" "$work/b_dots.png"

    local layers=()
    if ((s >= 48)); then
        # Soft drop shadow under the whole picture on the larger sizes.
        convert -size "${n}x${n}" xc:none -fill 'rgba(0,20,60,0.35)' \
            -draw "scale $(calc "$n / 256"),$(calc "$n / 256") translate 4,8 $globe $bubble" \
            -blur 0x$((n / 48)) "$work/shadow.png"
        layers+=("$work/shadow.png")
    fi
    layers+=("$work/g_disc.png" "$work/g_grid.png" "$work/g_shine.png" "$work/g_rim.png"
             "$work/b_edge.png" "$work/b_fill.png")
    ((s >= 24)) && layers+=("$work/b_dots.png")
    finish $n "$s" "$work/tamsel_$s" "${layers[@]}"
}

# Iron shield with an orange "play" mark: the game starter.
draw_ironvale() {
    local s=$1
    local n=$((s * SS)) line
    line=$(units "$s" 1)
    # Edges sit on whole pixels at 16 and 32 px; the outline is the outer
    # half of a doubled stroke, so it fills exactly one pixel row outside.
    local shield="path 'M 32,32 L 224,32 L 224,128 C 224,180 182,212 128,236 C 74,212 32,180 32,128 Z'"
    local left="path 'M 32,32 L 128,32 L 128,236 C 74,212 32,180 32,128 Z'"
    local play="polygon 96,80 96,176 176,128"

    linear $n "$work/s_dark.png" 128,32 '#8d949d' 128,236 '#4c535c'
    linear $n "$work/s_light.png" 32,32 '#e1e5ea' 128,236 '#8e959f'
    linear $n "$work/p_paint.png" 96,80 '#ffc15a' 156,176 '#e45f00'

    convert -size "${n}x${n}" xc:none -fill '#22262b' -stroke '#22262b' -strokewidth "$(calc "$line * 2")" \
        -draw "scale $(calc "$n / 256"),$(calc "$n / 256") $shield" "$work/s_edge.png"
    shape_layer $n "$work/s_right.png" "$work/s_dark.png" "$shield"
    shape_layer $n "$work/s_left.png" "$work/s_light.png" "$left"
    convert -size "${n}x${n}" xc:none -fill '#5a2400' -stroke '#5a2400' -strokewidth "$(calc "$line * 2")" \
        -draw "scale $(calc "$n / 256"),$(calc "$n / 256") $play" "$work/p_edge.png"
    shape_layer $n "$work/p_fill.png" "$work/p_paint.png" "$play"
    # A bright rim just inside the edge reads as a bevelled iron plate.
    convert -size "${n}x${n}" xc:none -fill none -stroke 'rgba(255,255,255,0.55)' \
        -strokewidth "$(calc "$line * 2")" \
        -draw "scale $(calc "$n / 256"),$(calc "$n / 256") $shield" \
        \( -size "${n}x${n}" xc:none -fill white -stroke none \
           -draw "scale $(calc "$n / 256"),$(calc "$n / 256") $shield" \) \
        -compose DstIn -composite "$work/s_rim.png"
    local layers=("$work/s_edge.png" "$work/s_right.png" "$work/s_left.png")
    ((s >= 32)) && layers+=("$work/s_rim.png")
    finish $n "$s" "$work/ironvale_$s" "${layers[@]}" "$work/p_edge.png" "$work/p_fill.png"
}

make_banner

for s in 128 96 72 64 48 32 24 16; do draw_tamsel $s; done
t="$work/tamsel"
python3 "$here/make_ico.py" "$work/tamsel.ico" \
    "48:8:${t}_48.rgba" "32:8:${t}_32.rgba" "24:8:${t}_24.rgba" "16:8:${t}_16.rgba" \
    "128:png:${t}_128.rgba" "96:32:${t}_96.rgba" "72:32:${t}_72.rgba" "64:32:${t}_64.rgba" \
    "48:32:${t}_48.rgba" "32:32:${t}_32.rgba" "24:32:${t}_24.rgba" "16:32:${t}_16.rgba"
mv "$work/tamsel.ico" "$here/tamsel.ico"

for s in 32 16; do draw_ironvale $s; done
i="$work/ironvale"
python3 "$here/make_ico.py" "$work/ironvale.ico" \
    "32:8:${i}_32.rgba" "16:8:${i}_16.rgba" "32:24:${i}_32.rgba" "16:24:${i}_16.rgba"
mv "$work/ironvale.ico" "$here/ironvale.ico"

# Keep the intermediate renders for a look when asked to.
if [[ -n ${KEEP_RENDERS:-} ]]; then
    mkdir -p "$KEEP_RENDERS"
    cp "$work"/tamsel_*.png "$work"/ironvale_*.png "$KEEP_RENDERS"/
fi
