# Sourced by the cross-build scripts: cross_build FOLDER TOOLCHAIN EMULATOR
# [--tests] [--portable] configures and builds plotveil in FOLDER
# (FOLDER-portable with --portable) with a CMake toolchain file, tests run
# under EMULATOR.
#   --tests     the unit tests too
#   --portable  the portable kernels, in plain arithmetic, without the tool's
#               vector code (-DPLOTVEIL_KERNEL=portable)
# Sets cross_folder to the folder built.
cross_build() {
  local folder="$1" toolchain="$2" emulator="$3" tests=OFF kernel=auto option
  shift 3
  for option in "$@"; do
    case "$option" in
      --tests) tests=ON ;;
      --portable) kernel=portable ;;
      *) echo "unknown option: $option (--tests, --portable)"; return 1 ;;
    esac
  done
  [ "$kernel" = portable ] && folder="$folder-portable"
  # --no-warn-unused-cli: a configured folder takes no new toolchain file, and
  # would say so on every later run.
  cmake -S . -B "$folder" --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DPLOTVEIL_TESTS="$tests" -DPLOTVEIL_KERNEL="$kernel" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator" >/dev/null
  cmake --build "$folder" -j"$(nproc)"
  cross_folder="$folder"
}
