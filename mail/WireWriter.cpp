#include "WireWriter.h"

namespace corvane::mail {

net::ESocketStatus TWireWriter::Write(std::string_view text, net::TClock::duration blockTimeout) {
    m_buffer.append(text);
    if (m_buffer.size() < BlockSize) {
        return net::ESocketStatus::Ok;
    }
    return Flush(blockTimeout);
}

net::ESocketStatus TWireWriter::Flush(net::TClock::duration timeout) {
    if (m_buffer.empty()) {
        return net::ESocketStatus::Ok;
    }
    const auto status = m_socket.Send(m_buffer, net::TClock::now() + timeout);
    m_buffer.clear();
    return status;
}

}  // namespace corvane::mail
