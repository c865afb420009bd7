// Internal to the base-encoding family: the holder of the bytes a result is
// written into before it becomes a buffer or a string. Not part of the C
// interface.
#ifndef RFC_BASE_RESULT_H
#define RFC_BASE_RESULT_H

#include "rfc_base_internal.h"

#include <cstdint>

namespace rfc::base {

// Room for at most `capacity` result bytes plus `slack` bytes that whole
// vector stores may write beyond them. Up to `limit` bytes the room is on
// the stack and the result is made from it with one copy, so that it is
// one allocation (the object with its bytes): below the limit the copy
// costs less than a second allocation and its free. Above it the room is
// one allocation that the result buffer takes over, which saves the copy;
// the holder frees it on every path that does not hand it over.
template <PB_INT limit, PB_INT slack = 0>
class ResultBytes {
public:
    explicit ResultBytes(PB_INT capacity)
        : allocated_(capacity + slack),
          heap_(capacity > limit ? static_cast<std::uint8_t *>(pbMemAlloc(allocated_)) : nullptr)
    {
    }
    ~ResultBytes()
    {
        if (heap_)
            pbMemFree(heap_);
    }
    ResultBytes(const ResultBytes &) = delete;
    ResultBytes &operator=(const ResultBytes &) = delete;

    std::uint8_t *data() { return heap_ ? heap_ : local_; }
    PB_INT capacity() const { return allocated_ - slack; }
    char *chars() { return reinterpret_cast<char *>(data()); }

    // A new buffer (owned by the caller) with the first count bytes; unused
    // room of an allocation is given back when it is large.
    PB_BUFFER *finishBuffer(PB_INT count)
    {
        if (!heap_)
            return pbBufferCreateFromBytesCopy(local_, count);
        std::uint8_t *bytes = heap_;
        heap_ = nullptr;
        if (allocated_ - count > 64 && allocated_ - count > count / 8)
            bytes = static_cast<std::uint8_t *>(pbMemRealloc(bytes, count));
        return pbBufferCreateFromBytesUse(bytes, count);
    }

    // A new string (owned by the caller) of the first count bytes, one code
    // point each; the room stays with the holder.
    PB_STRING *finishString(PB_INT count) { return pbStringCreateFromAscii(data(), count); }

private:
    PB_INT allocated_;
    std::uint8_t *heap_;
    std::uint8_t local_[limit + slack];
};

} // namespace rfc::base

#endif
