/* Compiles the public header as plain C. */
#include "vbis4032.h"

int main(void) { return VMX_OK; }
