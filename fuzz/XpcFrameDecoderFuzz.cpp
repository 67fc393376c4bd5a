// The link's frame decoder against arbitrary bytes. The first input byte picks the size of
// the pieces the rest is fed in (1 to 256 bytes), so frames split at every point are tried.
// Besides not crashing, every frame it accepts must survive encoding and decoding again
// unchanged: what one end reads, it can write back.
#include "platform/XpcFrameDecoder.h"
#include "platform/XpcFrameEncoder.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const auto chunk = static_cast<qsizetype>(data[0]) + 1;
    const QByteArrayView stream(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    XpcFrameDecoder decoder;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        decoder.feed(stream.sliced(at, std::min(chunk, stream.size() - at)));
        XpcFrame frame;
        XpcFrameDecoder::Result result;
        while ((result = decoder.next(&frame)) == XpcFrameDecoder::Result::Frame) {
            const std::optional<QByteArray> encoded = XpcFrameEncoder::encode(frame);
            if (!encoded)
                std::abort();
            const QByteArrayView body = QByteArrayView(*encoded).sliced(XpcWire::headerLength);
            const std::optional<XpcFrame> again = XpcFrameDecoder::decodeBody(frame.kind, body, nullptr);
            if (!again || !(*again == frame))
                std::abort();
        }
        if (result == XpcFrameDecoder::Result::Error) {
            if (decoder.errorString().isEmpty())
                std::abort();
            break;
        }
    }
    return 0;
}
