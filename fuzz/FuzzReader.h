// A reader plug-in's whole conversion on arbitrary bytes, as the reader
// fuzz targets run it: never a crash, a hang or a leak, and every run,
// anchor and range it yields lies inside its story's text.
#ifndef OMBRA_FUZZ_READER_H
#define OMBRA_FUZZ_READER_H

#include <ombra/plugin.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <cstddef>
#include <cstdint>

namespace ombra_fuzz {

inline long long Int(Element* e, AN::AttrNameEnum attr) {
    auto* v = dynamic_cast<ValueInteger32*>(OBGetAttributeValue(e, attr));
    int n = -1;
    if (v) v->Get(n);
    return n;
}

// The positions of e and its descendants against the length of the story
// text they belong to.
inline void CheckRanges(Element* e, long long length, int depth) {
    if (!e || depth > 400) return;
    switch (e->GetElementType()) {
    case EL::kChildStory:
        length = 0;
        if (auto* v = dynamic_cast<ValueStream*>(OBGetAttributeValue(e, AN::kTextStream))) {
            OBStream* s = nullptr;
            v->Get(s);
            if (s) length = s->Seek(0, kSeekFromEnd) / 2;
        }
        break;
    case EL::kParagraphRun:
    case EL::kCharacterRun:
    case EL::kRubiRun:
    case EL::kKentenRun:
    case EL::kWarichuRun:
    case EL::kTCYRun: {
        long long start = Int(e, AN::kStartCharacterPosition),
                  end = Int(e, AN::kEndCharacterPosition);
        if (start < 0 || end <= start || end > length) __builtin_trap();
        break;
    }
    case EL::kTableRun:
        if (Int(e, AN::kTextIndex) < 0 || Int(e, AN::kTextIndex) >= length) __builtin_trap();
        break;
    case EL::kVariableRun:
        if (Int(e, AN::kPos) < 0 || Int(e, AN::kPos) >= length) __builtin_trap();
        break;
    case EL::kFootnote:
        if (Int(e, AN::kPosition) < 0 || Int(e, AN::kPosition) >= length) __builtin_trap();
        break;
    default:
        break;
    }
    for (unsigned long long i = 0; i < e->GetChildCount(); ++i)
        CheckRanges(e->GetNthChild(i), length, depth + 1);
}

// Probes, then converts whatever the probe said, as a forced reader does,
// with the Boolean preferences from index on switched on.
inline void ConvertAndCheck(OBReader& reader, const uint8_t* data, size_t size, int allOnFrom) {
    OBBufferStreamRead input(data, size);
    reader.CanImportThis(&input);
    OBPreferenceList prefs;
    reader.GetStreamPrefs(&input, &prefs);
    for (int i = allOnFrom; i < prefs.GetNumberOfPreferences(); ++i) {
        OBPreference* p = nullptr;
        prefs.GetNthPreference(i, &p);
        if (auto* b = dynamic_cast<OBBooleanPreference*>(p)) b->SetCurrentValue(1);
    }
    reader.Init(&input, &prefs);
    for (Element* e = reader.GetFirstElement(); e; e = reader.GetNextElement())
        CheckRanges(e, 0, 0);
    reader.Reset();
}

} // namespace ombra_fuzz

#endif
