// The dump writer on documents made from arbitrary bytes (FuzzDocument.h):
// never a crash, a hang or a leak; its output is one well-formed JSON
// value, and indenting changes nothing but the white space.
#include "FuzzDocument.h"
#include "FuzzHost.h"
#include "FuzzOutput.h"

#include "support/ConversionState.h"
#include "support/MarkupChecks.h"

#include <ombra/plugin.h>
#include <ombra/preferences.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

extern "C" OBWriter* GetWriter();

namespace {

// The text without the white space outside strings.
std::string Squeeze(const std::string& text) {
    std::string out;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
            out += c;
            if (c == '\\' && i + 1 < text.size())
                out += text[++i];
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
            out += c;
        } else if (c != ' ' && c != '\n') {
            out += c;
        }
    }
    return out;
}

std::string Dump(const std::vector<Element*>& elements, int indentation, bool storyText) {
    ombra_fuzz::Capture output;
    OBWriter* writer = GetWriter();
    OBPreferenceList prefs;
    writer->GetStreamPrefs(output.Stream(), &prefs);
    OBPreference* p = nullptr;
    prefs.GetNthPreferenceOfType(1, VT::ekSignedInt32, &p);
    if (auto* indent = dynamic_cast<OBIntegerPreference*>(p)) indent->SetCurrentValue(indentation);
    p = nullptr;
    prefs.GetNthPreferenceOfType(1, VT::ekBool16, &p);
    if (auto* text = dynamic_cast<OBBooleanPreference*>(p)) text->SetCurrentValue(storyText);
    writer->Init(output.Stream(), &prefs);
    for (Element* e : elements)
        writer->PutElement(e);
    writer->PutElement(nullptr);
    writer->Reset();
    delete writer;
    return output.Data();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ombra_fuzz::InstallHost();
    if (size > 16384) return 0;
    ombra_fuzz::Bytes in(data, size);
    int indentation = static_cast<int>(in.Byte() % 9);
    bool storyText = in.Byte() & 1;
    ombra_test::ConversionState state;
    ombra_test::DocumentBuilder builder;
    ombra_fuzz::DocumentProgram(builder, in).Run();
    const std::vector<Element*>& elements = builder.Build();
    std::string compact = Dump(elements, 0, storyText);
    if (!ombra_test::IsJson(compact)) __builtin_trap();
    if (!ombra_fuzz::IsUtf8(compact)) __builtin_trap();
    if (indentation && Squeeze(Dump(elements, indentation, storyText)) != Squeeze(compact))
        __builtin_trap();
    return 0;
}
