// The geometry's serialisation: one routine per type that reads on a reading
// stream and writes on a writing one.
#include <ombra/geometry.h>
#include <ombra/streams.h>

void OBPoint::ReadWrite(OBStream* stream) {
    if (!stream) return;
    stream->XferRealNumber(x_);
    stream->XferRealNumber(y_);
}

void OBRect::ReadWrite(OBStream* stream) {
    if (!stream) return;
    stream->XferRealNumber(left_);
    stream->XferRealNumber(top_);
    stream->XferRealNumber(right_);
    stream->XferRealNumber(bottom_);
}
