#include "app/run.h"

int main(int argc, char* argv[]) {
  return static_cast<int>(curvlog::run(argc, argv));
}
