// Built as part of the port layer, this must not compile: the port layer
// sees core and itself, never a window's headers.
#include "Form1.h"
