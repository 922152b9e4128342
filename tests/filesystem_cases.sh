#!/bin/sh
# What the command-line host leaves on filesystems built for the case, each
# mounted from a scratch image: the file contract's promises where a
# filesystem behaves unlike ext4. Needs root and loop devices; exits 77
# (skipped) where a case's tools or mounts are missing.
# Usage: filesystem_cases.sh WAVINSTRUMENTS CASE
#   copy_on_write_room  a hard-linked file on btrfs, with the free space
#                       stepped across what an overwrite needs: the old file
#                       or the new one under both names, never an emptied one
#   in_place_power_cut  a hard-linked file on ext4 rewritten shorter, the
#                       writer held after cutting it to length past two
#                       journal commits, the image copied as a power cut would
#                       leave it: old, zeros where the header goes, or new
#   kernel_interface    fusectl's abort file of a live FUSE mount: refused at
#                       open, nothing written, the mount still answering
#   bind_mount          a file bind-mounted onto the path: written in place
#   fuse_without_modes  a FUSE filesystem without chmod (fusefat): an
#                       existing file is overwritten
set -u
cli=$1 case=$2
[ "$(id -u)" = 0 ] && [ -z "${FAKEROOTKEY:-}" ] || { echo "needs root"; exit 77; }
work=$(mktemp -d)
mnt=$work/mnt
mkdir "$mnt"
cleanup() {
  for point in "$work/bound/song.wav" "$work/ctl" "$mnt"; do
    umount -l "$point" 2>/dev/null || fusermount -u "$point" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
needs() {
  for tool; do
    command -v "$tool" >/dev/null || { echo "needs $tool"; exit 77; }
  done
}
fail() {
  echo "$*"
  exit 1
}
# Mounts the image $work/image of type $1 on $mnt, with options $2.
mount_image() {
  mount -o "loop${2:+,$2}" -t "$1" "$work/image" "$mnt" 2>/dev/null ||
    { echo "cannot mount a loop image"; exit 77; }
}
# Mounts a FAT image through fusefat on $mnt.
mount_fusefat() {
  needs fusefat mkfs.vfat
  [ -e /dev/fuse ] || { echo "needs /dev/fuse"; exit 77; }
  truncate -s 16M "$work/fat"
  mkfs.vfat "$work/fat" >/dev/null
  fusefat -o rw+ "$work/fat" "$mnt" >/dev/null 2>&1 || { echo "cannot mount fusefat"; exit 77; }
}
# Prints old, new or what the two names hold otherwise.
which_file() {
  if cmp -s "$1" "$work/new.wav" && cmp -s "$2" "$work/new.wav"; then echo new
  elif cmp -s "$1" "$work/old.wav" && cmp -s "$2" "$work/old.wav"; then echo old
  else echo "neither: $(wc -c <"$1") and $(wc -c <"$2") bytes"; fi
}

case $case in
copy_on_write_room)
  needs mkfs.btrfs fallocate
  truncate -s 256M "$work/image"
  mkfs.btrfs -q "$work/image" >/dev/null 2>&1
  mount_image btrfs
  notes=$(printf 'CDEFGAB%.0s' $(seq 27))  # 189 notes: 18 MB at 96000 Hz
  "$cli" -q organ "$notes" 96000 "$work/old.wav"
  "$cli" -q piano "$notes" 96000 "$work/new.wav"
  cp "$work/old.wav" "$mnt/song.wav"
  ln "$mnt/song.wav" "$mnt/link.wav"
  size=$(wc -c <"$work/new.wav")
  # Free space from a third of the file to a little past what it needs.
  for free in $((size / 3)) $((size - 1000000)) $((size + 500000)) $((size + 1000000)) \
    $((size + 1500000)) $((size + 3000000)); do
    rm -f "$mnt/fill"
    cat "$work/old.wav" >"$mnt/song.wav"
    sync
    avail=$(df -B1 --output=avail "$mnt" | tail -1)
    [ "$avail" -gt "$free" ] && fallocate -l $((avail - free)) "$mnt/fill"
    sync
    "$cli" -q piano "$notes" 96000 "$mnt/song.wav" 2>/dev/null
    status=$?
    left=$(which_file "$mnt/song.wav" "$mnt/link.wav")
    echo "about $free bytes free: exit $status, $left"
    case "$status $left" in
    "0 new" | "1 old") ;;
    *) fail "a refusal must leave the old file and a success the new one" ;;
    esac
  done
  [ "$(which_file "$mnt/song.wav" "$mnt/link.wav")" = new ] || fail "never written with room to spare"
  ;;
in_place_power_cut)
  needs mkfs.ext4 e2fsck debugfs
  truncate -s 64M "$work/image"
  mkfs.ext4 -q -F "$work/image"
  mount_image ext4 commit=1
  "$cli" -q organ "$(printf 'CDEFGAB%.0s' $(seq 14))" 44100 "$work/old.wav"
  "$cli" -q piano "$(printf 'CDEFGAB%.0s' $(seq 7))" 44100 "$work/new.wav"
  cp "$work/old.wav" "$mnt/song.wav"
  ln "$mnt/song.wav" "$mnt/link.wav"
  sync
  size=$(wc -c <"$work/new.wav")
  # Held for 6 s right after it cuts the file to its new length.
  strace -f -qq -o /dev/null -e trace=ftruncate -e inject=ftruncate:delay_exit=6000000:when=1 \
    "$cli" -q piano "$(printf 'CDEFGAB%.0s' $(seq 7))" 44100 "$mnt/song.wav" &
  writer=$!
  waited=0
  while [ "$(stat -c %s "$mnt/song.wav")" != "$size" ]; do
    sleep 0.1
    waited=$((waited + 1))
    [ $waited -lt 100 ] || fail "the writer never cut the file"
  done
  sleep 2.5  # two journal commits
  cp "$work/image" "$work/copy"
  wait $writer || fail "the held writer failed"
  e2fsck -fy "$work/copy" >/dev/null 2>&1
  debugfs -R "dump /song.wav $work/after.wav" "$work/copy" >/dev/null 2>&1
  cmp -s "$work/after.wav" "$work/old.wav" && { echo "after the cut: the old file"; exit 0; }
  cmp -s "$work/after.wav" "$work/new.wav" && { echo "after the cut: the new file"; exit 0; }
  header=$(head -c 44 "$work/after.wav" | tr -d '\000' | wc -c)
  [ "$header" = 0 ] && { echo "after the cut: zeros where the header goes"; exit 0; }
  fail "after the cut: a header over other samples, $(wc -c <"$work/after.wav") bytes"
  ;;
kernel_interface)
  needs strace
  mount_fusefat
  mkdir "$work/ctl"
  mount -t fusectl none "$work/ctl" 2>/dev/null || { echo "cannot mount fusectl"; exit 77; }
  connection=$(stat -c %d "$mnt")
  abort=$work/ctl/$connection/abort
  [ -e "$abort" ] || { echo "no fusectl entry for the mount"; exit 77; }
  "$cli" piano C 8000 "$abort" 2>"$work/err" && fail "wrote into $abort"
  grep -q "Cannot open output file" "$work/err" || fail "$(cat "$work/err")"
  ls "$mnt" >/dev/null || fail "the FUSE mount was aborted"
  echo "refused: $(cat "$work/err")"
  ;;
bind_mount)
  mkdir "$work/host" "$work/bound"
  "$cli" -q piano CDE 8000 "$work/old.wav"
  "$cli" -q bell GFE 8000 "$work/new.wav"
  cp "$work/old.wav" "$work/host/song.wav"
  : >"$work/bound/song.wav"
  mount --bind "$work/host/song.wav" "$work/bound/song.wav" 2>/dev/null ||
    { echo "cannot bind-mount a file"; exit 77; }
  "$cli" -q bell GFE 8000 "$work/bound/song.wav" || fail "the bind-mounted file was not written"
  [ "$(which_file "$work/host/song.wav" "$work/bound/song.wav")" = new ] || fail "not the new file"
  echo "written in place"
  ;;
fuse_without_modes)
  mount_fusefat
  "$cli" -q piano CDE 8000 "$work/old.wav"
  "$cli" -q bell GFE 8000 "$work/new.wav"
  "$cli" -q piano CDE 8000 "$mnt/song.wav" || fail "no new file on fusefat"
  "$cli" -q bell GFE 8000 "$mnt/song.wav" || fail "the existing file was not overwritten"
  cmp -s "$mnt/song.wav" "$work/new.wav" || fail "not the new file"
  echo "overwritten"
  ;;
*) fail "no case $case" ;;
esac
