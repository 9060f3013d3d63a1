#include "testlib/StreamCapture.h"

namespace vorla::test {

std::ostream& operator<<(std::ostream& os, const Chunk& chunk) {
    return os << (chunk.stream == Stream::Out ? "out: " : "err: ") << chunk.text;
}

StreamCapture::StreamCapture()
    : m_outBuffer(*this, Stream::Out),
      m_errBuffer(*this, Stream::Err),
      m_out(&m_outBuffer),
      m_err(&m_errBuffer) {}

StreamCapture::Buffer::int_type StreamCapture::Buffer::overflow(int_type ch) {
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
        const char c = traits_type::to_char_type(ch);
        m_owner.Record(m_stream, &c, 1);
    }
    return traits_type::not_eof(ch);
}

std::streamsize StreamCapture::Buffer::xsputn(const char* data, std::streamsize count) {
    m_owner.Record(m_stream, data, static_cast<size_t>(count));
    return count;
}

void StreamCapture::Record(Stream stream, const char* data, size_t count) {
    if (count == 0) {
        return;
    }
    if (!m_chunks.empty() && m_chunks.back().stream == stream) {
        m_chunks.back().text.append(data, count);
    } else {
        m_chunks.push_back(Chunk{stream, std::string(data, count)});
    }
}

std::string StreamCapture::Text(Stream stream) const {
    std::string text;
    for (const Chunk& chunk : m_chunks) {
        if (chunk.stream == stream) {
            text += chunk.text;
        }
    }
    return text;
}

}  // namespace vorla::test
