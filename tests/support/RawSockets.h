#pragma once
// Plain TCP connections to a server on 127.0.0.1, made the way someone with
// only a socket would make them: held open, fed a byte at a time, or sent
// requests no HTTP client library would write. They come from a loopback
// address of the test's choosing, so that the server's limits per address
// meet them and not the ordinary client on 127.0.0.1.

#include <string>
#include <vector>

class RawSockets {
public:
    explicit RawSockets(std::string fromAddress = "127.0.0.2") : from_(std::move(fromAddress)) {}
    ~RawSockets();
    RawSockets(const RawSockets &) = delete;
    RawSockets &operator=(const RawSockets &) = delete;

    // Starts count connections without waiting for them; false when the
    // process runs out of descriptors first.
    bool open(int port, int count);
    // Waits until each connection is established or has failed; returns how
    // many are established.
    int established(int timeoutMs);
    // Sends bytes on every connection; one the server closed is left alone.
    void sendToAll(const std::string &bytes);
    // Waits until the server has closed all but at most `remaining` of the
    // connections; returns how many it left open when that or the timeout came.
    int waitUntilOpenAtMost(int remaining, int timeoutMs);
    // Reads one answer on every connection; returns their statuses (0: none).
    std::vector<int> readStatuses(int timeoutMs);
    // Waits until something can be read on every connection, and reads none
    // of it; returns on how many it can.
    int waitUntilReadable(int timeoutMs);
    void closeAll();

    // Sends request on a connection of its own and returns what comes back
    // until the server closes it, one whole answer is in, or the timeout.
    static std::string exchange(int port, const std::string &request, int timeoutMs,
                                const std::string &fromAddress = "127.0.0.1");
    // The status of an HTTP answer's first line, 0 when there is none.
    static int statusOf(const std::string &answer);
    static std::string bodyOf(const std::string &answer);

private:
    std::string from_;
    std::vector<int> sockets_;
};

// Raises this process's open-file limit as far as it may go; returns it.
long raiseDescriptorLimit();
