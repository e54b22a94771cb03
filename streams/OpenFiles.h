// The file transfers open in the process, by file, so that the core settles
// a transfer's buffer before it reaches the same file another way.
#ifndef OMBRA_STREAMS_OPENFILES_H
#define OMBRA_STREAMS_OPENFILES_H

#include <ombra/streams.h>

#include "platform/Files.h"

class OBOpenFileList {
public:
    /// Lists an open transfer of a regular file. Transfers of the calling
    /// thread already open on the same file are settled and, like this one,
    /// stop buffering: two handles of one file see each other's bytes.
    /// Returns false when such a transfer exists.
    static bool Add(OBFileXferBytesRef& transfer, const obsys::FileIdentity& file);
    static void Remove(OBFileXferBytesRef& transfer);
    /// Settles the calling thread's transfers of the file at path, before
    /// the core copies it or asks for its size.
    static void SettlePath(const char* path);
};

#endif
