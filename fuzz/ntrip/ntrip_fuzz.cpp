// libFuzzer target of what a caster's bytes go through: the answer parser and the chunked
// transfer decoder. Decoding in two pieces, split anywhere, must give what decoding at once gives
// (the decoder keeps its state across reads), and the data out is never more than what came in.
#include <Ntrip.h>

#include <cstdint>
#include <cstdlib>

namespace {

struct Result
{
    bool ok;
    bool finished;
    QByteArray data;
};

Result decode(const char *data, std::size_t size, std::size_t split)
{
    ntrip::ChunkDecoder decoder;
    Result result{true, false, {}};
    result.ok = decoder.decode(data, split, result.data) && decoder.decode(data + split, size - split, result.data);
    result.finished = decoder.finished();
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t split = (std::size_t(bytes[0]) << 8 | bytes[1]) % (size - 1);
    const char *data = reinterpret_cast<const char *>(bytes) + 2;
    size -= 2;
    const ntrip::Answer answer = ntrip::parseAnswer(QByteArray::fromRawData(data, int(size)));
    if (answer.kind != ntrip::Answer::Incomplete && (answer.headerBytes <= 0 || std::size_t(answer.headerBytes) > size))
        std::abort();
    const Result whole = decode(data, size, 0), pieces = decode(data, size, std::min(split, size));
    // A failure may come later in one piece than at once only in what it leaves out: data and
    // verdict match, and nothing is made up.
    if (whole.ok != pieces.ok || whole.finished != pieces.finished || whole.data != pieces.data)
        std::abort();
    if (std::size_t(whole.data.size()) > size)
        std::abort();
    return 0;
}
