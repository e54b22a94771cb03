#include "ReaderColors.h"

#include <ombra/values.h>

namespace obreader {

namespace {

// The store of an Element just made of kind T: what ElementBuilder::Store
// finds, without looking up the kind.
template <class T> OBAttributeStore* StoreOf(Element* e) {
    return static_cast<OBAttributeStore*>(static_cast<T*>(e));
}

} // namespace

// A palette has hundreds of colours: the values go straight into the stores,
// and running out of memory is reported once per Element.
Element* AddColor(ElementBuilder& b, Element* list, const ColorSpec& color, const char* name) {
    Element* e = b.Child(list, EL::kColor);
    if (!e) return nullptr;
    OBAttributeStore* st = StoreOf<OBStoredColor>(e);
    short ok = st->SetUtf8(AN::kName, name);
    if (color.none) {
        ok &= st->SetBool(AN::kIsNone, true);
        b.Check(ok & st->SetMember<ValueColorTypeEnum>(AN::kType, CTE::kNone));
        return e;
    }
    ok &= st->SetMember<ValueColorTypeEnum>(AN::kType, color.type);
    b.Check(ok & st->SetMember<ValueColorModelEnum>(AN::kModel, color.model));
    const double* v = color.values;
    if (color.model == CME::kRGB) {
        static const AN::AttrNameEnum kRgb[] = {AN::kRed, AN::kGreen, AN::kBlue};
        Element* k = b.Child(e, EL::kRGB);
        if (!k) return e;
        ok = StoreOf<OBStoredRGB>(k)->SetPercents(kRgb, v, 3);
    } else if (color.model == CME::kLAB) {
        Element* k = b.Child(e, EL::kLAB);
        if (!k) return e;
        st = StoreOf<OBStoredLAB>(k);
        ok = st->SetReal(AN::kLightness, v[0]);
        ok &= st->SetReal(AN::kA, v[1]);
        ok &= st->SetReal(AN::kB, v[2]);
    } else {
        static const AN::AttrNameEnum kCmyk[] = {AN::kCyan, AN::kMagenta, AN::kYellow, AN::kBlack};
        Element* k = b.Child(e, EL::kCMYK);
        if (!k) return e;
        ok = StoreOf<OBStoredCMYK>(k)->SetPercents(kCmyk, v, 4);
    }
    b.Check(ok);
    return e;
}

} // namespace obreader
