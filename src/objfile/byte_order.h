// Forwards to frame/byte_order.h, where the little-endian helpers of the
// object file and the other on-disk structures live; kept for code that
// includes the older path.
#ifndef LUMETRA_OBJFILE_BYTE_ORDER_H
#define LUMETRA_OBJFILE_BYTE_ORDER_H

#include "frame/byte_order.h"

#endif  // LUMETRA_OBJFILE_BYTE_ORDER_H
