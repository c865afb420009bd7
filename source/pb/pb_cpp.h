// C++ helpers for code built on the runtime: an owning reference holder and
// the contract checks. Not part of the C interface.
#ifndef PB_CPP_H
#define PB_CPP_H

#include "pb.h"

#include <atomic>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace pb {

// Holds one reference to a runtime object and releases it when it goes out
// of scope, so that every return path lets go of its temporaries. addr()
// hands the reference to a copy-on-write setter; take() gives it away.
template <class T>
class Ref {
public:
    Ref() noexcept = default;
    explicit Ref(T *adopted) noexcept : obj_(adopted) {}
    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
    Ref(Ref &&other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
    Ref &operator=(Ref &&other) noexcept
    {
        if (this != &other)
            reset(std::exchange(other.obj_, nullptr));
        return *this;
    }
    ~Ref() { reset(); }

    // A new reference to obj (which may be null).
    static Ref retained(T *obj) noexcept
    {
        if (obj)
            pbObjRetain(asObj(obj));
        return Ref(obj);
    }

    T *get() const noexcept { return obj_; }
    T **addr() noexcept { return &obj_; }
    T *take() noexcept { return std::exchange(obj_, nullptr); }
    explicit operator bool() const noexcept { return obj_ != nullptr; }
    void reset(T *adopted = nullptr) noexcept
    {
        T *old = std::exchange(obj_, adopted);
        if (old)
            pbObjRelease(asObj(old));
    }

private:
    static PB_OBJ *asObj(T *obj) noexcept { return reinterpret_cast<PB_OBJ *>(obj); }
    T *obj_ = nullptr;
};

// An allocator for standard containers that takes its memory from
// pbMemAlloc: when memory runs out the process ends through the runtime's
// out-of-memory path, saying how many bytes were asked for, and no
// std::bad_alloc is ever thrown. Containers built on it may be used inside
// functions that must not let an exception out (every C entry point).
template <class T>
struct MemAllocator {
    using value_type = T;
    MemAllocator() noexcept = default;
    template <class U>
    MemAllocator(const MemAllocator<U> &) noexcept
    {
    }
    T *allocate(std::size_t count) noexcept
    {
        // A count whose size in bytes no integer holds asks for everything.
        const PB_INT bytes = count > std::size_t(PB_INT_MAX) / sizeof(T) ? PB_INT_MAX : PB_INT(count * sizeof(T));
        return static_cast<T *>(pbMemAlloc(bytes));
    }
    void deallocate(T *p, std::size_t) noexcept { pbMemFree(p); }
    template <class U>
    bool operator==(const MemAllocator<U> &) const noexcept
    {
        return true;
    }
};

template <class T>
using Vector = std::vector<T, MemAllocator<T>>;
using Text = std::basic_string<char, std::char_traits<char>, MemAllocator<char>>;

template <class T>
inline PB_OBJ *obj(T *typed) noexcept
{
    return reinterpret_cast<PB_OBJ *>(typed);
}

// True while more than one reference holds obj: a setter must copy it first.
// Reads the count word of the object's header atomically, as the runtime
// does, without a call into it.
inline bool isShared(const void *obj) noexcept
{
    auto *header = static_cast<PB___OBJ_HEADER *>(const_cast<void *>(obj));
    return std::atomic_ref<PB_INT>(header->refCount).load(std::memory_order_seq_cst) > 1;
}

namespace detail {

// The path of a source file without its extension, computed at compile time
// from __FILE__ (the build maps the source directory to the empty prefix).
template <std::size_t N>
struct SourceFile {
    char text[N] {};
    consteval SourceFile(const char (&path)[N])
    {
        std::size_t end = N - 1;
        for (std::size_t i = N - 1; i > 0; --i) {
            if (path[i - 1] == '/')
                break;
            if (path[i - 1] == '.') {
                end = i - 1;
                break;
            }
        }
        for (std::size_t i = 0; i < end; ++i)
            text[i] = path[i];
    }
};

} // namespace detail
} // namespace pb

#define PB___SOURCE_FILE                                                                  \
    ([]() -> const char * {                                                               \
        static constexpr ::pb::detail::SourceFile<sizeof(__FILE__)> sourceFile { __FILE__ }; \
        return sourceFile.text;                                                           \
    }())

// A contract check: in every build, a failed condition ends the process with
// the condition's own text, as written (macros in it are not expanded).
#define PB_ASSERT(condition) PB___ASSERT_TEXT(nullptr, condition, #condition)
#define PB_ASSERT_TAG(tag, condition) PB___ASSERT_TEXT(tag, condition, #condition)
#define PB___ASSERT_TEXT(tag, condition, text)                                  \
    do {                                                                        \
        if (!(condition)) [[unlikely]]                                          \
            pb___Abort((tag), PB___SOURCE_FILE, __LINE__, text);                \
    } while (0)
// A violation that has no condition text (an impossible value reached).
#define PB_UNREACHABLE() pb___Abort(nullptr, PB___SOURCE_FILE, __LINE__, nullptr)

#endif
