#include "platform/XpcFrameDecoder.h"
#include "platform/XpcFrameEncoder.h"

#include "XpcTestSupport.h"

#include <gtest/gtest.h>

using XpcTest::callFrame;
using XpcTest::frameBytes;

namespace {

const QByteArray hello = XpcFrameEncoder::hello();

std::vector<XpcFrame> decodeAll(const QByteArray& bytes, qsizetype chunk, QString* error)
{
    XpcFrameDecoder decoder;
    std::vector<XpcFrame> frames;
    for (qsizetype at = 0; at < bytes.size(); at += chunk) {
        decoder.feed(QByteArrayView(bytes).sliced(at, std::min(chunk, bytes.size() - at)));
        XpcFrame frame;
        XpcFrameDecoder::Result result;
        while ((result = decoder.next(&frame)) == XpcFrameDecoder::Result::Frame)
            frames.push_back(frame);
        if (result == XpcFrameDecoder::Result::Error) {
            *error = decoder.errorString();
            return frames;
        }
    }
    return frames;
}

XpcValue everyScalar()
{
    return XpcValue::fromEntries({
        {XpcValue::fromText(QStringLiteral("null")), XpcValue()},
        {XpcValue::fromText(QStringLiteral("bool")), XpcValue::fromBool(true)},
        {XpcValue::fromInt16(-32768), XpcValue::fromInt32(-2147483647 - 1)},
        {XpcValue::fromInt64(-1), XpcValue::fromBytes(QByteArray("\0\xff", 2))},
        {XpcValue::fromText(QStringLiteral("häßlich ✓")), XpcValue::fromText(QString())},
    });
}

} // namespace

TEST(XpcFrameDecoder, FramesRoundTripWhateverTheChunking)
{
    XpcFrame reply;
    reply.kind = XpcFrameKind::Reply;
    reply.callId = 0xFFFFFFFF;
    reply.arguments = {XpcValue::fromBool(true)};
    XpcFrame unanswered;
    unanswered.kind = XpcFrameKind::Reply;
    unanswered.callId = 7;
    unanswered.status = XpcReplyStatus::NotHandled;
    XpcFrame withDescriptor =
        callFrame(QStringLiteral("receiveMessageWithId:data:fileHandle:"),
                  {XpcValue::fromInt16(1), XpcValue::fromTextDictionary({{"type", "goLog"}})});
    withDescriptor.carriesDescriptor = true;

    const std::vector<XpcFrame> frames = {
        callFrame(QStringLiteral("register:"), {}, 1),
        callFrame(QStringLiteral("a"), {XpcValue(), XpcValue::fromBool(false), XpcValue::fromInt16(32767),
                                        XpcValue::fromInt32(2147483647), XpcValue::fromInt64(INT64_MIN)}),
        callFrame(QStringLiteral("dictionaries:"), {everyScalar(), XpcValue::fromEntries({})}, 2),
        callFrame(QStringLiteral("bytes:"), {XpcValue::fromBytes(QByteArray(70000, 'x'))}),
        withDescriptor,
        reply,
        unanswered,
    };
    QByteArray stream = hello;
    for (const XpcFrame& frame : frames)
        stream += frameBytes(frame);

    for (const qsizetype chunk : {qsizetype(1), qsizetype(5), qsizetype(4096), stream.size()}) {
        SCOPED_TRACE(chunk);
        QString error;
        const std::vector<XpcFrame> decoded = decodeAll(stream, chunk, &error);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        ASSERT_EQ(decoded.size(), frames.size() + 1);
        EXPECT_EQ(decoded[0].kind, XpcFrameKind::Hello);
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_TRUE(decoded[i + 1] == frames[i]) << "frame " << i;
    }
}

// The bytes the wire-format document describes, written out by hand.
TEST(XpcFrameDecoder, ReadsTheDocumentedLayout)
{
    EXPECT_EQ(hello, QByteArray::fromHex("0001 00000006 4e565850 0001"));
    // The example of docs/ipc-protocol.md.
    const QByteArray framed = QByteArray::fromHex("0003 00000022"       // kind 3, body length 34
                                                  "0000002a 01 0004") + // call id 42, a descriptor, 4 bytes
                              QByteArray("ping") +
                              QByteArray::fromHex("0003"                                   // three arguments
                                                  "02fffe"                                 // int16 -2
                                                  "07 00000001 05 00000001 6b 05 00000000" // {"k": ""}
                                                  "01 01");                                // true
    QString error;
    const std::vector<XpcFrame> decoded = decodeAll(hello + framed, framed.size(), &error);
    ASSERT_EQ(decoded.size(), 2u) << error.toStdString();
    const XpcFrame& frame = decoded[1];
    EXPECT_EQ(frame.kind, XpcFrameKind::CallWithReply);
    EXPECT_EQ(frame.callId, 42u);
    EXPECT_TRUE(frame.carriesDescriptor);
    EXPECT_EQ(frame.selector, QStringLiteral("ping"));
    ASSERT_EQ(frame.arguments.size(), 3);
    EXPECT_EQ(frame.arguments[0], XpcValue::fromInt16(-2));
    EXPECT_EQ(frame.arguments[1].toTextDictionary(), (QMap<QString, QString>{{"k", ""}}));
    EXPECT_EQ(frame.arguments[2], XpcValue::fromBool(true));
    EXPECT_EQ(frameBytes(frame), framed);
}

TEST(XpcFrameDecoder, MalformedStreamsFail)
{
    const auto withLength = [](quint16 kind, const QByteArray& body) {
        return XpcFrameEncoder::header(kind, static_cast<quint32>(body.size())) + body;
    };
    const QByteArray selector = QByteArray::fromHex("00 0001") + "s"; // no descriptor, selector "s"
    const struct
    {
        const char* name;
        QByteArray stream;
        const char* error;
    } cases[] = {
        {"call before the handshake", frameBytes(callFrame("s", {})), "before the handshake"},
        {"reply before the handshake", withLength(4, QByteArray::fromHex("00000001 00 0000")),
         "before the handshake"},
        {"second handshake", hello + hello, "second handshake"},
        {"other version", XpcFrameEncoder::hello(2), "protocol version 2"},
        {"bad magic", withLength(1, QByteArray("NVXQ\0\1", 6)), "does not start with NVXP"},
        {"short handshake", withLength(1, QByteArray("NVXP")), "runs past the end"},
        {"long handshake", withLength(1, QByteArray("NVXP\0\1\0", 7)), "left over"},
        {"unknown kind", hello + withLength(9, {}), "unknown frame kind 9"},
        {"kind zero", hello + withLength(0, {}), "unknown frame kind 0"},
        {"length over the cap", hello + XpcFrameEncoder::header(2, XpcWire::maximumBodyLength + 1),
         "huge frame"},
        {"largest length", hello + XpcFrameEncoder::header(2, 0xFFFFFFFF), "huge frame"},
        {"empty selector", hello + withLength(2, QByteArray::fromHex("00 0000 0000")), "selector of 0 bytes"},
        {"unknown flags",
         hello + withLength(2, QByteArray::fromHex("02 0001") + "s" + QByteArray::fromHex("0000")),
         "unknown call flags"},
        {"selector not UTF-8", hello + withLength(2, QByteArray::fromHex("00 0001 ff 0000")), "not UTF-8"},
        {"text not UTF-8", hello + withLength(2, selector + QByteArray::fromHex("0001 05 00000002 c328")),
         "not UTF-8"},
        {"call id zero",
         hello + withLength(3, QByteArray::fromHex("00000000") + selector + QByteArray::fromHex("0000")),
         "call id 0"},
        {"boolean two", hello + withLength(2, selector + QByteArray::fromHex("0001 01 02")),
         "neither 0 nor 1"},
        {"unknown tag", hello + withLength(2, selector + QByteArray::fromHex("0001 08")),
         "unknown value tag 8"},
        {"int32 cut short", hello + withLength(2, selector + QByteArray::fromHex("0001 03 0000")),
         "runs past"},
        {"text longer than the frame",
         hello + withLength(2, selector + QByteArray::fromHex("0001 05 7fffffff 41")), "runs past"},
        {"argument count lies", hello + withLength(2, selector + QByteArray::fromHex("ffff 00")), "run past"},
        {"dictionary count lies",
         hello + withLength(2, selector + QByteArray::fromHex("0001 07 ffffffff 0000")), "runs past"},
        {"nested dictionary",
         hello + withLength(2, selector + QByteArray::fromHex("0001 07 00000001 05 00000001 6b 07 00000000")),
         "inside a dictionary"},
        {"trailing bytes", hello + withLength(2, selector + QByteArray::fromHex("0000 00")), "left over"},
        {"unknown reply status", hello + withLength(4, QByteArray::fromHex("00000001 02 0000")),
         "reply status 2"},
        {"unanswered with arguments", hello + withLength(4, QByteArray::fromHex("00000001 01 0001 00")),
         "unanswered call with reply arguments"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        const std::vector<XpcFrame> frames = decodeAll(c.stream, c.stream.size(), &error);
        EXPECT_TRUE(error.contains(QLatin1String(c.error))) << error.toStdString();
        QString byteByByte;
        decodeAll(c.stream, 1, &byteByByte);
        EXPECT_EQ(byteByByte, error);
    }
}

TEST(XpcFrameDecoder, TheCapIsCheckedOnTheHeaderAlone)
{
    XpcFrameDecoder decoder;
    XpcFrame frame;
    decoder.feed(hello);
    ASSERT_EQ(decoder.next(&frame), XpcFrameDecoder::Result::Frame);
    decoder.feed(XpcFrameEncoder::header(2, XpcWire::maximumBodyLength));
    EXPECT_EQ(decoder.next(&frame), XpcFrameDecoder::Result::NeedMore);
    EXPECT_EQ(decoder.expectedBodyLength(), XpcWire::maximumBodyLength);

    XpcFrameDecoder over;
    over.feed(hello + XpcFrameEncoder::header(4, XpcWire::maximumBodyLength + 1));
    ASSERT_EQ(over.next(&frame), XpcFrameDecoder::Result::Frame);
    EXPECT_EQ(over.next(&frame), XpcFrameDecoder::Result::Error);
    // Failed for good: later bytes are not read.
    over.feed(frameBytes(callFrame("s", {})));
    EXPECT_EQ(over.next(&frame), XpcFrameDecoder::Result::Error);
}

TEST(XpcFrameDecoder, EncoderRefusesWhatTheDecoderWouldRefuse)
{
    QString error;
    EXPECT_FALSE(XpcFrameEncoder::encode(callFrame(QString(), {}), &error));
    EXPECT_FALSE(XpcFrameEncoder::encode(callFrame(QString(1025, QLatin1Char('s')), {}), &error));
    EXPECT_TRUE(XpcFrameEncoder::encode(callFrame(QString(1024, QLatin1Char('s')), {}), &error));
    const XpcValue nested = XpcValue::fromEntries({{XpcValue::fromText("k"), XpcValue::fromEntries({})}});
    EXPECT_FALSE(XpcFrameEncoder::encode(callFrame("s", {nested}), &error));
    EXPECT_TRUE(error.contains(QLatin1String("dictionary")));
    const QByteArray big(XpcWire::maximumBodyLength, 'x');
    EXPECT_FALSE(XpcFrameEncoder::encode(callFrame("s", {XpcValue::fromBytes(big)}), &error));
    // The largest body that fits: flags, selector, count, tag and length take 11 bytes.
    const auto largest =
        XpcFrameEncoder::encode(callFrame("s", {XpcValue::fromBytes(big.left(big.size() - 11))}));
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->size(), XpcWire::headerLength + XpcWire::maximumBodyLength);
    QString decodeError;
    EXPECT_EQ(decodeAll(hello + *largest, 1 << 20, &decodeError).size(), 2u) << decodeError.toStdString();
    XpcFrame reply;
    reply.kind = XpcFrameKind::Reply;
    EXPECT_FALSE(XpcFrameEncoder::encode(reply, &error)); // no call id
}

TEST(XpcValue, TextDictionaries)
{
    const QMap<QString, QString> payload{{"url", "https://a.example/?q=1"}, {"category", ""}, {"ünï", "✓"}};
    EXPECT_EQ(XpcValue::fromTextDictionary(payload).toTextDictionary(), payload);
    EXPECT_EQ(XpcValue::fromTextDictionary({}).toTextDictionary(), (QMap<QString, QString>{}));
    const struct
    {
        const char* name;
        XpcValue value;
    } refused[] = {
        {"not a dictionary", XpcValue::fromText("a")},
        {"value not text", XpcValue::fromEntries({{XpcValue::fromText("a"), XpcValue::fromInt32(1)}})},
        {"null value", XpcValue::fromEntries({{XpcValue::fromText("a"), XpcValue()}})},
        {"bytes key", XpcValue::fromEntries({{XpcValue::fromBytes("a"), XpcValue::fromText("b")}})},
        {"repeated key", XpcValue::fromEntries({{XpcValue::fromText("a"), XpcValue::fromText("1")},
                                                {XpcValue::fromText("a"), XpcValue::fromText("2")}})},
    };
    for (const auto& c : refused)
        EXPECT_FALSE(c.value.toTextDictionary().has_value()) << c.name;
    EXPECT_EQ(XpcValue::fromInt32(5).toInt16(), 0);
    EXPECT_EQ(XpcValue::fromInt16(-5).toInt16(), -5);
}
