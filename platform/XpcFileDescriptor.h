#pragma once

// Owns one open file descriptor that crosses the interprocess link, and closes it when it
// goes. Move-only: a received descriptor has exactly one owner, so a handler that does not
// take it lets it close.
class XpcFileDescriptor
{
public:
    XpcFileDescriptor() noexcept = default;
    // Takes ownership (a negative value makes an empty one).
    explicit XpcFileDescriptor(int descriptor) noexcept : m_descriptor(descriptor < 0 ? -1 : descriptor) {}
    ~XpcFileDescriptor() { reset(); }
    XpcFileDescriptor(XpcFileDescriptor&& other) noexcept : m_descriptor(other.release()) {}
    XpcFileDescriptor& operator=(XpcFileDescriptor&& other) noexcept;
    XpcFileDescriptor(const XpcFileDescriptor&) = delete;
    XpcFileDescriptor& operator=(const XpcFileDescriptor&) = delete;

    // A close-on-exec duplicate of a descriptor the caller keeps; empty when that fails.
    static XpcFileDescriptor duplicate(int descriptor) noexcept;

    bool isValid() const noexcept { return m_descriptor >= 0; }
    int get() const noexcept { return m_descriptor; }
    // Hands the descriptor over without closing it.
    int release() noexcept
    {
        const int descriptor = m_descriptor;
        m_descriptor = -1;
        return descriptor;
    }
    void reset() noexcept;

private:
    int m_descriptor = -1;
};
