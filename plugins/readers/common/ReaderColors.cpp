#include "ReaderColors.h"

namespace obreader {

Element* AddColor(ElementBuilder& b, Element* list, const ColorSpec& color) {
    Element* e = b.Child(list, EL::kColor);
    if (!e) return nullptr;
    b.Utf8(e, AN::kName, color.name);
    if (color.none) {
        b.Bool(e, AN::kIsNone, true);
        b.Enum(e, AN::kType, &ValueUtil::CreateValueColorTypeEnum, CTE::kNone);
        return e;
    }
    b.Enum(e, AN::kType, &ValueUtil::CreateValueColorTypeEnum, color.type);
    b.Enum(e, AN::kModel, &ValueUtil::CreateValueColorModelEnum, color.model);
    const double* v = color.values;
    if (color.model == CME::kRGB) {
        Element* k = b.Child(e, EL::kRGB);
        b.Percent(k, AN::kRed, v[0]);
        b.Percent(k, AN::kGreen, v[1]);
        b.Percent(k, AN::kBlue, v[2]);
    } else if (color.model == CME::kLAB) {
        Element* k = b.Child(e, EL::kLAB);
        b.Real(k, AN::kLightness, v[0]);
        b.Real(k, AN::kA, v[1]);
        b.Real(k, AN::kB, v[2]);
    } else {
        Element* k = b.Child(e, EL::kCMYK);
        b.Percent(k, AN::kCyan, v[0]);
        b.Percent(k, AN::kMagenta, v[1]);
        b.Percent(k, AN::kYellow, v[2]);
        b.Percent(k, AN::kBlack, v[3]);
    }
    return e;
}

} // namespace obreader
