#include <ombra/typedstreams.h>

#include "streams/SeekWithin.h"

#include <cstring>

OBBufferXferBytes::OBBufferXferBytes(const void* data, unsigned long long size, short takeOwnership)
    : data_(static_cast<const unsigned char*>(data)), size_(data ? size : 0), position_(0),
      state_(kStreamOK), ownsData_(takeOwnership == 1 ? 1 : 0) {}

OBBufferXferBytes::~OBBufferXferBytes() {
    if (ownsData_) OBLibFree(const_cast<unsigned char*>(data_));
}

unsigned long long OBBufferXferBytes::Read(void* buffer, unsigned long long count) {
    unsigned long long available = size_ - position_;
    unsigned long long n = count < available ? count : available;
    if (!buffer) n = 0;
    if (n < count) state_ = kStreamEOF;
    if (n) std::memcpy(buffer, data_ + position_, n);
    position_ += n;
    return n;
}

unsigned long long OBBufferXferBytes::Write(const void*, unsigned long long count) {
    if (count) state_ = kStreamError;
    return 0;
}

unsigned long long OBBufferXferBytes::Seek(long long offset, OBSeekFromWhere from) {
    if (state_ == kStreamEOF) state_ = kStreamOK;
    position_ = obstreams::SeekWithin(position_, size_, offset, from);
    return position_;
}

unsigned long long OBBufferXferBytes::Tell() {
    return position_;
}

void OBBufferXferBytes::Flush() {}

OBStreamState OBBufferXferBytes::GetStreamState() {
    return state_;
}

void OBBufferXferBytes::SetEndOfStream() {
    size_ = position_;
}

OBBufferStreamRead::OBBufferStreamRead(const void* data, unsigned long long size,
                                       short takeOwnership)
    : bufferXfer_(data, size, takeOwnership) {
    SetXferBytes(&bufferXfer_);
}

OBBufferStreamRead::~OBBufferStreamRead() = default;
