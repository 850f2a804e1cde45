#pragma once
// The last stage of a request: its reply in the form the peer asked for.
// Runs on the database worker, so that compressing a large answer never
// holds up the connections' event thread.

#include "requests/Reply.h"

#include <string>
#include <vector>

namespace appserver {

// How the peer wants its answer, from its request headers and address.
struct Delivery {
    std::vector<std::string> ifNoneMatch; // the tags of the answers the peer holds
    bool acceptsRowDelta = false;         // A-IM names RowChanges::kManipulation
    bool acceptsGzip = false;
    bool peerOnLoopback = true;
};

// A large answer goes out gzip-compressed where the peer reads it and is not
// on this machine; a kept answer goes out as kept, in that form.
Reply delivered(Reply reply, const Delivery &delivery);

} // namespace appserver
