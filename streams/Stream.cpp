#include <ombra/streams.h>

OBStream::OBStream() : streamType_(static_cast<OBStreamType>(0)) {}

OBStream::OBStream(const OBStream& other) : streamType_(other.streamType_) {}

OBStream& OBStream::operator=(const OBStream& other) {
    streamType_ = other.streamType_;
    return *this;
}

OBStream::~OBStream() = default;

OBXferBytes* OBStream::GetXferBytes() {
    return nullptr;
}

OBXferBytes::~OBXferBytes() = default;
