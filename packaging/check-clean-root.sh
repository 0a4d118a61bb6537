#!/usr/bin/env bash
# The package on a clean machine: fresh Debian 12 roots made by mmdebstrap
# (variant apt) from this machine's Debian mirror, the .deb installed with apt
# as a new administrator would, once with recommends and once without. In each:
#   - kelomon starts offscreen as a normal user and makes its files in
#     ~/.local/share/kelomon;
#   - kelorec records kelosim for 10 s into a folder;
#   - apt-get remove leaves no file of the package and keeps the user's files.
# Without recommends, the windows' Korean texts are also laid out with each
# Korean font the package accepts in turn (kelo_font_probe), then with none,
# where the probe must see boxes.
# Where mmdebstrap cannot make a root here, the check says so and passes.
#   packaging/check-clean-root.sh [BUILD_DIR]     (default build/, after check-package.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
begin=$SECONDS
skip() { echo "clean-root check skipped: $*"; exit 0; }
fail() { echo "FAIL: $*" >&2; exit 1; }

deb=$(ls -t "$build"/kelomon_*_amd64.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no package in $build (run packaging/check-package.sh first)"
probe=$build/bin/kelo_font_probe
[ -x "$probe" ] || fail "no $probe"
[ "$(id -u)" -eq 0 ] || skip "it needs root (mmdebstrap --mode=root, chroot)"
command -v mmdebstrap >/dev/null || skip "mmdebstrap is not installed"
command -v unshare >/dev/null || skip "unshare is not installed"

# This machine's Debian sources, and nothing else.
mirrors=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && grep -qE '(^|[[:space:]])bookworm([[:space:]]|$)' "$f" && mirrors+=("$f")
done
[ ${#mirrors[@]} -gt 0 ] || skip "no Debian 12 (bookworm) mirror in this machine's apt sources"

work=$(mktemp -d /tmp/kelo-clean-root.XXXXXX)
trap 'rm -rf --one-file-system "$work"' EXIT
echo "== a fresh Debian 12 root (mmdebstrap, ${mirrors[*]})"
# Unsafe dpkg writes and kept package lists: a root thrown away at the end
# needs no fsync, and apt need not fetch the lists again.
if ! mmdebstrap --quiet --variant=apt --mode=root --dpkgopt=force-unsafe-io --skip=cleanup/apt/lists \
  --aptopt='Acquire::Languages "none"' bookworm "$work/base" "${mirrors[@]}" >"$work/mmdebstrap.log" 2>&1; then
  tail -5 "$work/mmdebstrap.log"
  skip "mmdebstrap cannot make a root here"
fi
echo "made in $((SECONDS - begin)) s"

unshare --mount --fork true 2>/dev/null || skip "no mount namespaces here (unshare --mount)"
# Copies of the base root are overlays where the file system allows them
# (not on an overlay root, as in many containers); plain copies otherwise.
mkdir -p "$work/probe/lower" "$work/probe/upper" "$work/probe/work" "$work/probe/merged"
overlay=yes
unshare --mount --fork -- mount -t overlay overlay -o "lowerdir=$work/probe/lower,upperdir=$work/probe/upper,workdir=$work/probe/work" \
  "$work/probe/merged" 2>/dev/null || overlay=
rm -rf "$work/probe"

# Runs a command in a root with /proc and /dev, in a mount namespace of its
# own, so nothing stays mounted afterwards. With a name, the root is a copy of
# the base: an overlay written to $work/NAME.upper, or a copy in $work/NAME.
in_root() {
  local root=$1 name=$2; shift 2
  local mounts='mount -t proc proc "$0/proc" && mount --rbind /dev "$0/dev"'
  if [ -n "$name" ] && [ -z "$overlay" ]; then
    cp -a "$root" "$work/$name"
    root=$work/$name
  elif [ -n "$name" ]; then
    mkdir -p "$work/$name.upper" "$work/$name.work" "$work/$name"
    mounts="mount -t overlay overlay -o lowerdir=$root,upperdir=$work/$name.upper,workdir=$work/$name.work \"\$0\" && $mounts"
    root=$work/$name
  fi
  unshare --mount --fork -- sh -c "$mounts"' && exec chroot "$@"' "$root" "$root" "$@"
}

# Everything either root may install is fetched once, into the base root's
# cache: apt still resolves each installation afresh.
cp "$deb" "$work/base/tmp/kelomon.deb"
cp "$probe" "$work/base/usr/local/bin/kelo_font_probe"
cp packaging/clean-root-trial.sh "$work/base/tmp/trial.sh"
in_root "$work/base" "" apt-get install -y -qq --download-only /tmp/kelomon.deb fonts-noto-cjk fonts-unfonts-core \
  >"$work/download.log" 2>&1 || { tail -20 "$work/download.log"; skip "the mirror does not give the packages"; }
echo "packages fetched after $((SECONDS - begin)) s"

# The two trials run side by side, each in its own copy of the base root.
trial() {
  local name=$1 apt_options=$2
  in_root "$work/base" "$name" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin TRIAL="$name" APT_OPTIONS="$apt_options" \
    bash /tmp/trial.sh >"$work/$name.log" 2>&1
}
trial with-recommends "" & with=$!
trial without-recommends --no-install-recommends & without=$!
failed=()
wait "$with" || failed+=(with-recommends)
wait "$without" || failed+=(without-recommends)
for name in with-recommends without-recommends; do
  echo "== $name"
  cat "$work/$name.log"
done
[ ${#failed[@]} -eq 0 ] || fail "the trial failed: ${failed[*]}"
took=$((SECONDS - begin))
echo "clean-root check passed in $took s"
[ "$took" -le 360 ] || echo "note: it took longer than the 6 minutes it should (a slow mirror?)"
