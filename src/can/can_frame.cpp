#include "can/can_frame.h"

// Everything of a frame is inline in the header: it runs once per frame of every CAN format.
