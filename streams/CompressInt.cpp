#include <ombra/typedstreams.h>

#include <algorithm>
#include <cstring>

namespace {

// Values per block for modes 0, 1 and 2: 4096 bytes of each width.
constexpr short kBlockLimit[3] = {1024, 4096, 2048};
constexpr unsigned short kCountMask = 0x3FFF;

} // namespace

// ---- OBCompressInt_Write -----------------------------------------------------

OBCompressInt_Write::OBCompressInt_Write(OBStream* stream)
    : stream_(stream), count_(0), mode_(kOBCompressInt_8), buffer_() {}

OBCompressInt_Write::OBCompressInt_Write(const OBCompressInt_Write& other)
    : stream_(other.stream_), count_(other.count_), mode_(other.mode_) {
    std::memcpy(&buffer_, &other.buffer_, sizeof buffer_);
}

OBCompressInt_Write& OBCompressInt_Write::operator=(const OBCompressInt_Write& other) {
    if (&other == this) return *this;
    if (count_ > 0) FlushBuffer(); // this writer's values are not lost
    stream_ = other.stream_;
    count_ = other.count_;
    mode_ = other.mode_;
    std::memcpy(&buffer_, &other.buffer_, sizeof buffer_);
    return *this;
}

OBCompressInt_Write::~OBCompressInt_Write() {
    if (count_ > 0) FlushBuffer();
}

void OBCompressInt_Write::Write(unsigned char value) {
    WriteKnown(value, kOBCompressInt_8);
}

void OBCompressInt_Write::Write(short value) {
    short mode = (value >= 0 && value <= 255) ? kOBCompressInt_8 : kOBCompressInt_16;
    WriteKnown(static_cast<unsigned int>(static_cast<int>(value)), mode);
}

void OBCompressInt_Write::Write(int value) {
    short mode = kOBCompressInt_32;
    if (value >= 0 && value <= 255) {
        mode = kOBCompressInt_8;
    } else if (value >= 256 && value <= 32767) {
        mode = kOBCompressInt_16;
    }
    WriteKnown(static_cast<unsigned int>(value), mode);
}

void OBCompressInt_Write::WriteKnown(unsigned int value, short mode) {
    if (count_ > 0 && mode != mode_) FlushBuffer();
    mode_ = mode;
    switch (mode) {
    case kOBCompressInt_32:
        buffer_.longs[count_] = static_cast<int>(value);
        break;
    case kOBCompressInt_8:
        buffer_.bytes[count_] = static_cast<unsigned char>(value);
        break;
    case kOBCompressInt_16:
        buffer_.words[count_] = static_cast<short>(static_cast<unsigned short>(value));
        break;
    default:
        return;
    }
    if (++count_ >= kBlockLimit[mode]) FlushBuffer();
}

void OBCompressInt_Write::FlushBuffer() {
    if (stream_ && count_ > 0 && mode_ >= kOBCompressInt_32 && mode_ <= kOBCompressInt_16) {
        short header = static_cast<short>(static_cast<unsigned short>(mode_ * 16384 + count_));
        stream_->XferInt16(header);
        switch (mode_) {
        case kOBCompressInt_32:
            stream_->XferInt32(buffer_.longs, count_);
            break;
        case kOBCompressInt_8:
            stream_->XferByte(buffer_.bytes, count_);
            break;
        default:
            stream_->XferInt16(buffer_.words, count_);
            break;
        }
    }
    count_ = 0;
}

// ---- OBCompressInt_Read ------------------------------------------------------

OBCompressInt_Read::OBCompressInt_Read(OBStream* stream)
    : stream_(stream), remaining_(0), mode_(0), ready_(0), next_(0) {}

int OBCompressInt_Read::ReadBlock() {
    if (!stream_) return 0;
    // Empty blocks carry nothing and are passed over; a header that cannot
    // be read ends the attempt, so a truncated stream never loops.
    while (remaining_ == 0) {
        short header = 0;
        if (stream_->XferInt16(&header, 1) != 1) return 0;
        unsigned short h = static_cast<unsigned short>(header);
        remaining_ = h & kCountMask;
        mode_ = static_cast<unsigned short>(h >> 14);
    }
    // A count beyond what a writer puts in one block comes in parts.
    long long got = 0, n = remaining_;
    switch (mode_) {
    case kOBCompressInt_32:
        n = std::min(n, 1024LL);
        got = stream_->XferInt32(block_.longs, n);
        std::fill(block_.longs + got, block_.longs + n, 0);
        break;
    case kOBCompressInt_8:
        n = std::min(n, 4096LL);
        got = stream_->XferByte(block_.bytes, n);
        std::fill(block_.bytes + got, block_.bytes + n, 0);
        break;
    case kOBCompressInt_16:
        n = std::min(n, 2048LL);
        got = stream_->XferInt16(block_.words, n);
        std::fill(block_.words + got, block_.words + n, 0);
        break;
    default:
        return 0; // mode 3 carries nothing and never ends
    }
    next_ = 0;
    ready_ = static_cast<unsigned int>(n);
    remaining_ -= static_cast<unsigned int>(n);
    return Read();
}
