#!/usr/bin/env bash
# Sets up, builds and runs every test:
#   1. the normal build: every test (unit, widget, integration, e2e) with CTest;
#   2. AddressSanitizer + UndefinedBehaviorSanitizer over every test that runs without a display;
#   3. ThreadSanitizer over the threaded tests (Qt-free build);
#   4. README's "Build a Debian package" commands, exactly as written there,
#      up to the package (a fresh build-release/, without -Werror or tests),
#      and lintian on that package.
# `scripts/test.sh main` stops after 1 (CI's Debian 13 part).
# Test artefacts (screenshots) land in build/test-artifacts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
case "${1:-all}" in
  all | main) ;;
  *) echo "usage: $0 [all|main]" >&2; exit 2 ;;
esac
"$root/scripts/setup.sh" test
jobs=$(nproc)
status=0
finish() {
  if [ $status -eq 0 ]; then echo "test.sh: all suites passed"; else echo "test.sh: FAILURES above"; fi
  exit $status
}

echo "== build =="
"$root/scripts/build.sh" "$root/build"
echo "== tests =="
ctest --test-dir "$root/build" --output-on-failure -j "$jobs" || status=1
# A test that its environment cannot host says why; CTest keeps that in its log.
awk '/^[0-9]+\/[0-9]+ Test: / { name = $3 } /^skipped: / { print name " " $0 }' \
  "$root/build/Testing/Temporary/LastTest.log"
[ "${1:-all}" = main ] && finish

echo "== AddressSanitizer + UndefinedBehaviorSanitizer =="
"$root/scripts/build.sh" "$root/build-asan" -DDUSKWARDEN_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$root/tests/lsan.supp \
  ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs" -L 'unit|widget' || status=1

echo "== ThreadSanitizer =="
"$root/scripts/build.sh" "$root/build-tsan" -DDUSKWARDEN_SANITIZE=thread -DDUSKWARDEN_GUI=OFF -DCMAKE_BUILD_TYPE=Debug
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir "$root/build-tsan" --output-on-failure -j "$jobs" -L threaded || status=1

echo "== README: Build a Debian package =="
# Read from README.md, so that what users are told is what runs; the apt
# install and purge after cpack need a real system and are left out.
mapfile -t package_commands < <(awk '
  /^## / { inside = ($0 == "## Build a Debian package") }
  inside && /^    / { sub(/^    /, ""); print; if (index($0, "cpack -G DEB")) exit }' "$root/README.md")
if [ ${#package_commands[@]} -eq 0 ] || [[ "${package_commands[-1]}" != *"cpack -G DEB"* ]]; then
  echo "README.md: no package commands ending in cpack -G DEB under \"## Build a Debian package\""
  status=1
else
  rm -rf "$root/build-release"
  (cd "$root" && for command in "${package_commands[@]}"; do
     echo "+ $command"
     bash -euo pipefail -c "$command" || exit 1
   done && ls "$root"/build-release/duskwarden_*.deb) || status=1
  echo "== lintian on the package: no errors, no warnings =="
  lintian --fail-on error,warning --tag-display-limit 0 "$root"/build-release/duskwarden_*.deb || status=1
fi

finish
