#pragma once

#include "picboot/picboot.h"

// A request record as the wizard fills it for the PIC24: reads count in
// instructions (4 bytes), writes in rows (256 bytes).
inline PicRequest picRequest(uint8_t command, uint32_t address, uint16_t length = 256, uint16_t retries = 2)
{
    PicRequest r{};
    r.command = command;
    r.dataLength = length;
    r.bootAddress = address;
    r.transferUnit = command == 1 ? 4 : 256;
    r.bytesPerAddress = 2;
    r.deviceParam1 = retries;
    r.deviceParam2 = 2;
    return r;
}
