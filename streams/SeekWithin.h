// Where a seek lands in bytes held in memory, for the memory and buffer
// transfers alike.
#ifndef OMBRA_STREAMS_SEEKWITHIN_H
#define OMBRA_STREAMS_SEEKWITHIN_H

#include <ombra/streams.h>

namespace obstreams {

/// The position a seek by offset from `from` reaches in size bytes, now at
/// position: another origin stays where it is, and a target before the start
/// or past the end (compared as unsigned) lands on the end.
inline unsigned long long SeekWithin(unsigned long long position, unsigned long long size,
                                     long long offset, OBSeekFromWhere from) {
    unsigned long long delta = static_cast<unsigned long long>(offset);
    unsigned long long target = from == kSeekFromStart     ? delta
                                : from == kSeekFromCurrent ? position + delta
                                : from == kSeekFromEnd     ? size + delta
                                                           : position;
    return target > size ? size : target;
}

} // namespace obstreams

#endif
