// The abstract stream of every input and output, and the byte movers under
// the typed streams: a memory transfer that spills into a temporary file and
// a file transfer.
#ifndef OMBRA_STREAMS_H
#define OMBRA_STREAMS_H

#include <ombra/export.h>
#include <ombra/files.h>
#include <ombra/geometry.h>

/// What a typed stream does: set by COBStreamRead and COBStreamWrite.
enum OBStreamType : int {
    kStreamTypeRead = 1,  ///< the stream reads
    kStreamTypeWrite = 2, ///< the stream writes
};

/// The condition of a stream or transfer object.
enum OBStreamState : int {
    kStreamOK = 0,     ///< usable
    kStreamEOF = 1,    ///< a read returned fewer bytes than requested; a Seek clears it
    kStreamError = 2,  ///< a write stored fewer bytes than requested; also a file never opened
    kStreamClosed = 3, ///< closed, or the last open failed
};

/// Where a seek offset counts from.
enum OBSeekFromWhere : int {
    kSeekFromStart = 1,
    kSeekFromCurrent = 2,
    kSeekFromEnd = 4,
};

/// The open-mode flags of OBFileXferBytesRef::Open and the file streams.
enum OBFileOpenMode : unsigned int {
    /// Read access.
    kFileRead = 0x01,
    /// Write access; the file is created if missing; the position is at the start.
    kFileWrite = 0x02,
    /// Write access; the file is created if missing; with kFileWrite the
    /// position is at the end, alone at the start.
    kFileAppend = 0x04,
    /// With kFileWrite and without kFileAppend the file is created anew,
    /// empty; without kFileWrite an existing file is opened and emptied.
    kFileTruncate = 0x08,
    /// With kFileRead a file on a network file system is first copied to a
    /// local temporary file, which is read instead and deleted on Close.
    kFileCacheNetwork = 0x10,
};

class OBXferBytes;

/// The abstract stream: typed transfers that read into their argument on a
/// reading stream and write it out on a writing stream. The concrete
/// streams are in typedstreams.h. The forms with a count take an element
/// count and return the number of elements transferred.
class OMBRA_API OBStream {
public:
    OB_MEMORY_OPERATORS

    OBStream();
    OBStream(const OBStream& other);
    OBStream& operator=(const OBStream& other);
    virtual ~OBStream();

    void SetStreamType(OBStreamType type) { streamType_ = type; }
    OBStreamType GetStreamType() const { return streamType_; }

    virtual long long XferByte(unsigned char* buffer, long long count) = 0;
    virtual unsigned char XferByte(unsigned char& value) = 0;
    /// 16-bit booleans: a writer stores 0 or 1 for a single value, arrays as they are.
    virtual long long XferBool(short* buffer, long long count) = 0;
    virtual short XferBool(short& value) = 0;
    virtual long long XferInt16(short* buffer, long long count) = 0;
    virtual short XferInt16(short& value) = 0;
    virtual long long XferInt32(int* buffer, long long count) = 0;
    virtual int XferInt32(int& value) = 0;
    /// IEEE 754 doubles, 8 bytes each.
    virtual long long XferRealNumber(OBReal* buffer, long long count) = 0;
    virtual OBReal& XferRealNumber(OBReal& value) = 0;
    /// The new position.
    virtual long long Seek(long long offset, OBSeekFromWhere from) = 0;
    /// The stream ends at the current position.
    virtual void SetEndOfStream() = 0;
    virtual long long Tell() = 0;
    virtual void Flush() = 0;
    virtual OBStreamState GetStreamState() = 0;
    virtual short IsReading() = 0;
    virtual short IsWriting() = 0;
    /// Nonzero: 16-, 32- and 64-bit values travel with their bytes reversed
    /// (big-endian on this platform).
    virtual void SetSwapping(short swapping) = 0;

protected:
    virtual short Open() = 0;
    virtual void Close() = 0;
    // A writer closes the output stream it still holds when it is destroyed.
    friend class OBWriter;

public:
    /// The byte mover under the stream; null here.
    virtual OBXferBytes* GetXferBytes();

private:
    OBStreamType streamType_;
};

/// The abstract byte mover that a typed stream reads from or writes to.
class OMBRA_API OBXferBytes {
public:
    OB_MEMORY_OPERATORS

    OBXferBytes() = default;
    OBXferBytes(const OBXferBytes&) = default;
    OBXferBytes& operator=(const OBXferBytes&) = default;
    virtual ~OBXferBytes();

    /// Bytes read; fewer than count sets kStreamEOF.
    virtual unsigned long long Read(void* buffer, unsigned long long count) = 0;
    /// Bytes written; fewer than count sets kStreamError.
    virtual unsigned long long Write(const void* buffer, unsigned long long count) = 0;
    /// The new position.
    virtual unsigned long long Seek(long long offset, OBSeekFromWhere from) = 0;
    virtual unsigned long long Tell() = 0;
    virtual void Flush() = 0;
    virtual OBStreamState GetStreamState() = 0;
    /// The content ends at the current position.
    virtual void SetEndOfStream() = 0;
};

class OBFileXferBytesRef;

/// Bytes in a fixed 2048-byte buffer that never grows: the first write that
/// does not fit moves everything into a temporary file named after
/// "BackingStore" in the temporary directory, and every later operation
/// goes to that file, which is deleted when the object is destroyed. So the
/// memory cost stays bounded whatever is written. When the temporary file
/// cannot be made, that write stores nothing (result 0, kStreamError) and
/// the content so far stays in memory, readable.
class OMBRA_API OBMemXferBytes : public OBXferBytes {
public:
    /// The buffer's size.
    static constexpr unsigned long long kCapacity = 2048;

    /// Empty. The buffer is allocated with the first bytes written; when
    /// there is no memory for it every write goes to the file.
    OBMemXferBytes();
    OBMemXferBytes(const OBMemXferBytes&) = delete;
    OBMemXferBytes& operator=(const OBMemXferBytes&) = delete;
    ~OBMemXferBytes() override;

    unsigned long long Read(void* buffer, unsigned long long count) override;
    unsigned long long Write(const void* buffer, unsigned long long count) override;
    /// Clamped to the content: a position past the end (or before the
    /// start) lands on the end; an unknown origin leaves the position.
    unsigned long long Seek(long long offset, OBSeekFromWhere from) override;
    unsigned long long Tell() override;
    void Flush() override;
    OBStreamState GetStreamState() override;
    void SetEndOfStream() override;

    /// 1 once the content lives in the temporary file.
    short IsBacked() const { return isBacked_; }
    /// The temporary file (an empty path while in memory).
    const OBSysFileRef& GetBackingFile() const { return backingFile_; }

private:
    bool CreateFileBackingStore();
    unsigned long long ReadThroughView(void* buffer, unsigned long long count);

    // In memory: the buffer and its size. Once backed: a read-only view of
    // the file's first capacity_ bytes, or null.
    unsigned char* buffer_;
    unsigned long long capacity_;
    unsigned long long position_;
    unsigned long long size_;
    OBStreamState state_;
    short ownsBuffer_;
    short isBacked_;
    OBSysFileRef backingFile_;
    OBFileXferBytesRef* backing_;
};

/// Bytes of a file, through the platform's file handles or, when a
/// read-only open through them fails, through the C runtime's stdio.
/// Positions are 64-bit.
///
/// A regular file goes through a buffer of kBufferSize bytes: writes wait
/// in it (write-behind) and reads take what it read ahead. The file's bytes,
/// the positions, the counts and the states are those of a transfer without
/// a buffer at every Flush, Seek, SetEndOfStream and Close, at a memory
/// transfer's spill, and whenever the core reaches the same file another way
/// on the same thread (another transfer opened on it, whereupon both stop
/// buffering until closed; a copy, a size query, copying this object).
/// Pipes, devices and the stdio fallback are never buffered.
///
/// Where a buffered transfer differs from one without a buffer:
/// - A write that the file refuses (a full disk, a size limit) shows at the
///   next of those points instead of at once: that Write, or the Write that
///   finds the buffer full, returns 0 and the state becomes kStreamError;
///   Seek and Flush set kStreamError; Close leaves kStreamError instead of
///   kStreamClosed (the file is closed all the same). The bytes that did
///   not reach the file are dropped and the position moves back to the end
///   of those that did.
/// - Another process sees waiting bytes only after one of those points, and
///   bytes that another process changes inside what was read ahead show
///   after the next Flush, write or seek outside them.
/// - A file that another thread has open is that thread's to flush.
class OMBRA_API OBFileXferBytesRef : public OBXferBytes {
public:
    /// The size of the buffer of a regular file.
    static constexpr unsigned int kBufferSize = 32768;

    /// No file: kStreamError until Open.
    OBFileXferBytesRef();
    /// The copy names the same file but holds no open file (kStreamError,
    /// as one never opened): open it again to use it.
    OBFileXferBytesRef(const OBFileXferBytesRef& other);
    /// Closes this one, then copies as the copy constructor does.
    OBFileXferBytesRef& operator=(const OBFileXferBytesRef& other);
    /// Closes.
    ~OBFileXferBytesRef() override;

    unsigned long long Read(void* buffer, unsigned long long count) override;
    unsigned long long Write(const void* buffer, unsigned long long count) override;
    unsigned long long Seek(long long offset, OBSeekFromWhere from) override;
    unsigned long long Tell() override;
    void Flush() override;
    OBStreamState GetStreamState() override;
    void SetEndOfStream() override;

    /// Opens file with the OBFileOpenMode flags in mode (creator and type
    /// are four-character codes this platform does not keep). 1 on success
    /// (kStreamOK); 0 and kStreamClosed on failure, holding no file. An open
    /// file is closed first. Other openers may read the file meanwhile.
    virtual short Open(const OBSysFileRef& file, unsigned int mode, unsigned int creator,
                       unsigned int type);
    /// Open with a copy of the reference.
    virtual short Create(OBSysFileRef file, unsigned int mode, unsigned int creator,
                         unsigned int type);
    /// Closes the file (kStreamClosed) and deletes a local network cache
    /// copy; closing again does nothing.
    virtual void Close();

    /// The file as the caller named it.
    OBSysFileRef GetSystemFile() const { return systemFile_; }
    /// The file actually opened: the same, or a local copy of a network file.
    OBSysFileRef GetCachedSystemFile() const { return cachedSystemFile_; }

protected:
    /// 1 when the file lies on a network file system.
    short IsNetworkDrive(const OBSysFileRef& file);
    /// file itself, or for kFileRead | kFileCacheNetwork on a network file a
    /// fresh local copy ("Ombra" prefix, platform temporary folder).
    OBSysFileRef GetLocallyCachedFile(const OBSysFileRef& file, unsigned int mode);

private:
    friend class OBOpenFileList; // the transfers open on this thread, by file
    friend class OBMemXferBytes; // a spill reaches the file at once

    void DropCachedCopy();
    void StartBuffering();
    /// Waiting bytes to the file; false (and kStreamError) when some did not get there.
    bool WriteOut();
    /// Forgets what was read ahead; the handle goes back to the position callers see.
    void DropReadAhead();
    /// WriteOut and DropReadAhead: the file and the handle as without a buffer.
    void Settle();
    unsigned long long BufferedRead(unsigned char* buffer, unsigned long long count);
    unsigned long long BufferedWrite(const unsigned char* buffer, unsigned long long count);
    unsigned long long BufferedSeek(long long offset, OBSeekFromWhere from);

    OBSysFileRef systemFile_;
    OBSysFileRef cachedSystemFile_;
    OBStreamState state_;
    void* stdioStream_;
    int fileHandle_;
    short cachedCopy_; // cachedSystemFile_ is a local copy that Close deletes

    // The buffer (null: every transfer goes straight to the handle). While
    // reading ahead it holds the file's bytes from bufferStart_ and the
    // handle stands after them; while writing behind it holds the bytes for
    // bufferStart_ onwards and the handle stands at bufferStart_.
    unsigned char* buffer_;
    unsigned long long bufferStart_;
    unsigned long long position_; // the position callers see, while buffered
    unsigned int bufferFill_;
    unsigned int bufferNext_; // reading ahead: the next byte to hand out
    short bufferMode_;        // 0 idle, 1 reading ahead, 2 writing behind
    short writable_;
    // The list of open transfers (OBOpenFileList).
    unsigned long long fileDevice_;
    unsigned long long fileInode_;
    unsigned long ownerThread_;
    OBFileXferBytesRef* prevOpen_;
    OBFileXferBytesRef* nextOpen_;
    short listed_;
};

#endif
