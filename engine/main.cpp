// ORVA-V4: the back-calculation engine, a console program without arguments.
#include "engine_main.h"

int main() { return orva::engine_main(); }
