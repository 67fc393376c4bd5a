#pragma once

#include "platform/XpcValue.h"

#include <memory>

class XpcConnectionCore;

// The answer to one received call that expects a reply. Copies share one answer: the first
// call sends it (from any thread), later ones are ignored. When the last copy goes without
// an answer, the caller is told that the call was not handled, so no caller waits forever.
// A default-made block (one-way calls) does nothing.
class XpcReplyBlock
{
public:
    XpcReplyBlock() = default;

    bool isValid() const { return m_state != nullptr; }
    void operator()(const XpcArguments& arguments) const;

private:
    friend class XpcConnectionCore;
    struct State;
    XpcReplyBlock(const std::shared_ptr<XpcConnectionCore>& core, quint32 callId, const QString& selector);

    std::shared_ptr<State> m_state;
};
