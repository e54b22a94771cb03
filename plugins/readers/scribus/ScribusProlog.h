// The prolog of a Scribus file: where its first element starts, and the
// general entities its document type declares, expanded where the document
// refers to them. Scribus writes no document type; a document edited by
// hand or made by another program may have one.
#ifndef OMBRA_SCRIBUS_PROLOG_H
#define OMBRA_SCRIBUS_PROLOG_H

#include <cstddef>
#include <string>

namespace scribus {
namespace detail {

/// The offset of the first element's '<' after the byte-order mark, white
/// space, the XML declaration, processing instructions, comments and a
/// document type declaration (whose internal subset may hold '>' in its
/// declarations, comments and quoted texts); size when it is not within the
/// bytes or something else comes first. doctype, when given, receives
/// where the document type declaration starts, size when there is none.
std::size_t FirstElement(const unsigned char* p, std::size_t size, std::size_t* doctype = nullptr);

struct EntityExpansion {
    enum class Result {
        kNone,     ///< the document type declares no general entity: out is untouched
        kExpanded, ///< out holds the document with the references replaced
        kLimited,  ///< the same, cut at the limit
    };
    Result result = Result::kNone;
    std::size_t unknown = 0; ///< references left as written (external, looping)
};

/// The document [bytes, bytes + size) with every reference to a general
/// entity its internal subset declares with a value replaced by that value,
/// references in it expanded in turn; quotes and '<' of a value are written
/// as references, so that a value stays within the attribute it is used
/// in. The declaration itself stays. out grows to limit bytes at most, and
/// at most limit references are read.
EntityExpansion ExpandEntities(const char* bytes, std::size_t size, std::size_t limit,
                               std::string& out);

} // namespace detail
} // namespace scribus

#endif
