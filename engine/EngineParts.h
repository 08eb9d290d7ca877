// What the search and the protocols work with, all owned by the DeviceProgrammer: the port
// bank, the tick wait, the status shown to the user and the texts.
#pragma once

#include "engine/PortBank.h"
#include "engine/StatusPoster.h"
#include "engine/TickWait.h"

namespace norvane {

class MultiStrings;

struct EngineParts {
    PortBank& ports;
    TickWait& ticks;
    StatusPoster& status;
    const MultiStrings& strings;
};

}  // namespace norvane
