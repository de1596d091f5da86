#include "app/entry_point.hpp"
#include "app/sidecar_command.hpp"

int main(int argc, char** argv) {
  return plotveil::run_program(argc, argv, plotveil::run_sidecar_command, plotveil::sidecar_without_memory);
}
