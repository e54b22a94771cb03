// The dump writer driven directly, the way a host with its own settings
// would: its two preferences change what it writes.
#include "Json.h"

#include <ombra/convertor.h>
#include <ombra/messages.h>
#include <ombra/pluginids.h>
#include <ombra/storedelements.h>
#include <ombra/typedstreams.h>
#include <ombra/writermanager.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace ombra_test;

namespace {

// Output bytes through the core's memory transfer.
std::string Written(OBMemXferBytes& bytes) {
    std::string text;
    bytes.Seek(0, kSeekFromStart);
    char buffer[4096];
    for (unsigned long long n; (n = bytes.Read(buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    return text;
}

// Writes one story through the dump writer with the given settings.
std::string DumpStory(int indentation, short storyText) {
    OBConvertorManager manager(OMBRA_WRITER_DIR, OMBRA_WRITER_DIR);
    WriterManager* writers = manager.GetWriterManager();
    OBWriter* writer = writers ? writers->GetWriter(OBPLUGIN::kDumpWriter) : nullptr;
    EXPECT_NE(writer, nullptr);
    if (!writer) return std::string();

    OBMemXferBytes bytes;
    OBStream* out = OBStreamUtilRef::CreateMemoryStreamWrite(&bytes);
    OBPreferenceList list;
    writer->GetStreamPrefs(out, &list);
    OBPreference* p = nullptr;
    list.GetNthPreferenceOfType(1, VT::ekSignedInt32, &p);
    EXPECT_EQ(p ? p->GetResourceID() : 0u, OBWriterResourceBase(OBPLUGIN::kDumpWriter));
    if (auto* indent = dynamic_cast<OBIntegerPreference*>(p)) indent->SetCurrentValue(indentation);
    p = nullptr;
    list.GetNthPreferenceOfType(1, VT::ekBool16, &p);
    EXPECT_EQ(p ? p->GetResourceID() : 0u,
              OBWriterResourceBase(OBPLUGIN::kDumpWriter) + kOBLocaleBlock);
    if (auto* text = dynamic_cast<OBBooleanPreference*>(p)) text->SetCurrentValue(storyText);

    writer->Init(out, &list);
    {
        OBStoredChildStory story;
        const unsigned char text[] = {'H', 0, 'i', 0};
        unsigned char* copy = static_cast<unsigned char*>(OBLibAllocate(sizeof text));
        std::memcpy(copy, text, sizeof text);
        story.SetStream(AN::kTextStream,
                        OBStreamUtilRef::CreateBufferStreamRead(copy, sizeof text, 1));
        OBStoredGroup group;
        writer->PutElement(&story);
        writer->PutElement(&group);
        writer->PutElement(nullptr);
    }
    writer->Reset();
    delete out;
    return Written(bytes);
}

} // namespace

TEST(DumpWriter, IndentationAndStoryTextFollowItsPreferences) {
    std::string indented = DumpStory(2, 1);
    Json json;
    std::string error;
    ASSERT_TRUE(ParseJson(indented, json, error)) << error << indented;
    EXPECT_EQ(json.At(0)[u"attributes"][u"TextStream"].text, u"Hi");
    EXPECT_NE(indented.find("\n    \"kind\": \"ChildStory\""), std::string::npos) << indented;

    std::string compact = DumpStory(0, 0);
    ASSERT_TRUE(ParseJson(compact, json, error)) << error << compact;
    EXPECT_EQ(json.At(0)[u"attributes"][u"TextStream"].text, u"<stream, 4 bytes>")
        << "the text is left out";
    EXPECT_EQ(
        compact,
        "[\n{\"kind\":\"ChildStory\",\"id\":0,\"attributes\":{\"TextStream\":\"<stream, 4 "
        "bytes>\"},"
        "\"children\":[]},\n{\"kind\":\"Group\",\"id\":1,\"attributes\":{},\"children\":[]}\n]\n");

    std::string wide = DumpStory(8, 1);
    EXPECT_NE(wide.find("\n                \"kind\""), std::string::npos) << wide;
    ASSERT_TRUE(ParseJson(wide, json, error)) << error;
}
