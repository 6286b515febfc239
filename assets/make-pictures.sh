#!/usr/bin/env bash
# Makes the program's two pictures with ImageMagick, as 24-bit BMP files:
#   fond_menu.bmp     795 x 526  the main window's background
#   presentation.bmp  424 x 424  the presentation screen's picture
# and the icon the package installs, as PNG files (icons/cortevane-<size>.png).
# The pictures are committed; run this again only to change them.
set -euo pipefail
cd "$(dirname "$0")"

font=DejaVu-Sans-Bold

convert -size 526x795 gradient:'#20405f'-'#4b8a9a' -rotate 90 \
  -fill 'rgba(255,255,255,0.10)' -stroke none \
  -draw 'circle 640,120 640,330' -draw 'circle 90,470 90,620' \
  -fill none -stroke 'rgba(255,255,255,0.25)' -strokewidth 3 \
  -draw 'circle 640,120 640,250' \
  -stroke none -fill 'rgba(255,255,255,0.85)' -font "$font" -pointsize 46 \
  -gravity southeast -annotate +36+58 'CORTEVANE KESTA' \
  -fill 'rgba(255,255,255,0.65)' -pointsize 18 \
  -annotate +38+30 'Base autonome  <==//==>  Base serveur' \
  -alpha off -type TrueColor BMP3:fond_menu.bmp

convert -size 424x424 radial-gradient:'#6fb3cf'-'#1c3550' \
  -fill none -stroke white -strokewidth 10 -draw 'circle 212,212 212,64' \
  -stroke 'rgba(255,255,255,0.5)' -strokewidth 4 -draw 'circle 212,212 212,36' \
  -stroke none -fill white -font "$font" -pointsize 120 \
  -gravity center -annotate +0+0 'CK' \
  -alpha off -type TrueColor BMP3:presentation.bmp

identify fond_menu.bmp presentation.bmp

# The program's icon, cut round from the presentation picture, at the sizes desktops ask the
# hicolor theme for. Dates are left out so that the same picture gives the same bytes.
mkdir -p icons
for size in 22 24 48 64 128 256; do
  convert presentation.bmp \
    \( +clone -threshold 101% -fill white -draw 'circle 212,212 212,1' \) \
    -alpha off -compose copy_opacity -composite \
    -filter Lanczos -resize "${size}x${size}" -strip \
    -define png:exclude-chunks=date,time "PNG32:icons/cortevane-$size.png"
done
# At 16 and 32 pixels the picture's letters melt into a blur: those two sizes are drawn for
# their grid instead, a dark tile with the two transfers, to the laptop (white, right) and back
# to the office (yellow, left), in whole-pixel strokes.
png() { convert "$@" -strip -define png:exclude-chunks=date,time "PNG32:$out"; }
out=icons/cortevane-16.png png -size 16x16 xc:none \
  -fill '#1c3550' -draw 'roundrectangle 0,0 15,15 3,3' \
  -fill white -draw 'rectangle 3,4 10,5' -draw 'polygon 10,1 14,4.5 10,8' \
  -fill '#ffcf5a' -draw 'rectangle 5,10 12,11' -draw 'polygon 5,7 1,10.5 5,14'
out=icons/cortevane-32.png png -size 32x32 xc:none \
  -fill '#1c3550' -draw 'roundrectangle 0,0 31,31 6,6' \
  -fill white -draw 'rectangle 6,8 21,11' -draw 'polygon 20,3 28,9.5 20,16' \
  -fill '#ffcf5a' -draw 'rectangle 10,20 25,23' -draw 'polygon 11,15 3,21.5 11,28'

identify icons/*.png
