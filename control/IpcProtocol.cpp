#include "control/IpcProtocol.h"

namespace IpcProtocol {

XpcInvocation deliveryOf(const IpcMessage& message)
{
    XpcInvocation invocation;
    invocation.selector = receiveMessageSelector;
    invocation.arguments = {XpcValue::fromInt16(rawValue(message.id())),
                            XpcValue::fromTextDictionary(message.toDictionary())};
    if (const SharedFileHandle handle = message.fileHandle(); handle && handle->isValid())
        invocation.fileDescriptor = XpcFileDescriptor::duplicate(handle->fileDescriptor());
    return invocation;
}

std::optional<Delivery> readDelivery(const XpcArguments& arguments, QString* why)
{
    if (arguments.size() != 2 || arguments.at(0).type() != XpcValue::Type::Int16) {
        if (why)
            *why = QStringLiteral("the arguments are not an identifier and a payload");
        return std::nullopt;
    }
    const auto dictionary =
        arguments.at(1).isNull() ? std::optional<IpcDictionary>(IpcDictionary()) : arguments.at(1).toTextDictionary();
    if (!dictionary) {
        if (why)
            *why = QStringLiteral("the payload is not a dictionary of texts");
        return std::nullopt;
    }
    return Delivery{arguments.at(0).toInt16(), *dictionary};
}

} // namespace IpcProtocol
