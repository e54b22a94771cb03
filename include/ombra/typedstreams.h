// Typed streams: readers and writers that move bytes, booleans, 16- and
// 32-bit integers and reals in either byte order, the memory, buffer and file
// streams built on them, their factory, byte-order helpers and compressed
// integer blocks.
#ifndef OMBRA_TYPEDSTREAMS_H
#define OMBRA_TYPEDSTREAMS_H

#include <ombra/export.h>
#include <ombra/streams.h>

#include <cstring>

/// A reading stream. The same call that writes a value on a COBStreamWrite
/// reads it here, so one ReadWrite routine serves both directions. There is
/// no framing: consecutive transfers are consecutive bytes, little-endian,
/// or big-endian with swapping set. Every transfer goes to the OBXferBytes
/// given by SetXferBytes or by the concrete stream; without one nothing
/// moves and the state is kStreamError.
class OMBRA_API COBStreamRead : public OBStream {
public:
    COBStreamRead();
    COBStreamRead(const COBStreamRead& other);
    COBStreamRead& operator=(const COBStreamRead& other);
    ~COBStreamRead() override;

    /// The byte mover to read from (not owned).
    void SetXferBytes(OBXferBytes* xfer) { xfer_ = xfer; }

    long long XferByte(unsigned char* buffer, long long count) override;
    /// value is left as it was when no byte came.
    unsigned char XferByte(unsigned char& value) override;
    long long XferBool(short* buffer, long long count) override;
    /// The 16-bit value as it is, not normalised.
    short XferBool(short& value) override;
    /// Bytes read / 2; with swapping all count elements are then reversed in
    /// place, also those a short read did not reach.
    long long XferInt16(short* buffer, long long count) override;
    short XferInt16(short& value) override;
    long long XferInt32(int* buffer, long long count) override;
    int XferInt32(int& value) override;
    /// Element by element while the state is kStreamOK; counts the elements
    /// read in full.
    long long XferRealNumber(OBReal* buffer, long long count) override;
    OBReal& XferRealNumber(OBReal& value) override;
    long long Seek(long long offset, OBSeekFromWhere from) override;
    void SetEndOfStream() override;
    long long Tell() override;
    void Flush() override;
    OBStreamState GetStreamState() override;
    short IsReading() override;
    short IsWriting() override;
    void SetSwapping(short swapping) override;

protected:
    short Open() override;
    void Close() override;

public:
    OBXferBytes* GetXferBytes() override;
    /// Accepted and ignored.
    virtual void Comment(char* text);
    virtual short GetSwapping();
    /// Accepted and ignored: the arguments are left as they are.
    virtual void GetStreamLimits(long long& first, long long& second);
    virtual void SetStreamLimits(long long first, long long second);

private:
    OBXferBytes* xfer_;
    short swapping_;
};

/// A writing stream; see COBStreamRead.
class OMBRA_API COBStreamWrite : public OBStream {
public:
    COBStreamWrite();
    COBStreamWrite(const COBStreamWrite& other);
    COBStreamWrite& operator=(const COBStreamWrite& other);
    ~COBStreamWrite() override;

    /// The byte mover to write to (not owned).
    void SetXferBytes(OBXferBytes* xfer) { xfer_ = xfer; }

    long long XferByte(unsigned char* buffer, long long count) override;
    unsigned char XferByte(unsigned char& value) override;
    /// The elements as they are, not normalised.
    long long XferBool(short* buffer, long long count) override;
    /// Writes 1 for any nonzero value, else 0, and sets value to it.
    short XferBool(short& value) override;
    /// Elements written. Swapped arrays go through a small stack block;
    /// the caller's array is never altered.
    long long XferInt16(short* buffer, long long count) override;
    short XferInt16(short& value) override;
    long long XferInt32(int* buffer, long long count) override;
    int XferInt32(int& value) override;
    long long XferRealNumber(OBReal* buffer, long long count) override;
    OBReal& XferRealNumber(OBReal& value) override;
    long long Seek(long long offset, OBSeekFromWhere from) override;
    void SetEndOfStream() override;
    long long Tell() override;
    void Flush() override;
    OBStreamState GetStreamState() override;
    short IsReading() override;
    short IsWriting() override;
    void SetSwapping(short swapping) override;

protected:
    short Open() override;
    void Close() override;

public:
    OBXferBytes* GetXferBytes() override;
    /// Accepted and ignored.
    virtual void Comment(char* text);
    virtual short GetSwapping();
    /// Accepted and ignored: the arguments are left as they are.
    virtual void GetStreamLimits(long long& first, long long& second);
    virtual void SetStreamLimits(long long first, long long second);

private:
    OBXferBytes* xfer_;
    short swapping_;
};

/// Reads from a transfer object it does not own, from that object's
/// current position (seek it to the start after filling it).
class OMBRA_API OBMemStreamRead : public COBStreamRead {
public:
    explicit OBMemStreamRead(OBXferBytes* xfer);
    OBMemStreamRead(const OBMemStreamRead& other);
    ~OBMemStreamRead() override;
};

/// Writes into its own OBMemXferBytes (2048 bytes in memory, then a
/// temporary file), or into a transfer object it is given and does not own.
class OMBRA_API OBMemStreamWrite : public COBStreamWrite {
public:
    OBMemStreamWrite();
    explicit OBMemStreamWrite(OBXferBytes* xfer);
    OBMemStreamWrite(const OBMemStreamWrite&) = delete;
    OBMemStreamWrite& operator=(const OBMemStreamWrite&) = delete;
    ~OBMemStreamWrite() override;

private:
    OBMemXferBytes memXfer_;
};

/// Read-only bytes over a buffer the caller supplies: nothing is copied and
/// nothing spills to a file, whatever the size. The buffer must outlive the
/// object unless ownership was passed, in which case it must come from
/// OBLibAllocate and is released with OBLibFree on destruction. Writes store
/// nothing and set kStreamError; seeks are clamped to the content as in
/// OBMemXferBytes.
class OMBRA_API OBBufferXferBytes : public OBXferBytes {
public:
    /// size bytes at data (null data: no bytes). takeOwnership 1: the object
    /// releases data when destroyed.
    OBBufferXferBytes(const void* data, unsigned long long size, short takeOwnership = 0);
    OBBufferXferBytes(const OBBufferXferBytes&) = delete;
    OBBufferXferBytes& operator=(const OBBufferXferBytes&) = delete;
    ~OBBufferXferBytes() override;

    unsigned long long Read(void* buffer, unsigned long long count) override;
    /// Stores nothing: 0 and kStreamError (for count > 0).
    unsigned long long Write(const void* buffer, unsigned long long count) override;
    unsigned long long Seek(long long offset, OBSeekFromWhere from) override;
    unsigned long long Tell() override;
    void Flush() override;
    OBStreamState GetStreamState() override;
    /// Shortens the readable content to the current position; the bytes
    /// themselves are not touched.
    void SetEndOfStream() override;

    /// The bytes and their count (the content's current end).
    const unsigned char* Data() const { return data_; }
    unsigned long long Size() const { return size_; }

private:
    const unsigned char* data_;
    unsigned long long size_;
    unsigned long long position_;
    OBStreamState state_;
    short ownsData_;
};

/// A reading stream over a caller's buffer (see OBBufferXferBytes): the way
/// to hand out large texts as stream values without a temporary file.
class OMBRA_API OBBufferStreamRead : public COBStreamRead {
public:
    OBBufferStreamRead(const void* data, unsigned long long size, short takeOwnership = 0);
    OBBufferStreamRead(const OBBufferStreamRead&) = delete;
    OBBufferStreamRead& operator=(const OBBufferStreamRead&) = delete;
    ~OBBufferStreamRead() override;

private:
    OBBufferXferBytes bufferXfer_;
};

/// A reading stream on a file; it owns its file transfer object.
class OMBRA_API OBFileStreamReadRef : public COBStreamRead {
public:
    OBFileStreamReadRef();
    /// Opens too; a failed open shows as kStreamClosed.
    OBFileStreamReadRef(const OBSysFileRef& file, unsigned int mode, unsigned int creator,
                        unsigned int type);
    /// The copy names the same file but is not open (see OBFileXferBytesRef).
    OBFileStreamReadRef(const OBFileStreamReadRef& other);
    OBFileStreamReadRef& operator=(const OBFileStreamReadRef& other);
    ~OBFileStreamReadRef() override;

    /// OBFileXferBytesRef::Open with the OBFileOpenMode flags.
    short Open(const OBSysFileRef& file, unsigned int mode, unsigned int creator,
               unsigned int type);
    OBSysFileRef GetSystemFile() const;
    OBSysFileRef GetCachedSystemFile() const;
    void Close() override;

protected:
    /// 0: a file stream opens only with a file.
    short Open() override;

private:
    OBFileXferBytesRef* fileXfer_;
};

/// A writing stream on a file.
class OMBRA_API OBFileStreamWriteRef : public COBStreamWrite {
public:
    OBFileStreamWriteRef();
    /// Opens too; a failed open shows as kStreamClosed.
    OBFileStreamWriteRef(const OBSysFileRef& file, unsigned int mode, unsigned int creator,
                         unsigned int type);
    /// The copy names the same file but is not open (see OBFileXferBytesRef).
    OBFileStreamWriteRef(const OBFileStreamWriteRef& other);
    OBFileStreamWriteRef& operator=(const OBFileStreamWriteRef& other);
    ~OBFileStreamWriteRef() override;

    short Open(const OBSysFileRef& file, unsigned int mode, unsigned int creator,
               unsigned int type);
    short Create(const OBSysFileRef& file, unsigned int mode, unsigned int creator,
                 unsigned int type);
    OBSysFileRef GetSystemFile() const;
    OBSysFileRef GetCachedSystemFile() const;
    void Close() override;

protected:
    short Open() override;

private:
    OBFileXferBytesRef fileXfer_;
};

/// Makes streams; each result is the caller's to delete, or null when
/// there is no memory or the file cannot be opened. No half-opened stream
/// is ever returned.
class OMBRA_API OBStreamUtilRef {
public:
    static OBStream* CreateFileStreamRead(const OBSysFileRef& file, unsigned int mode,
                                          unsigned int creator, unsigned int type);
    static OBStream* CreateFileStreamWrite(const OBSysFileRef& file, unsigned int mode,
                                           unsigned int creator, unsigned int type);
    /// As CreateFileStreamWrite, opening with Create.
    static OBStream* CreateFileStreamWriteFromPath(const OBSysFileRef& file, unsigned int mode,
                                                   unsigned int creator, unsigned int type);
    /// A reader over xfer (not owned), from its current position.
    static OBStream* CreateMemoryStreamRead(OBXferBytes* xfer);
    /// A writer into xfer (not owned).
    static OBStream* CreateMemoryStreamWrite(OBXferBytes* xfer);
    /// An OBBufferStreamRead over size bytes at data. With takeOwnership 1
    /// the buffer (from OBLibAllocate) passes to the stream at the call: it
    /// is released even when the stream cannot be made.
    static OBStream* CreateBufferStreamRead(const void* data, unsigned long long size,
                                            short takeOwnership = 0);
};

/// Byte-order reversals.
class OMBRA_API ByteSwapReverse {
public:
    /// Unchanged: one byte has no order.
    static char SwapChar(char c) { return c; }
    static unsigned short SwapInt16(unsigned short v) { return __builtin_bswap16(v); }
    static unsigned int SwapInt32(unsigned int v) { return __builtin_bswap32(v); }
    static double SwapDouble(double v) {
        unsigned long long bits;
        std::memcpy(&bits, &v, sizeof bits);
        bits = __builtin_bswap64(bits);
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    /// Reverses the two bytes of each of count words in place.
    static void SwapWordsInPlace(unsigned short* words, unsigned int count) {
        for (unsigned int i = 0; words && i < count; ++i)
            words[i] = SwapInt16(words[i]);
    }
};

/// The block widths of compressed integers (bits 15-14 of a block header).
enum OBCompressIntMode : short {
    kOBCompressInt_32 = 0, ///< 4-byte values, up to 1024 per block
    kOBCompressInt_8 = 1,  ///< 1-byte values 0..255, up to 4096 per block
    kOBCompressInt_16 = 2, ///< 2-byte values, sign-extended, up to 2048 per block
    kOBCompressInt_3 = 3,  ///< never written; a reader yields 0
};

/// Packs integers into blocks of the narrowest width that holds them: a
/// 16-bit header (mode << 14 | count, through XferInt16) and the values
/// through one array transfer. A block is written when the width changes,
/// when it is full, and when the writer is destroyed, so destroy the writer
/// before closing or reading back its stream. No values, no bytes.
class OMBRA_API OBCompressInt_Write {
public:
    OB_MEMORY_OPERATORS

    explicit OBCompressInt_Write(OBStream* stream);
    /// Copies the stream, the waiting values and their width.
    OBCompressInt_Write(const OBCompressInt_Write& other);
    /// Writes this writer's waiting values first, then copies as above.
    OBCompressInt_Write& operator=(const OBCompressInt_Write& other);
    /// Writes the waiting values.
    ~OBCompressInt_Write();

    /// Always a 1-byte value.
    void Write(unsigned char value);
    /// 0..255 as 1 byte, every other value as 2.
    void Write(short value);
    /// 0..255 as 1 byte, 256..32767 as 2, all others as 4, so that every
    /// value reads back unchanged.
    void Write(int value);

protected:
    void FlushBuffer();
    void WriteKnown(unsigned int value, short mode);

private:
    OBStream* stream_;
    short count_;
    short mode_;
    union {
        unsigned char bytes[4096];
        short words[2048];
        int longs[1024];
    } buffer_;
};

/// Reads what OBCompressInt_Write wrote; the caller knows how many values
/// there are. An empty block (count 0) is passed over; a block of mode 3
/// yields 0 and never ends; a failed header read yields 0.
class OMBRA_API OBCompressInt_Read {
public:
    OB_MEMORY_OPERATORS

    explicit OBCompressInt_Read(OBStream* stream);
    OBCompressInt_Read(const OBCompressInt_Read&) = default;
    OBCompressInt_Read(OBCompressInt_Read&&) = default;
    OBCompressInt_Read& operator=(const OBCompressInt_Read&) = default;
    OBCompressInt_Read& operator=(OBCompressInt_Read&&) = default;

    /// The next value. Each block comes from the stream whole, in one array
    /// transfer after its header, so the stream stands after the block while
    /// its values are handed out; values that a short stream lacks (a value
    /// cut off included) read as 0.
    int Read() {
        // One counter changes per value: two neighbouring counters get
        // merged into one wide store, which the next value's narrow loads
        // cannot take forwarded on some processors.
        if (next_ >= ready_) return ReadBlock();
        unsigned int i = next_++;
        if (mode_ == kOBCompressInt_8) return block_.bytes[i];
        return mode_ == kOBCompressInt_16 ? block_.words[i] : block_.longs[i];
    }

private:
    int ReadBlock();

    OBStream* stream_;
    unsigned int remaining_; // values of the block not yet in block_
    unsigned short mode_;
    unsigned int ready_; // values in block_; next_ is the next to hand out
    unsigned int next_;
    union {
        unsigned char bytes[4096];
        short words[2048];
        int longs[1024];
    } block_;
};

#endif
