#include "app/run.hpp"
#include "base/console.hpp"

int main(int argc, char** argv) {
  plotveil::guard_standard_streams();
  return plotveil::run(argc, argv);
}
