// Captures what a program writes to standard output and standard error, in
// the order of writing across both streams. Hand OutStream() and ErrStream()
// to CConsoleRedirect; afterwards Chunks() holds (stream, text) pairs, where
// consecutive writes to the same stream are joined.
#pragma once

#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace vorla::test {

enum class Stream { Out, Err };

struct Chunk {
    Stream stream;
    std::string text;

    bool operator==(const Chunk& other) const {
        return stream == other.stream && text == other.text;
    }
};

// For failure messages: "out: ..." / "err: ...", one chunk per line.
std::ostream& operator<<(std::ostream& os, const Chunk& chunk);

class StreamCapture {
public:
    StreamCapture();
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    std::ostream& OutStream() { return m_out; }
    std::ostream& ErrStream() { return m_err; }

    const std::vector<Chunk>& Chunks() const { return m_chunks; }
    // Everything written to one stream.
    std::string Out() const { return Text(Stream::Out); }
    std::string Err() const { return Text(Stream::Err); }

private:
    class Buffer : public std::streambuf {
    public:
        Buffer(StreamCapture& owner, Stream stream) : m_owner(owner), m_stream(stream) {}

    protected:
        int_type overflow(int_type ch) override;
        std::streamsize xsputn(const char* data, std::streamsize count) override;

    private:
        StreamCapture& m_owner;
        Stream m_stream;
    };

    void Record(Stream stream, const char* data, size_t count);
    std::string Text(Stream stream) const;

    std::vector<Chunk> m_chunks;
    Buffer m_outBuffer;
    Buffer m_errBuffer;
    std::ostream m_out;
    std::ostream m_err;
};

}  // namespace vorla::test
