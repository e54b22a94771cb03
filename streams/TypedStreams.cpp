#include <ombra/typedstreams.h>

#include "streams/ByteSwap.h"

#include <cstring>

namespace {

// The largest element count whose bytes fit an unsigned 64-bit count.
template <typename T> unsigned long long ByteCount(long long count) {
    if (count <= 0) return 0;
    unsigned long long n = static_cast<unsigned long long>(count);
    const unsigned long long limit = ~0ULL / sizeof(T);
    return (n > limit ? limit : n) * sizeof(T);
}

template <typename T> T Reversed(T value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    for (std::size_t i = 0; i < sizeof(T) / 2; ++i) {
        unsigned char b = bytes[i];
        bytes[i] = bytes[sizeof(T) - 1 - i];
        bytes[sizeof(T) - 1 - i] = b;
    }
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

template <> short Reversed<short>(short value) {
    return static_cast<short>(__builtin_bswap16(static_cast<unsigned short>(value)));
}
template <> int Reversed<int>(int value) {
    return static_cast<int>(__builtin_bswap32(static_cast<unsigned int>(value)));
}

// Reads one value; with swapping its bytes are reversed. A short read
// leaves the bytes that did not come as they were.
template <typename T> T ReadScalar(OBXferBytes* xfer, short swapping, T& value) {
    if (!xfer) return value;
    if (!swapping) {
        xfer->Read(&value, sizeof(T));
        return value;
    }
    T wire = Reversed(value);
    xfer->Read(&wire, sizeof(T));
    value = Reversed(wire);
    return value;
}

template <typename T>
long long ReadArray(OBXferBytes* xfer, short swapping, T* buffer, long long count) {
    if (!xfer || !buffer || count <= 0) return 0;
    unsigned long long got = xfer->Read(buffer, ByteCount<T>(count));
    // All count elements are reversed, also after a short read; the result
    // counts the whole elements that came.
    if (swapping) ombra_detail::SwapCopy(buffer, buffer, static_cast<std::size_t>(count));
    return static_cast<long long>(got / sizeof(T));
}

template <typename T> void WriteScalar(OBXferBytes* xfer, short swapping, T value) {
    if (!xfer) return;
    T wire = swapping ? Reversed(value) : value;
    xfer->Write(&wire, sizeof(T));
}

// Unswapped arrays go out in one write. Swapped ones pass through a block
// in chunks, so the caller's array is left alone: up to 256 KiB from the
// memory service, so that a file behind the stream gets few large writes
// rather than many of its buffer's size, or 16 KiB on the stack when there
// is no memory for it.
template <typename T>
long long WriteArray(OBXferBytes* xfer, short swapping, const T* buffer, long long count) {
    if (!xfer || !buffer || count <= 0) return 0;
    if (!swapping) {
        return static_cast<long long>(xfer->Write(buffer, ByteCount<T>(count)) / sizeof(T));
    }
    constexpr unsigned long long kLargest = 256 * 1024;
    T stackBlock[16384 / sizeof(T)];
    T* block = stackBlock;
    long long chunk = static_cast<long long>(sizeof stackBlock / sizeof(T));
    unsigned long long total = ByteCount<T>(count);
    if (total > sizeof stackBlock) {
        std::size_t bytes = static_cast<std::size_t>(total < kLargest ? total : kLargest);
        if (T* taken = static_cast<T*>(OBLibAllocate(bytes))) {
            block = taken;
            chunk = static_cast<long long>(bytes / sizeof(T));
        }
    }
    long long done = 0;
    while (done < count) {
        long long n = count - done < chunk ? count - done : chunk;
        ombra_detail::SwapCopy(block, buffer + done, static_cast<std::size_t>(n));
        unsigned long long bytes = static_cast<unsigned long long>(n) * sizeof(T);
        unsigned long long put = xfer->Write(block, bytes);
        done += static_cast<long long>(put / sizeof(T));
        if (put != bytes) break;
    }
    if (block != stackBlock) OBLibFree(block);
    return done;
}

} // namespace

// ---- COBStreamRead -----------------------------------------------------------

COBStreamRead::COBStreamRead() : xfer_(nullptr), swapping_(0) {
    SetStreamType(kStreamTypeRead);
}

COBStreamRead::COBStreamRead(const COBStreamRead& other)
    : OBStream(other), xfer_(other.xfer_), swapping_(other.swapping_) {}

COBStreamRead& COBStreamRead::operator=(const COBStreamRead& other) {
    if (this == &other) return *this;
    OBStream::operator=(other);
    xfer_ = other.xfer_;
    swapping_ = other.swapping_;
    return *this;
}

COBStreamRead::~COBStreamRead() = default;

long long COBStreamRead::XferByte(unsigned char* buffer, long long count) {
    if (!xfer_ || !buffer || count <= 0) return 0;
    return static_cast<long long>(xfer_->Read(buffer, static_cast<unsigned long long>(count)));
}

unsigned char COBStreamRead::XferByte(unsigned char& value) {
    if (xfer_) xfer_->Read(&value, 1);
    return value;
}

long long COBStreamRead::XferBool(short* buffer, long long count) {
    return XferInt16(buffer, count);
}

short COBStreamRead::XferBool(short& value) {
    return XferInt16(value);
}

long long COBStreamRead::XferInt16(short* buffer, long long count) {
    return ReadArray(xfer_, swapping_, buffer, count);
}

short COBStreamRead::XferInt16(short& value) {
    return ReadScalar(xfer_, swapping_, value);
}

long long COBStreamRead::XferInt32(int* buffer, long long count) {
    return ReadArray(xfer_, swapping_, buffer, count);
}

int COBStreamRead::XferInt32(int& value) {
    return ReadScalar(xfer_, swapping_, value);
}

long long COBStreamRead::XferRealNumber(OBReal* buffer, long long count) {
    if (!buffer) return 0;
    long long done = 0;
    while (done < count && GetStreamState() == kStreamOK) {
        XferRealNumber(buffer[done]);
        if (GetStreamState() != kStreamOK) break;
        ++done;
    }
    return done;
}

OBReal& COBStreamRead::XferRealNumber(OBReal& value) {
    double wire = swapping_ ? ByteSwapReverse::SwapDouble(value.Value()) : value.Value();
    unsigned char bytes[8];
    std::memcpy(bytes, &wire, 8);
    XferByte(bytes, 8);
    std::memcpy(&wire, bytes, 8);
    value = swapping_ ? ByteSwapReverse::SwapDouble(wire) : wire;
    return value;
}

long long COBStreamRead::Seek(long long offset, OBSeekFromWhere from) {
    return xfer_ ? static_cast<long long>(xfer_->Seek(offset, from)) : 0;
}

void COBStreamRead::SetEndOfStream() {
    if (xfer_) xfer_->SetEndOfStream();
}

long long COBStreamRead::Tell() {
    return xfer_ ? static_cast<long long>(xfer_->Tell()) : 0;
}

void COBStreamRead::Flush() {
    if (xfer_) xfer_->Flush();
}

OBStreamState COBStreamRead::GetStreamState() {
    return xfer_ ? xfer_->GetStreamState() : kStreamError;
}

short COBStreamRead::IsReading() {
    return 1;
}
short COBStreamRead::IsWriting() {
    return 0;
}
void COBStreamRead::SetSwapping(short swapping) {
    swapping_ = swapping;
}
short COBStreamRead::Open() {
    return 1;
}
void COBStreamRead::Close() {}
OBXferBytes* COBStreamRead::GetXferBytes() {
    return xfer_;
}
void COBStreamRead::Comment(char*) {}
short COBStreamRead::GetSwapping() {
    return swapping_;
}
void COBStreamRead::GetStreamLimits(long long&, long long&) {}
void COBStreamRead::SetStreamLimits(long long, long long) {}

// ---- COBStreamWrite ----------------------------------------------------------

COBStreamWrite::COBStreamWrite() : xfer_(nullptr), swapping_(0) {
    SetStreamType(kStreamTypeWrite);
}

COBStreamWrite::COBStreamWrite(const COBStreamWrite& other)
    : OBStream(other), xfer_(other.xfer_), swapping_(other.swapping_) {}

COBStreamWrite& COBStreamWrite::operator=(const COBStreamWrite& other) {
    if (this == &other) return *this;
    OBStream::operator=(other);
    xfer_ = other.xfer_;
    swapping_ = other.swapping_;
    return *this;
}

COBStreamWrite::~COBStreamWrite() = default;

long long COBStreamWrite::XferByte(unsigned char* buffer, long long count) {
    if (!xfer_ || !buffer || count <= 0) return 0;
    return static_cast<long long>(xfer_->Write(buffer, static_cast<unsigned long long>(count)));
}

unsigned char COBStreamWrite::XferByte(unsigned char& value) {
    if (xfer_) xfer_->Write(&value, 1);
    return value;
}

long long COBStreamWrite::XferBool(short* buffer, long long count) {
    return XferInt16(buffer, count);
}

short COBStreamWrite::XferBool(short& value) {
    short t = value ? 1 : 0;
    WriteScalar(xfer_, swapping_, t);
    value = t;
    return t;
}

long long COBStreamWrite::XferInt16(short* buffer, long long count) {
    return WriteArray(xfer_, swapping_, buffer, count);
}

short COBStreamWrite::XferInt16(short& value) {
    WriteScalar(xfer_, swapping_, value);
    return value;
}

long long COBStreamWrite::XferInt32(int* buffer, long long count) {
    return WriteArray(xfer_, swapping_, buffer, count);
}

int COBStreamWrite::XferInt32(int& value) {
    WriteScalar(xfer_, swapping_, value);
    return value;
}

long long COBStreamWrite::XferRealNumber(OBReal* buffer, long long count) {
    if (!buffer || count <= 0) return 0;
    long long done = 0;
    for (long long i = 0; i < count; ++i) {
        double wire =
            swapping_ ? ByteSwapReverse::SwapDouble(buffer[i].Value()) : buffer[i].Value();
        unsigned char bytes[8];
        std::memcpy(bytes, &wire, 8);
        if (XferByte(bytes, 8) == 8) ++done;
    }
    return done;
}

OBReal& COBStreamWrite::XferRealNumber(OBReal& value) {
    double wire = swapping_ ? ByteSwapReverse::SwapDouble(value.Value()) : value.Value();
    unsigned char bytes[8];
    std::memcpy(bytes, &wire, 8);
    XferByte(bytes, 8);
    return value;
}

long long COBStreamWrite::Seek(long long offset, OBSeekFromWhere from) {
    return xfer_ ? static_cast<long long>(xfer_->Seek(offset, from)) : 0;
}

void COBStreamWrite::SetEndOfStream() {
    if (xfer_) xfer_->SetEndOfStream();
}

long long COBStreamWrite::Tell() {
    return xfer_ ? static_cast<long long>(xfer_->Tell()) : 0;
}

void COBStreamWrite::Flush() {
    if (xfer_) xfer_->Flush();
}

OBStreamState COBStreamWrite::GetStreamState() {
    return xfer_ ? xfer_->GetStreamState() : kStreamError;
}

short COBStreamWrite::IsReading() {
    return 0;
}
short COBStreamWrite::IsWriting() {
    return 1;
}
void COBStreamWrite::SetSwapping(short swapping) {
    swapping_ = swapping;
}
short COBStreamWrite::Open() {
    return 1;
}
void COBStreamWrite::Close() {}
OBXferBytes* COBStreamWrite::GetXferBytes() {
    return xfer_;
}
void COBStreamWrite::Comment(char*) {}
short COBStreamWrite::GetSwapping() {
    return swapping_;
}
void COBStreamWrite::GetStreamLimits(long long&, long long&) {}
void COBStreamWrite::SetStreamLimits(long long, long long) {}

// ---- The memory streams ------------------------------------------------------

OBMemStreamRead::OBMemStreamRead(OBXferBytes* xfer) {
    SetXferBytes(xfer);
}

OBMemStreamRead::OBMemStreamRead(const OBMemStreamRead& other) : COBStreamRead(other) {}

OBMemStreamRead::~OBMemStreamRead() = default;

OBMemStreamWrite::OBMemStreamWrite() {
    SetXferBytes(&memXfer_);
}

OBMemStreamWrite::OBMemStreamWrite(OBXferBytes* xfer) {
    SetXferBytes(xfer);
}

OBMemStreamWrite::~OBMemStreamWrite() = default;
