#include "requests/Delivery.h"

#include "answers/AnswerCompression.h"

namespace appserver {

Reply delivered(Reply reply, const Delivery &delivery) {
    if (const auto kept = std::move(reply.kept)) {
        reply.gzipped =
            compressionPays(kept->json().size(), delivery.acceptsGzip, delivery.peerOnLoopback);
        // Shares the kept answer's ownership, so eviction cannot free a body being sent.
        reply.sharedBody =
            std::shared_ptr<const std::string>(kept, reply.gzipped ? &kept->gzip() : &kept->json());
        return reply;
    }
    if ((reply.status == 200 || reply.status == 226) &&
        compressionPays(reply.body.size(), delivery.acceptsGzip, delivery.peerOnLoopback)) {
        reply.body = gzipped(reply.body);
        reply.gzipped = true;
    }
    return reply;
}

} // namespace appserver
