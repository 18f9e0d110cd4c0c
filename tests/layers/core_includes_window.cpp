// Built as part of the core layer, this must not compile: core sees only its
// own headers, never a window's.
#include "ReceiveView.h"
