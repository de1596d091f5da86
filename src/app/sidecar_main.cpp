#include "app/sidecar_command.hpp"
#include "base/console.hpp"

int main(int argc, char** argv) {
  plotveil::guard_standard_streams();
  return plotveil::run_sidecar_command(argc, argv);
}
