// The document type declaration of a Scribus file: where it ends, and the
// general entities its internal subset declares, expanded where the
// document refers to them. Scribus writes none; a document edited by hand
// or made by another program may have one.
#ifndef OMBRA_SCRIBUS_ENTITIES_H
#define OMBRA_SCRIBUS_ENTITIES_H

#include <cstddef>
#include <string>

namespace scribus {
namespace detail {

/// The end of the document type declaration whose "<!" is at p + i: past
/// its '>', which may follow an internal subset in brackets whose
/// declarations and comments hold '>' of their own and quoted texts; size
/// when it is not within the bytes.
std::size_t DocumentTypeEnd(const unsigned char* p, std::size_t i, std::size_t size);

struct EntityExpansion {
    enum class Result {
        kNone,     ///< no internal general entity is declared: out is untouched
        kExpanded, ///< out holds the document with the references replaced
        kLimited,  ///< the same, cut at the limit
    };
    Result result = Result::kNone;
    std::size_t declared = 0; ///< general entities declared with a value
    std::size_t unknown = 0;  ///< references left as written (external, looping)
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
