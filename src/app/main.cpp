#include "app/run.hpp"

int main(int argc, char** argv) { return plotveil::run(argc, argv); }
