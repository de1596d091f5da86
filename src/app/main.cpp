#include "app/entry_point.hpp"
#include "app/run.hpp"

int main(int argc, char** argv) {
  return plotveil::run_program(argc, argv, plotveil::run, plotveil::fail_without_memory);
}
