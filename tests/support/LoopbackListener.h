#pragma once

#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// A listening socket on 127.0.0.1 at a free port, standing in for a balance
// (or a converter) on the network. Nothing is accepted unless a test does.
class LoopbackListener {
public:
    explicit LoopbackListener(int backlog = 4) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at = address(0);
        socklen_t length = sizeof at;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&at), length) == 0 &&
            ::listen(fd, backlog) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length) == 0)
            port = ntohs(at.sin_port);
    }
    ~LoopbackListener() {
        for (const int waiting : queued)
            ::close(waiting);
        ::close(fd);
    }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    bool HasConnection() const {
        pollfd waiting{fd, POLLIN, 0};
        return ::poll(&waiting, 1, 0) == 1;
    }

    // Connections that are never accepted: with a backlog of 0 the first
    // fills the queue, and a later connection's handshake then hangs.
    void FillQueue(int connections = 2) {
        const sockaddr_in at = address(port);
        for (int i = 0; i < connections; ++i) {
            queued.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
            ::connect(queued.back(), reinterpret_cast<const sockaddr*>(&at), sizeof at);
        }
    }

    int fd = -1;
    int port = 0;

private:
    static sockaddr_in address(int port) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        at.sin_port = htons(static_cast<uint16_t>(port));
        return at;
    }

    std::vector<int> queued;
};
