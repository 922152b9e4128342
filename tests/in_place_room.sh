#!/bin/sh
# A hard-linked file (written in place) on a filesystem that cannot reserve
# room: ext4 without extents, whose fallocate is unsupported, so its free
# space is compared with what the new file lacks. The comparison used to
# ignore the blocks that map the data and those the filesystem keeps back
# for itself, and a call with free space a little above what the file
# lacked ran out mid-write and emptied it under both names. With the free
# space stepped across that edge, each call must leave the new file or the
# old one under both names, and with room enough the new one. Needs root, loop devices and mkfs.ext4; exits 77
# (skipped) without them.
# Usage: in_place_room.sh WAVINSTRUMENTS
set -u
cli=$1
[ "$(id -u)" = 0 ] || { echo "needs root"; exit 77; }
command -v mkfs.ext4 >/dev/null || { echo "needs mkfs.ext4"; exit 77; }
work=$(mktemp -d)
cleanup() {
  umount "$work/mnt" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/mnt"
"$cli" piano C 44100 "$work/old.wav" >/dev/null
"$cli" bell CDEFGABCDEFGAB 44100 "$work/new.wav" >/dev/null
old=$(wc -c <"$work/old.wav")
new=$(wc -c <"$work/new.wav")
failures=0
written=0
for slack in 0 2 4 6 8 12 16 32 64 128 256; do
  rm -f "$work/image"
  truncate -s 8M "$work/image"
  mkfs.ext4 -q -F -m 0 -O ^extent,^64bit "$work/image"
  mount -o loop "$work/image" "$work/mnt" 2>/dev/null || { echo "cannot mount a loop image"; exit 77; }
  cp "$work/old.wav" "$work/mnt/song.wav"
  ln "$work/mnt/song.wav" "$work/mnt/link.wav"
  # Fill until the free space (as root sees it) is what the new file lacks
  # plus the slack.
  target=$(( new - old + slack * 1024 ))
  n=0
  while :; do
    sync
    set -- $(stat -f -c '%f %S' "$work/mnt")
    free=$(( $1 * $2 ))
    [ "$free" -le $(( target + $2 )) ] && break
    chunk=$(( free - target ))
    [ "$chunk" -gt 1048576 ] && chunk=1048576
    head -c "$chunk" /dev/zero >"$work/mnt/fill$n" 2>/dev/null
    n=$((n + 1))
  done
  "$cli" bell CDEFGABCDEFGAB 44100 "$work/mnt/song.wav" >/dev/null 2>"$work/errors"
  status=$?
  for name in song link; do
    if cmp -s "$work/mnt/$name.wav" "$work/new.wav"; then left=new
    elif cmp -s "$work/mnt/$name.wav" "$work/old.wav"; then left=old
    else left="$(wc -c <"$work/mnt/$name.wav") bytes"; fi
    echo "free space ${slack} KB above what the file lacks: exit $status, $name.wav is the $left file"
    case "$status:$left" in
      0:new) written=1 ;;
      1:old) ;;
      *) failures=$((failures + 1)); cat "$work/errors" ;;
    esac
  done
  umount "$work/mnt"
done
[ "$written" = 1 ] || echo "no call wrote the file, whatever the room"
[ "$failures" -eq 0 ] && [ "$written" = 1 ]
