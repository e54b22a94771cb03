#include <ombra/typedstreams.h>

// ---- OBFileStreamReadRef -----------------------------------------------------

OBFileStreamReadRef::OBFileStreamReadRef() : fileXfer_(new OBFileXferBytesRef) {
    SetXferBytes(fileXfer_);
}

OBFileStreamReadRef::OBFileStreamReadRef(const OBSysFileRef& file, unsigned int mode,
                                         unsigned int creator, unsigned int type)
    : OBFileStreamReadRef() {
    Open(file, mode, creator, type);
}

OBFileStreamReadRef::OBFileStreamReadRef(const OBFileStreamReadRef& other)
    : COBStreamRead(other), fileXfer_(other.fileXfer_ ? new OBFileXferBytesRef(*other.fileXfer_)
                                                      : new OBFileXferBytesRef) {
    SetXferBytes(fileXfer_);
}

OBFileStreamReadRef& OBFileStreamReadRef::operator=(const OBFileStreamReadRef& other) {
    if (&other == this) return *this;
    COBStreamRead::operator=(other);
    if (fileXfer_ && other.fileXfer_) *fileXfer_ = *other.fileXfer_;
    SetXferBytes(fileXfer_);
    return *this;
}

OBFileStreamReadRef::~OBFileStreamReadRef() {
    delete fileXfer_;
}

short OBFileStreamReadRef::Open(const OBSysFileRef& file, unsigned int mode, unsigned int creator,
                                unsigned int type) {
    return fileXfer_ ? fileXfer_->Open(file, mode, creator, type) : 0;
}

OBSysFileRef OBFileStreamReadRef::GetSystemFile() const {
    return fileXfer_ ? fileXfer_->GetSystemFile() : OBSysFileRef();
}

OBSysFileRef OBFileStreamReadRef::GetCachedSystemFile() const {
    return fileXfer_ ? fileXfer_->GetCachedSystemFile() : OBSysFileRef();
}

void OBFileStreamReadRef::Close() {
    if (fileXfer_) fileXfer_->Close();
}

short OBFileStreamReadRef::Open() {
    return 0;
}

// ---- OBFileStreamWriteRef ----------------------------------------------------

OBFileStreamWriteRef::OBFileStreamWriteRef() {
    SetXferBytes(&fileXfer_);
}

OBFileStreamWriteRef::OBFileStreamWriteRef(const OBSysFileRef& file, unsigned int mode,
                                           unsigned int creator, unsigned int type)
    : OBFileStreamWriteRef() {
    Open(file, mode, creator, type);
}

OBFileStreamWriteRef::OBFileStreamWriteRef(const OBFileStreamWriteRef& other)
    : COBStreamWrite(other), fileXfer_(other.fileXfer_) {
    SetXferBytes(&fileXfer_);
}

OBFileStreamWriteRef& OBFileStreamWriteRef::operator=(const OBFileStreamWriteRef& other) {
    if (&other == this) return *this;
    COBStreamWrite::operator=(other);
    fileXfer_ = other.fileXfer_;
    SetXferBytes(&fileXfer_);
    return *this;
}

OBFileStreamWriteRef::~OBFileStreamWriteRef() = default;

short OBFileStreamWriteRef::Open(const OBSysFileRef& file, unsigned int mode, unsigned int creator,
                                 unsigned int type) {
    return fileXfer_.Open(file, mode, creator, type);
}

short OBFileStreamWriteRef::Create(const OBSysFileRef& file, unsigned int mode,
                                   unsigned int creator, unsigned int type) {
    return fileXfer_.Create(file, mode, creator, type);
}

OBSysFileRef OBFileStreamWriteRef::GetSystemFile() const {
    return fileXfer_.GetSystemFile();
}

OBSysFileRef OBFileStreamWriteRef::GetCachedSystemFile() const {
    return fileXfer_.GetCachedSystemFile();
}

void OBFileStreamWriteRef::Close() {
    fileXfer_.Close();
}

short OBFileStreamWriteRef::Open() {
    return 0;
}

// ---- OBStreamUtilRef ---------------------------------------------------------

namespace {

template <typename Stream, typename Opener> OBStream* MadeAndOpened(Stream* stream, Opener open) {
    if (!stream) return nullptr;
    if (!stream->GetXferBytes() || open(*stream) != 1) {
        delete stream; // never a half-opened stream
        return nullptr;
    }
    return stream;
}

} // namespace

OBStream* OBStreamUtilRef::CreateFileStreamRead(const OBSysFileRef& file, unsigned int mode,
                                                unsigned int creator, unsigned int type) {
    return MadeAndOpened(new OBFileStreamReadRef,
                         [&](OBFileStreamReadRef& s) { return s.Open(file, mode, creator, type); });
}

OBStream* OBStreamUtilRef::CreateFileStreamWrite(const OBSysFileRef& file, unsigned int mode,
                                                 unsigned int creator, unsigned int type) {
    return MadeAndOpened(new OBFileStreamWriteRef, [&](OBFileStreamWriteRef& s) {
        return s.Open(file, mode, creator, type);
    });
}

OBStream* OBStreamUtilRef::CreateFileStreamWriteFromPath(const OBSysFileRef& file,
                                                         unsigned int mode, unsigned int creator,
                                                         unsigned int type) {
    return MadeAndOpened(new OBFileStreamWriteRef, [&](OBFileStreamWriteRef& s) {
        return s.Create(file, mode, creator, type);
    });
}

OBStream* OBStreamUtilRef::CreateMemoryStreamRead(OBXferBytes* xfer) {
    return new OBMemStreamRead(xfer);
}

OBStream* OBStreamUtilRef::CreateMemoryStreamWrite(OBXferBytes* xfer) {
    return new OBMemStreamWrite(xfer);
}

OBStream* OBStreamUtilRef::CreateBufferStreamRead(const void* data, unsigned long long size,
                                                  short takeOwnership) {
    OBStream* stream = new OBBufferStreamRead(data, size, takeOwnership);
    if (!stream && takeOwnership == 1) OBLibFree(const_cast<void*>(data));
    return stream;
}
