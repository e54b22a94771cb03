#include "ReaderColors.h"

namespace obreader {

// A palette has hundreds of colours: the values go straight into the stores,
// and running out of memory is reported once per Element.
Element* AddColor(ElementBuilder& b, Element* list, const ColorSpec& color, const char* name) {
    Element* e = b.Child(list, EL::kColor);
    if (!e) return nullptr;
    OBAttributeStore* st = b.Store(e);
    if (!st) return e;
    short ok = st->SetUtf8(AN::kName, name);
    Value* made = nullptr;
    if (color.none) {
        ok &= st->SetBool(AN::kIsNone, true);
        ValueUtil::CreateValueColorTypeEnum(CTE::kNone, made);
        b.Check(ok & st->Set(AN::kType, made));
        return e;
    }
    ValueUtil::CreateValueColorTypeEnum(color.type, made);
    ok &= st->Set(AN::kType, made);
    made = nullptr;
    ValueUtil::CreateValueColorModelEnum(color.model, made);
    b.Check(ok & st->Set(AN::kModel, made));
    const double* v = color.values;
    if (color.model == CME::kRGB) {
        Element* k = b.Child(e, EL::kRGB);
        if (!(st = b.Store(k))) return e;
        ok = st->SetPercent(AN::kRed, v[0]);
        ok &= st->SetPercent(AN::kGreen, v[1]);
        ok &= st->SetPercent(AN::kBlue, v[2]);
    } else if (color.model == CME::kLAB) {
        Element* k = b.Child(e, EL::kLAB);
        if (!(st = b.Store(k))) return e;
        ok = st->SetReal(AN::kLightness, v[0]);
        ok &= st->SetReal(AN::kA, v[1]);
        ok &= st->SetReal(AN::kB, v[2]);
    } else {
        Element* k = b.Child(e, EL::kCMYK);
        if (!(st = b.Store(k))) return e;
        ok = st->SetPercent(AN::kCyan, v[0]);
        ok &= st->SetPercent(AN::kMagenta, v[1]);
        ok &= st->SetPercent(AN::kYellow, v[2]);
        ok &= st->SetPercent(AN::kBlack, v[3]);
    }
    b.Check(ok);
    return e;
}

} // namespace obreader
