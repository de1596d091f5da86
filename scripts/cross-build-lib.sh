# Sourced by the cross-build scripts: cross_build FOLDER TOOLCHAIN EMULATOR
# [--tests] [--plain] configures and builds plotveil in FOLDER (FOLDER-plain
# with --plain) with a CMake toolchain file, tests run under EMULATOR.
#   --tests  the unit tests too
#   --plain  white space found and rows masked in plain arithmetic, without
#            the tool's vector code (-DPLOTVEIL_PLAIN_SCAN=ON)
# Sets cross_folder to the folder built.
cross_build() {
  local folder="$1" toolchain="$2" emulator="$3" tests=OFF plain=OFF option
  shift 3
  for option in "$@"; do
    case "$option" in
      --tests) tests=ON ;;
      --plain) plain=ON ;;
      *) echo "unknown option: $option (--tests, --plain)"; return 1 ;;
    esac
  done
  [ "$plain" = ON ] && folder="$folder-plain"
  # --no-warn-unused-cli: a configured folder takes no new toolchain file, and
  # would say so on every later run.
  cmake -S . -B "$folder" --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS="$tests" -DPLOTVEIL_PLAIN_SCAN="$plain" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" >/dev/null
  cmake --build "$folder" -j"$(nproc)"
  cross_folder="$folder"
}
