#pragma once
// Reads an OpenSQL answer {"columns":[...],"rows":[[...],...]} straight into
// a data packet, without building a JSON tree first.

#include "data/answers/DataPacket.h"

#include <string>

// Throws ServerError when the text is not such an answer.
PDataPacket parseDataPacket(const std::string &answer);
