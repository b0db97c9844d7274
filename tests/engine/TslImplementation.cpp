// The header's implementation, compiled as C++ for the test program.
#define TSL_IMPLEMENTATION
#include "tsl.h"
