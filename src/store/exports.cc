// libvbis4032.so is the engine (vbis_core, linked whole) and nothing else; this
// file only gives the shared library a source of its own.
#include "vbis4032.h"
