#include "WireWriter.h"

#include <string.h>  // explicit_bzero

#include <algorithm>

namespace corvane::mail {

void TWireWriter::Grow(std::size_t atLeast) {
    const std::size_t capacity = std::max(atLeast, m_capacity * 2);
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (m_used != 0) {
        std::memcpy(data.get(), m_data.get(), m_used);
    }
    m_data = std::move(data);
    m_capacity = capacity;
}

net::ESocketStatus TWireWriter::Flush(net::TClock::duration timeout) {
    if (m_used == 0) {
        return net::ESocketStatus::Ok;
    }
    const auto status = m_socket.Send(std::string_view(m_data.get(), m_used), net::TClock::now() + timeout);
    m_used = 0;
    return status;
}

}  // namespace corvane::mail

namespace corvane::mail {

net::ESocketStatus TWireWriter::FlushAndWipe(net::TClock::duration timeout) {
    const std::size_t used = m_used;
    const auto status = Flush(timeout);
    explicit_bzero(m_data.get(), used);
    return status;
}

}  // namespace corvane::mail
