// SPDX-License-Identifier: MIT
#pragma once

// A fuzz input is one byte of display settings, then the file: the fuzz
// targets and the test of the kept inputs read the byte alike.
#include "containerabstract.h"

inline void applySettings(ContainerAbstract &parser, quint8 byte)
{
    static const quint64 limits[] = {0, 1, 16, 4096, ~quint64(0)};
    parser.numberBase = 2 + byte % 35;
    parser.binaryLimit = limits[(byte >> 1) % 5];
    parser.showJunk = byte & 0x40;
    parser.showUnknown = !(byte & 0x80);
}
