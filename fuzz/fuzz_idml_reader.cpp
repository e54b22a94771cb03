// The IDML reader's whole conversion on arbitrary bytes (a package, damaged
// or not): never a crash, a hang or a leak, and every run, anchor and range
// it yields lies inside its story's text.
#include "CompressedMutator.h"
#include "FuzzHost.h"
#include "plugins/readers/idml/IdmlReader.h"

#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include <cstdint>

namespace {

long long Int(Element* e, AN::AttrNameEnum attr) {
    auto* v = dynamic_cast<ValueInteger32*>(OBGetAttributeValue(e, attr));
    int n = -1;
    if (v) v->Get(n);
    return n;
}

void Check(Element* e, long long length, int depth) {
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
        Check(e->GetNthChild(i), length, depth + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    static IdmlReader* reader = new IdmlReader;
    OBBufferStreamRead input(data, size);
    reader->CanImportThis(&input); // then converts whatever it said, as a forced reader does
    OBPreferenceList prefs;
    reader->GetStreamPrefs(&input, &prefs);
    for (int i = 4; i < IdmlReader::kPreferenceCount; ++i) { // notes, hidden and deleted text too
        OBPreference* p = nullptr;
        prefs.GetNthPreference(i, &p);
        if (auto* b = dynamic_cast<OBBooleanPreference*>(p)) b->SetCurrentValue(1);
    }
    reader->Init(&input, &prefs);
    for (Element* e = reader->GetFirstElement(); e; e = reader->GetNextElement())
        Check(e, 0, 0);
    reader->Reset();
    return 0;
}
