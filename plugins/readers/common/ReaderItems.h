// Page items' parts as docs/document-model.md lays them out: the kind of
// picture a file holds, the LinkInformation that names it, and text wrap.
#ifndef OMBRA_READER_ITEMS_H
#define OMBRA_READER_ITEMS_H

#include "ReaderBuilder.h"

#include <string>

namespace obreader {

/// The picture type a file name or bare extension ("png", ".tif",
/// "photo.JPG") stands for; kUnknown for others.
PTE::PictureTypeEnum PictureTypeOf(const std::string& file);

/// Adds picture's LinkInformation: the path as the document stores it
/// (empty: none) and whether the data is stored in the publication.
Element* AddLinkInformation(ElementBuilder& b, Element* picture, const std::string& path,
                            bool embedded);

/// An item's text wrap as a reader found it; standoffs in points.
struct TextWrapSpec {
    WOE::WrapOptionEnum option = WOE::kNone;
    TFE::TextFlowEnum flow = TFE::kBothSides;
    double top = 0, left = 0, bottom = 0, right = 0;
    bool invert = false;
    bool outsideEdgesOnly = false; ///< kObjectShape: the outline's outer edges only
};

/// Standoffs beyond this many points either way are damage, not layout.
constexpr double kMaxStandoff = 15552;

/// Adds item's TextWrapSettings; none for kNone or kUndefined (no element
/// means that text does not wrap around the item).
Element* AddTextWrap(ElementBuilder& b, Element* item, const TextWrapSpec& wrap);

} // namespace obreader

#endif
