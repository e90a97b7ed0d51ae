#pragma once
// Buffers what the client writes so that the message goes out in large blocks, not one
// system call per line. Commands are flushed before their reply is awaited.

#include <string>
#include <string_view>

#include "platform/net/ClientSocket.h"

namespace corvane::mail {

class TWireWriter {
public:
    static constexpr std::size_t BlockSize = 256 * 1024;

    explicit TWireWriter(net::TSocket& socket) : m_socket(socket) { m_buffer.reserve(BlockSize); }

    // Appends Text; writes a block to the socket once BlockSize bytes are waiting.
    net::ESocketStatus Write(std::string_view text, net::TClock::duration blockTimeout);
    net::ESocketStatus Flush(net::TClock::duration timeout);
    void Discard() { m_buffer.clear(); }

private:
    net::TSocket& m_socket;
    std::string m_buffer;
};

}  // namespace corvane::mail
