// The desktop program.
#include "workspace/Startup.h"

int main(int argc, char** argv) { return nuvak::RunProgram(argc, argv); }
