// XML as a stream of element starts and ends, read once and in order.
//
// ReadXml reads the bytes of a source chunk by chunk and hands each element
// to a handler as it arrives, with the attributes the parser knows
// (ScribusAttributes.def); nothing of the document stays behind but the
// element being read and, per element name, up to 4 KiB of the two start
// tags before it, whose reading a tag that repeats them takes over. It
// accepts exactly what pugixml reads into a tree with its default options,
// and hands on the same elements and attribute values that tree holds (but
// for a reference to the character 0: U+FFFD here, the value's end there).
// Where it cannot vouch for that (damaged XML, a document type, input
// beyond the limit) it stops and says so, and the caller reads the document
// as a tree instead (WalkTree), with the repairs for damaged documents that
// a tree allows.
#ifndef OMBRA_SCRIBUS_XML_H
#define OMBRA_SCRIBUS_XML_H

#include "ScribusInternal.h"

#include <cstddef>
#include <memory>

namespace scribus {
namespace detail {

/// Where the XML reader takes its bytes from.
class ByteSource {
public:
    virtual ~ByteSource();
    /// Up to size more bytes into data: how many, 0 at the end, -1 when the
    /// rest cannot be had (a read error, damaged compression).
    virtual long long Read(char* data, std::size_t size) = 0;
};

/// Bytes in memory.
class MemorySource : public ByteSource {
public:
    MemorySource(const char* data, std::size_t size) : data_(data), size_(size) {}
    long long Read(char* data, std::size_t size) override;

private:
    const char* data_;
    std::size_t size_, at_ = 0;
};

/// The bytes of gzip-compressed data from another source, inflated as they
/// are asked for; members one after the other, as Gunzip reads them. Any
/// damage ends it with -1 (Gunzip then says what is wrong).
class GzipSource : public ByteSource {
public:
    explicit GzipSource(ByteSource& in);
    ~GzipSource() override;
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;
    long long Read(char* data, std::size_t size) override;

private:
    bool More();
    bool NextMember();
    void Trailer(unsigned char* trailer) const;
    ByteSource& in_;
    struct Stream;
    std::unique_ptr<Stream> z_;
    bool done_ = false, failed_ = false;
};

/// What the XML readers hand on.
class XmlHandler {
public:
    virtual ~XmlHandler();
    /// An element starts; attrs holds its known attributes until the call
    /// returns.
    virtual void Start(ElementId id, const Attrs& attrs) = 0;
    /// Start, for an element of a tree (WalkTree).
    virtual void StartInTree(pugi::xml_node node, ElementId id, const Attrs& attrs) {
        (void)node;
        Start(id, attrs);
    }
    /// The element that started last ends.
    virtual void End() = 0;
    /// A value referred to the character 0 (it holds U+FFFD there).
    virtual void ZeroReference() {}
    /// Start and End at once, for an element without content: most
    /// elements, so handlers that can spare the second call do.
    virtual void Empty(ElementId id, const Attrs& attrs) {
        Start(id, attrs);
        End();
    }
};

enum class XmlResult {
    kDone,       ///< read to the end
    kMalformed,  ///< not XML that ReadXml vouches for: read it as a tree
    kTooLarge,   ///< more bytes than the limit
    kUnreadable, ///< the source failed
};

/// Replaces the raw attribute value [p, end) by its text, ending with a
/// NUL: tabs and line ends become spaces (CR LF one), references are
/// replaced (see ScribusXml.cpp), one to the character 0 by U+FFFD: then
/// it returns true.
bool DecodeValue(char* p, char* end);

/// Reads the document from source, handing every element to handler. On
/// anything but kDone the elements handed on so far are to be forgotten.
/// Throws std::bad_alloc when memory runs out.
XmlResult ReadXml(ByteSource& source, XmlHandler& handler, std::size_t maxBytes);

/// The same events from a tree: every element below document, in order.
void WalkTree(pugi::xml_node document, XmlHandler& handler);

} // namespace detail
} // namespace scribus

#endif
