// C++20 interface to the pb runtime, header-only, over its C API alone:
//
//   corvanead::Ref<T>       holds one reference to a runtime object (PB_STRING,
//                           PB_BUFFER, RFC_CRC, ...) and releases it when it
//                           goes, so a C++ caller never calls release by hand;
//   corvanead::adopt(p)     takes over what a C function returned;
//   corvanead::ModuleScope  starts a module and shuts it down again;
//   bufferFrom, stringFromUtf8, bytes, utf8
//                           between runtime objects and std::span /
//                           std::string_view / std::string.
//
//   corvanead::ModuleScope rfc(rfcModule());
//   auto data = corvanead::bufferFrom(std::string_view("hello"));
//   auto text = corvanead::adopt(rfcBaseEncodeToString(data.get(), RFC_BASE_ENCODING_BASE64));
//   std::string s = corvanead::utf8(text.get());   // "aGVsbG8="
#ifndef PB_HPP
#define PB_HPP

#include "pb.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace corvanead {

// One reference to a runtime object, released by the destructor. A copy
// takes a reference of its own; a move hands the reference over. Empty
// (null) holders are allowed: a ...TryDecode... that refuses its input gives
// one. addr() lends the reference to a copy-on-write setter such as
// pbBufferAppendBytes(b.addr(), ...), which may replace the object.
template <class T>
class Ref {
public:
    Ref() noexcept = default;
    Ref(std::nullptr_t) noexcept {}

    // Takes over a reference the caller owns: what a function returns.
    static Ref adopt(T *owned) noexcept
    {
        Ref r;
        r.obj_ = owned;
        return r;
    }
    // Takes a new reference to a borrowed object (which may be null).
    static Ref retain(T *borrowed) noexcept
    {
        if (borrowed)
            pbObjRetain(asObj(borrowed));
        return adopt(borrowed);
    }

    Ref(const Ref &other) noexcept : obj_(retain(other.obj_).release()) {}
    Ref(Ref &&other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
    Ref &operator=(Ref other) noexcept
    {
        std::swap(obj_, other.obj_);
        return *this;
    }
    ~Ref() { reset(); }

    T *get() const noexcept { return obj_; }
    T **addr() noexcept { return &obj_; }
    explicit operator bool() const noexcept { return obj_ != nullptr; }
    // Gives the reference away: the caller now releases it.
    [[nodiscard]] T *release() noexcept { return std::exchange(obj_, nullptr); }
    // Releases the reference held, then holds owned (which may be null).
    void reset(T *owned = nullptr) noexcept
    {
        T *old = std::exchange(obj_, owned);
        if (old)
            pbObjRelease(asObj(old));
    }

    friend bool operator==(const Ref &a, const Ref &b) noexcept { return a.obj_ == b.obj_; }

private:
    // Every runtime object begins with the runtime's object header, so a
    // typed object pointer is the generic one (what pbStringObj() and its
    // siblings return).
    static PB_OBJ *asObj(T *obj) noexcept { return reinterpret_cast<PB_OBJ *>(obj); }

    T *obj_ = nullptr;
};

// corvanead::adopt(rfcBaseEncodeToString(...)) is a Ref<PB_STRING>.
template <class T>
[[nodiscard]] Ref<T> adopt(T *owned) noexcept
{
    return Ref<T>::adopt(owned);
}

// Starts a module (and the runtime before it) for the scope's lifetime, as
// the product's loader does; shuts it down at the end of the scope. Every
// Ref of the module's objects must be gone by then.
class ModuleScope {
public:
    explicit ModuleScope(const PB_MODULE *module) noexcept
        : module_(module), started_(pbModuleStartup(module) == PB_TRUE) {}
    ModuleScope(const ModuleScope &) = delete;
    ModuleScope &operator=(const ModuleScope &) = delete;
    ~ModuleScope()
    {
        if (started_)
            pbModuleShutdown(module_);
    }
    explicit operator bool() const noexcept { return started_; }

private:
    const PB_MODULE *module_;
    bool started_;
};

// A new buffer holding a copy of the bytes.
[[nodiscard]] inline Ref<PB_BUFFER> bufferFrom(std::span<const std::byte> bytes)
{
    return adopt(pbBufferCreateFromBytesCopy(reinterpret_cast<const PB_BYTE *>(bytes.data()),
                                             static_cast<PB_INT>(bytes.size())));
}
[[nodiscard]] inline Ref<PB_BUFFER> bufferFrom(std::string_view bytes)
{
    return bufferFrom(std::as_bytes(std::span(bytes.data(), bytes.size())));
}

// The bytes of a buffer, valid while the buffer is held and unchanged.
inline std::span<const std::byte> bytes(PB_BUFFER *buffer) noexcept
{
    return { reinterpret_cast<const std::byte *>(pbBufferBacking(buffer)),
             static_cast<std::size_t>(pbBufferLength(buffer)) };
}

// A new string from strict UTF-8, or an empty Ref when the text is not well
// formed (a surrogate, an overlong form, a stray byte).
[[nodiscard]] inline Ref<PB_STRING> stringFromUtf8(std::string_view text)
{
    return adopt(pbStringTryCreateFromUtf8(reinterpret_cast<const PB_BYTE *>(text.data()),
                                           static_cast<PB_INT>(text.size())));
}

// The string's code points in UTF-8 (U+FFFD for any that is not a Unicode
// scalar value).
[[nodiscard]] inline std::string utf8(PB_STRING *s)
{
    struct Text {
        char *bytes;
        ~Text() { pbMemFree(bytes); }
    };
    PB_INT length = 0;
    Text text { pbStringConvertToUtf8(s, &length) };
    return std::string(text.bytes, static_cast<std::size_t>(length));
}

} // namespace corvanead

#endif
