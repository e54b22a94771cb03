// Pictures as docs/document-model.md lays them out: the kind of picture a
// file holds and the LinkInformation that names it.
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

} // namespace obreader

#endif
