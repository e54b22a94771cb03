// Colours as docs/document-model.md lays them out: a Color with its name,
// type and model, and one child with the components.
#ifndef OMBRA_READER_COLORS_H
#define OMBRA_READER_COLORS_H

#include "ReaderBuilder.h"

#include <string>

namespace obreader {

/// One colour of a source. Components are ratios of full intensity for
/// CMYK (c, m, y, k) and RGB (r, g, b); for Lab, L is 0 to 100 and a and b
/// are as the source gives them.
struct ColorSpec {
    std::string name;
    bool none = false; ///< the "None" colour: no model, no components
    CTE::ColorTypeEnum type = CTE::kProcess;
    CME::ColorModelEnum model = CME::kCMYK;
    double values[4] = {0, 0, 0, 0};
};

/// Adds the colour, named name (color.name is not read), to list (a
/// ColorList); the new Color, or null.
Element* AddColor(ElementBuilder& b, Element* list, const ColorSpec& color, const char* name);

/// The same with color.name.
inline Element* AddColor(ElementBuilder& b, Element* list, const ColorSpec& color) {
    return AddColor(b, list, color, color.name.c_str());
}

} // namespace obreader

#endif
