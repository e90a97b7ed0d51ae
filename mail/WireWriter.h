#pragma once
// Buffers what the client writes so that the message goes out in large blocks, not one
// system call per line. Commands are flushed before their reply is awaited.

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/net/ClientSocket.h"

namespace corvane::mail {

class TWireWriter {
public:
    static constexpr std::size_t BlockSize = 256 * 1024;

    explicit TWireWriter(net::TSocket& socket)
        : m_socket(socket), m_data(std::make_unique_for_overwrite<char[]>(BlockSize)),
          m_capacity(BlockSize) {}

    // Appends Text; writes a block to the socket once BlockSize bytes are waiting.
    net::ESocketStatus Write(std::string_view text, net::TClock::duration blockTimeout) {
        Append(text);
        return m_used < BlockSize ? net::ESocketStatus::Ok : Flush(blockTimeout);
    }
    // Write(Line) then Write(CR LF): the DATA phase's inner loop, a million times for a
    // 100 MiB attachment, so the common case is two small copies and no call.
    net::ESocketStatus WriteLine(std::string_view line, net::TClock::duration blockTimeout) {
        if (const auto status = Write(line, blockTimeout); status != net::ESocketStatus::Ok) {
            return status;
        }
        return Write("\r\n", blockTimeout);
    }
    net::ESocketStatus Flush(net::TClock::duration timeout);
    // Flush, then overwrite what was buffered: for commands that carry credentials.
    net::ESocketStatus FlushAndWipe(net::TClock::duration timeout);
    void Discard() { m_used = 0; }

private:
    void Append(std::string_view text) {
        if (text.size() > m_capacity - m_used) {
            Grow(m_used + text.size());
        }
        if (!text.empty()) {
            std::memcpy(m_data.get() + m_used, text.data(), text.size());
        }
        m_used += text.size();
    }
    // Only a single text longer than the block makes the buffer grow.
    void Grow(std::size_t atLeast);

    net::TSocket& m_socket;
    std::unique_ptr<char[]> m_data;
    std::size_t m_used = 0;
    std::size_t m_capacity;
};

}  // namespace corvane::mail
