// The plug-in contract as the core supplies it: Format records, the plug-in
// records, the reader and writer base classes (their lock, the per-thread
// conversion state, names and the writer's stream), and releasing a thread's
// state.
#include <ombra/diagnostics.h>
#include <ombra/identifiers.h>
#include <ombra/ombra.h>
#include <ombra/plugin.h>
#include <ombra/scripts.h>
#include <ombra/typedstreams.h>

#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

class BareReader : public OBReader {
public:
    short CanImportThis(OBStream*) override { return 0; }
    void GetStreamPrefs(OBStream*, OBPreferenceList*) override {}
    void Init(OBStream* input, OBPreferenceList* prefs) override { OBReader::Init(input, prefs); }
    void Reset() override { OBReader::Reset(); }
    Element* GetFirstElement() override { return nullptr; }
    Element* GetNextElement() override { return nullptr; }
    void GetFormats(Format*& formats, short& count) override {
        formats = nullptr;
        count = 0;
    }
};

class BareWriter : public OBWriter {
public:
    using OBWriter::Init;
    void GetStreamPrefs(OBStream*, OBPreferenceList*) override {}
    void Init(OBStream* output, OBPreferenceList*) override {
        OBWriter::Init();
        SetStream(output);
    }
    void PutElement(Element*) override {}
    void GetFormats(Format*& formats, short& count) override {
        formats = nullptr;
        count = 0;
    }
};

/// A stream that counts its Close calls.
class ClosingStream : public COBStreamWrite {
public:
    int closes = 0;

protected:
    void Close() override { ++closes; }
};

// ---- Format ----------------------------------------------------------------

TEST(Format, KeepsTenCharactersAndComparesAllThreeFields) {
    Format f("ABCDEFGHIJKLMN", 1, 2);
    EXPECT_STREQ(f.GetFormatString(), "ABCDEFGHIJ");
    f.SetFormatString(nullptr);
    EXPECT_STREQ(f.GetFormatString(), "");
    EXPECT_EQ(Format("TEXT", 1, 2) == Format("TEXT", 1, 2), 1);
    EXPECT_EQ(Format("TEXT", 1, 2) == Format("TEXU", 1, 2), 0);
    EXPECT_EQ(Format("TEXT", 1, 2) == Format("TEXT", 9, 2), 0);
    EXPECT_EQ(Format("TEXT", 1, 2) == Format("TEXT", 1, 9), 0);
    // Characters beyond the tenth never take part.
    EXPECT_EQ(Format("0123456789A", 1, 2) == Format("0123456789B", 1, 2), 1);
}

// ---- records ---------------------------------------------------------------

TEST(PlugInRecords, ALoadedStatusIsNotOverwritten) {
    BareReader reader, other;
    int library = 0;
    OBReaderData record(OBSysFileRef("/r.obrd"));
    record.SetLoadStatus(kLoadStatusLoaded, &reader, &library);
    EXPECT_EQ(record.GetLoadStatus(), kLoadStatusLoaded);
    EXPECT_EQ(record.CanLoad(), 1);
    record.SetLoadStatus(kLoadStatusNotLoaded, &other, nullptr);
    EXPECT_EQ(record.GetLoadStatus(), kLoadStatusLoaded);
    EXPECT_EQ(record.GetReaderRoot(), &reader);
    EXPECT_EQ(record.GetConnectionID(), &library);

    // Unloading returns the record to its discovered state, so it leads to
    // no object any more and a later load can store a new one.
    record.Unload();
    EXPECT_EQ(record.GetLoadStatus(), kLoadStatusNotLoaded);
    EXPECT_EQ(record.GetReaderRoot(), nullptr);
    EXPECT_EQ(record.GetConnectionID(), nullptr);
    EXPECT_EQ(record.CanLoad(), 0);
    record.SetLoadStatus(kLoadStatusLoaded, &other, &library);
    EXPECT_EQ(record.GetReaderRoot(), &other);

    // A writer's record forgets its id too.
    BareWriter writer;
    OBWriterData written(OBSysFileRef("/w.obwt"));
    written.SetLoadStatus(kLoadStatusLoaded, &writer, &writer);
    written.SetWriterID(259);
    written.IncWriterRefCount();
    written.Unload();
    EXPECT_TRUE(written.GetLoadStatus() == kLoadStatusNotLoaded && !written.GetWriterRoot());
    EXPECT_EQ(std::make_pair(written.GetWriterID(), written.CanLoad()),
              std::make_pair(-1, short(0)));
}

TEST(PlugInRecords, LoadingALibraryThatIsNoneFailsWithTheLoadersReason) {
    OBReaderUtils utils{OBReaderData(OBSysFileRef("/no/such/folder/none.obrd"))};
    OBModuleHandle handle = &handle;
    COBString error;
    utils.Load(&handle, &error);
    EXPECT_EQ(handle, nullptr);
    EXPECT_NE(std::string(error.GrabCString()).find("none.obrd"), std::string::npos)
        << error.GrabCString();
    EXPECT_EQ(utils.CreateReader(nullptr, error), nullptr);
    utils.UnLoad(nullptr);
}

// ---- names -----------------------------------------------------------------

TEST(PlugInNames, TakeTheLastPathComponent) {
    BareReader reader;
    OBSysFileRef path("/usr/lib/ombra/readers/sample.obrd");
    reader.SetReaderName(&path);
    EXPECT_STREQ(reader.GetReaderName().GrabCString(), "sample.obrd");
    OBSysFileRef windows("C:\\Program Files\\Ombra\\Readers\\legacy.obrd");
    reader.SetReaderName(&windows);
    EXPECT_STREQ(reader.GetReaderName().GrabCString(), "legacy.obrd");
    reader.SetReaderName(nullptr);
    EXPECT_STREQ(reader.GetReaderName().GrabCString(), "legacy.obrd");
}

class PlugInNamesWithService : public ombra_test::WithTextService {};

TEST_F(PlugInNamesWithService, WidePathsConvertToRomanText) {
    BareWriter writer;
    std::u16string wide = u"/plug/ins/\u00e9crit.obwt";
    OBSysFileRef path(ombra_test::Ptr(wide));
    writer.SetWriterName(&path);
    EXPECT_STREQ(writer.GetWriterName().GrabCString(), "\xe9"
                                                       "crit.obwt");
    EXPECT_EQ(writer.GetWriterName().GetWSEScript(), WSE::kRomanScript);
}

TEST(PlugInNames, WidePathsWithoutATextServiceReadAsUTF8) {
    ASSERT_EQ(OBLumHandler::GetLumService(), nullptr);
    BareWriter writer;
    std::u16string wide = u"C:\\w\\\u00e9crit.obwt";
    OBSysFileRef path(ombra_test::Ptr(wide));
    writer.SetWriterName(&path);
    EXPECT_STREQ(writer.GetWriterName().GrabCString(), "\xc3\xa9"
                                                       "crit.obwt");
}

// ---- the reader's lock and conversion state --------------------------------

TEST(ReaderBase, InitPreparesAndResetDiscardsTheThreadsConversionState) {
    BareReader reader;
    OBIDGenerator::Reset();
    reader.Init(nullptr, nullptr);
    EXPECT_EQ(reader.IsInUse(), 1);
    EXPECT_EQ(OBIDGenerator::GetID(), 0u);
    EXPECT_EQ(OBIDGenerator::GetID(), 1u);
    OBErrorUtils::OBSetGlobalErrorCode(7, 77);
    LocaleUtil::SetCurrentLocale(OBL::kGerman);
    ElementUtil::BeginChunk();
    EXPECT_EQ(ElementUtil::GetChunkStatus(), 1);

    reader.Reset();
    EXPECT_EQ(reader.IsInUse(), 0);
    EXPECT_EQ(OBIDGenerator::GetID(), kOBNoID);
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), 0);
    EXPECT_EQ(LocaleUtil::GetCurrentLocale(), OBL::kEnglish);
    EXPECT_EQ(ElementUtil::GetChunkStatus(), 0);
    OBErrorUtils::OBResetErrorUtils();
}

// The in-use flag and the lock keep other threads out from Init to Reset;
// the holding thread may Init again, and a Reset by a thread that holds
// nothing releases nothing.
TEST(ReaderBase, AnotherThreadsInitWaitsForTheReset) {
    BareReader reader;
    reader.Reset(); // before any Init: nothing to release
    EXPECT_EQ(reader.IsInUse(), 0);
    reader.Init(nullptr, nullptr);
    reader.Init(nullptr, nullptr);
    std::atomic<bool> entered{false};
    std::thread other([&] {
        reader.Init(nullptr, nullptr);
        entered = true;
        reader.Reset();
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(entered) << "the in-use flag let another thread through";
    std::thread([&] { reader.Reset(); }).join();
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(entered);
    EXPECT_EQ(reader.IsInUse(), 1);
    reader.Reset(); // one Reset releases the lock
    other.join();
    EXPECT_TRUE(entered);
    EXPECT_EQ(reader.IsInUse(), 0);
}

TEST(ReaderBase, OwnsItsPreferenceList) {
    long long before = ombra_test::Stats().releases;
    {
        BareReader reader;
        OBPreferenceList* own = new OBPreferenceList;
        own->Add(new OBBooleanPreference(1, 10));
        reader.SetPrefs(own);
        EXPECT_EQ(reader.GetPrefs(), own);
        reader.SetPrefs(own); // the same list again is kept, not freed
        EXPECT_EQ(reader.GetPrefs()->GetNumberOfPreferences(), 1);
    }
    EXPECT_GE(ombra_test::Stats().releases - before, 3); // list, its array, the preference
}

// ---- the writer ------------------------------------------------------------

// Reset forgets the host's stream; destruction closes one still set.
TEST(WriterBase, ResetForgetsTheHostsStreamAndDestructionClosesOneStillSet) {
    ClosingStream stream;
    {
        BareWriter writer;
        writer.Init(&stream, nullptr);
        EXPECT_EQ(writer.GetStream(), &stream);
        EXPECT_EQ(writer.IsInUse(), 1);
        writer.Reset();
        EXPECT_EQ(writer.GetStream(), nullptr);
        EXPECT_EQ(writer.IsInUse(), 0);
        BareWriter other;
        other.SetStream(&stream);
    }
    EXPECT_EQ(stream.closes, 1);
}

TEST(WriterBase, ConversionsThroughOneWriterTakeTurns) {
    BareWriter writer;
    writer.Init();
    writer.Init(); // the holder may Init again
    std::atomic<bool> entered{false};
    std::thread other([&] {
        writer.Init();
        entered = true;
        writer.Reset();
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(entered);
    writer.Reset();
    other.join();
    EXPECT_TRUE(entered);
}

long long Outstanding() {
    ombra_test::AllocationStats& stats = ombra_test::Stats();
    return stats.allocations.load() - stats.releases.load();
}

// Uses every piece of per-thread state; true when the conversion worked.
bool UseTheCore() {
    OBErrorUtils::OBSetGlobalErrorCode(7, 1234);
    LocaleUtil::SetCurrentLocale(OBL::kJapanese);
    OBIDGenerator::Init();
    OBIDGenerator::GetID();
    ElementUtil::Init();
    OBLumHandler::SetLumService(new OBConvertorLumService);
    unsigned short units[4] = {};
    return OBLumHandler::GetLumService()->CharToTextChar("\x93\xFA\x96\x7B", 4, units, 4,
                                                         WSE::kJapaneseScript,
                                                         CPGE::kCodePageFromScript) == 2 &&
           units[0] == 0x65E5 && units[1] == 0x672C;
}

TEST(ThreadState, ReleasingGivesEverythingBackAndTheThreadCanStartAgain) {
    std::thread([] {
        long long before = Outstanding();
        ASSERT_TRUE(UseTheCore());
        EXPECT_GT(Outstanding(), before);

        OBReleaseThreadState();
        EXPECT_EQ(Outstanding(), before);
        EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), 0);
        EXPECT_EQ(LocaleUtil::GetCurrentLocale(), OBL::kEnglish);
        EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);

        // What the thread needs again is made anew; a second release is harmless.
        EXPECT_TRUE(UseTheCore());
        EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), 7);
        OBReleaseThreadState();
        OBReleaseThreadState();
        EXPECT_EQ(Outstanding(), before);
    }).join();
}

} // namespace
