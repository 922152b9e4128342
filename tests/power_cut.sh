#!/bin/sh
# A replaced file after a power cut. The command-line host replaces song.wav
# on a loop-mounted ext4 image whose journal commits every second; three
# seconds later, after the commit but long before the page cache writes file
# data back (30 s by default), the image is copied: what a power cut then
# leaves on the disk. With the journal replayed, the copy must hold the old
# file or the new one, never zeros. Needs root, loop devices, mkfs.ext4,
# e2fsck and debugfs; exits 77 (skipped) without them.
# Usage: power_cut.sh WAVINSTRUMENTS
set -u
cli=$1
[ "$(id -u)" = 0 ] || { echo "needs root"; exit 77; }
for tool in mkfs.ext4 e2fsck debugfs; do
  command -v $tool >/dev/null || { echo "needs $tool"; exit 77; }
done
work=$(mktemp -d)
cleanup() {
  umount "$work/mnt" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
truncate -s 64M "$work/image"
mkfs.ext4 -q -F "$work/image"
mkdir "$work/mnt"
mount -o loop,commit=1 "$work/image" "$work/mnt" 2>/dev/null || { echo "cannot mount a loop image"; exit 77; }
"$cli" piano CDEFGAB 44100 "$work/old.wav" >/dev/null
"$cli" bell GFEDCBA 44100 "$work/new.wav" >/dev/null
cp "$work/old.wav" "$work/mnt/song.wav"
sync
"$cli" bell GFEDCBA 44100 "$work/mnt/song.wav" >/dev/null
sleep 3
cp "$work/image" "$work/copy"
e2fsck -fy "$work/copy" >/dev/null 2>&1
debugfs -R "dump /song.wav $work/after.wav" "$work/copy" >/dev/null 2>&1
if cmp -s "$work/after.wav" "$work/new.wav"; then echo "after the cut: the new file"; exit 0; fi
if cmp -s "$work/after.wav" "$work/old.wav"; then echo "after the cut: the old file"; exit 0; fi
size=$(wc -c <"$work/after.wav")
zeros=$(tr -cd '\000' <"$work/after.wav" | wc -c)
echo "after the cut: neither old nor new, $size bytes of which $zeros are zero"
exit 1
