#pragma once
// A loopback port for tests that need a refused connection: bound, so nobody else takes it, but
// not listening until listen().

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pagewell::test {

class RefusingPort {
  public:
    RefusingPort() {
        descriptor_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(descriptor_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        socklen_t length = sizeof(address);
        ::getsockname(descriptor_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(descriptor_); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    int port() const { return port_; }
    // From now on connections are accepted (into the backlog).
    void listen() { ::listen(descriptor_, 8); }

  private:
    int descriptor_ = -1;
    int port_ = 0;
};

}  // namespace pagewell::test
