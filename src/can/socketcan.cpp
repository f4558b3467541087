// Everything of the SocketCAN form is inline in the header, which the log writers call for every
// frame; this unit checks that the header compiles on its own.
#include "can/socketcan.h"
