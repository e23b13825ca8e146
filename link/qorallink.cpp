// qorallink: started by the modeling system once per solve with the control file's path.
#include <cstdio>
#include <exception>

#include "link/runseq.h"

int main(int argc, char** argv) {
  try {
    return qlink::RunSequence(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "*** LUVO/QORAL ended by an unexpected error: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "*** LUVO/QORAL ended by an unexpected error of unknown kind\n");
  }
  // Abnormal end: an exit code the modeling system does not take for a finished run.
  return 2;
}
