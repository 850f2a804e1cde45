#pragma once
// Raised where a window needs rows and the query gave none (the data-access
// operations give the empty result on any failure); what went wrong is the
// data-access layer's last failure.

#include <stdexcept>

class MissingAnswer : public std::runtime_error {
public:
    MissingAnswer() : std::runtime_error("Invalid data packet") {}
};
