#pragma once
// Reads an OpenSQL answer exactly as the server writes it,
// {"columns":["…",…],"rows":[["…"|null,…],…]} without blanks, several times
// faster than a general JSON reader. Anything else it leaves to one.

#include "data/answers/DataPacket.h"

#include <string_view>

// False, with packet in an unspecified state, when text is not in that shape.
bool readServerAnswer(std::string_view text, DataPacket &packet);
