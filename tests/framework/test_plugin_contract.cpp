// The plug-in contract as the core supplies it: Format records, the plug-in
// records, the reader and writer base classes (their lock, the per-thread
// conversion state, names and the writer's stream), releasing a thread's
// state, and how OBDriver turns chunk and relationship depths into parents.
#include <ombra/diagnostics.h>
#include <ombra/driver.h>
#include <ombra/identifiers.h>
#include <ombra/ombra.h>
#include <ombra/plugin.h>
#include <ombra/scripts.h>
#include <ombra/typedstreams.h>

#include "support/ConversionState.h"
#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

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

// Without a text service wide paths read as UTF-8.
TEST(PlugInNames, TakeTheLastPathComponent) {
    ASSERT_EQ(OBLumHandler::GetLumService(), nullptr);
    BareReader reader;
    OBSysFileRef path("/usr/lib/ombra/readers/sample.obrd");
    reader.SetReaderName(&path);
    EXPECT_STREQ(reader.GetReaderName().GrabCString(), "sample.obrd");
    std::u16string wide = u"C:\\w\\\u00e9crit.obrd";
    OBSysFileRef widePath(ombra_test::Ptr(wide));
    reader.SetReaderName(&widePath);
    EXPECT_STREQ(reader.GetReaderName().GrabCString(), "\xc3\xa9"
                                                       "crit.obrd");
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

// The in-use flag and the lock keep other threads out from Init to Reset
// (the writer's as the reader's);
// the holding thread may Init again, and a Reset by a thread that holds
// nothing releases nothing.
template <class PlugIn, class Init> void ExpectInitsTakeTurns(PlugIn& plugIn, Init init) {
    plugIn.Reset(); // before any Init: nothing to release
    EXPECT_EQ(plugIn.IsInUse(), 0);
    init();
    init();
    std::atomic<bool> entered{false};
    std::thread other([&] {
        init();
        entered = true;
        plugIn.Reset();
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(entered) << "the in-use flag let another thread through";
    std::thread([&] { plugIn.Reset(); }).join();
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(entered);
    EXPECT_EQ(plugIn.IsInUse(), 1);
    plugIn.Reset(); // one Reset releases the lock
    other.join();
    EXPECT_TRUE(entered);
    EXPECT_EQ(plugIn.IsInUse(), 0);
}

TEST(ReaderBase, AnotherThreadsInitWaitsForTheReset) {
    BareReader reader;
    ExpectInitsTakeTurns(reader, [&] { reader.Init(nullptr, nullptr); });
    BareWriter writer;
    ExpectInitsTakeTurns(writer, [&] { writer.Init(); });
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

using ombra_test::ConversionState;

// The smallest reader-side driver: the import operations are the reader's.
class TestDriver : public OBDriver {
public:
    Element* GetFirstElement() override { return nullptr; }
    Element* GetNextElement() override { return nullptr; }
    void SetImportMethod(ImportMethod method) override {
        ++methodCalls;
        OBDriver::SetImportMethod(method);
    }
    using OBDriver::GetDriverData;
    using OBDriver::SetDriverData;
    int methodCalls = 0;
};

class Data : public OBDriverData {
public:
    explicit Data(int* deaths) : deaths_(deaths) {}
    ~Data() override { ++*deaths_; }

private:
    int* deaths_;
};

// Sets the thread's chunk depth, as a reader does with Begin/EndChunk.
void ChunkDepth(int depth) {
    while (ElementUtil::GetChunkStatus() < depth)
        ElementUtil::BeginChunk();
    while (ElementUtil::GetChunkStatus() > depth)
        ElementUtil::EndChunk();
}

void RelationshipDepth(int depth) {
    while (ElementUtil::GetRelationshipStatus() < depth)
        ElementUtil::BeginRelationship();
    while (ElementUtil::GetRelationshipStatus() > depth)
        ElementUtil::EndRelationship();
}

constexpr auto kUnset = static_cast<RelationEnum::RelationshipStatusEnum>(0);

// One reader step: the thread's chunk depth when the id comes, and what
// TobeKept makes of it.
struct Step {
    int depth;
    unsigned id;
    ChunkEnum::ChunkStatusEnum result;
    unsigned parent, top;
};

void ExpectSteps(const std::vector<Step>& steps) {
    ConversionState state;
    TestDriver driver;
    auto status = kUnset;
    for (const Step& step : steps) {
        ChunkDepth(step.depth);
        EXPECT_EQ(driver.TobeKept(step.id, status), step.result) << step.id;
        EXPECT_EQ(driver.GetParentChunkId(), step.parent) << step.id;
        EXPECT_EQ(driver.GetChunkStackTop(), step.top) << step.id;
        EXPECT_EQ(status, RelationEnum::kOutsideRelationship);
    }
}

constexpr auto kDeeper = ChunkEnum::kChunkSameOrDeeper;
constexpr auto kShallower = ChunkEnum::kChunkShallower;

TEST(Driver, ChunkDepthsBecomeParents) {
    ExpectSteps({
        {1, 10, kDeeper, kOBNoID, 10},
        {2, 20, kDeeper, 10, 20},
        {0, 30, kShallower, kOBNoID, kOBNoID}, // two pops empty the stack; 30 is not pushed
        // Several levels at once: one push on the way down, the difference on the way up.
        {3, 40, kDeeper, kOBNoID, 40},
        {4, 41, kDeeper, 40, 41},
        {5, 42, kDeeper, 41, 42},
        {3, 43, kShallower, 40, 40}, // two pops leave the first
        {4, 44, kDeeper, 40, 44},
        {5, 45, kDeeper, 44, 45},
        {4, 46, kShallower, 44, 44},
    });
    // Siblings: the latest of a level takes the top, its parent is the id below.
    ExpectSteps({
        {0, 1, kDeeper, kOBNoID, kOBNoID},
        {1, 10, kDeeper, kOBNoID, 10},
        {1, 11, kDeeper, 10, 11}, // the only entry is the parent
        {2, 20, kDeeper, 11, 20},
        {2, 21, kDeeper, 11, 21},
        {3, 30, kDeeper, 21, 30}, // under the latest sibling
    });
}

TEST(Driver, RelationshipsCollectTheirIds) {
    ConversionState state;
    TestDriver driver;
    auto status = kUnset;

    ChunkDepth(1);
    RelationshipDepth(1);
    driver.TobeKept(5, status); // previous depth 0, now 1: status untouched
    EXPECT_EQ(status, kUnset);
    EXPECT_EQ(driver.GetRelationshipCount(), 1);

    ChunkDepth(2);
    driver.TobeKept(6, status); // still inside
    EXPECT_EQ(status, RelationEnum::kInRelationship);

    RelationshipDepth(0);
    ChunkDepth(0);
    status = kUnset;
    // Shallower, but the previous relationship depth was 1.
    EXPECT_EQ(driver.TobeKept(7, status), ChunkEnum::kChunkSameOrDeeper);
    EXPECT_EQ(status, RelationEnum::kOutsideRelationship);
    EXPECT_EQ(driver.GetRelationshipCount(), 0);

    EXPECT_EQ(driver.RelationShipStackPop(), 7u);
    EXPECT_EQ(driver.RelationShipStackPop(), 6u);
    EXPECT_EQ(driver.RelationShipStackPop(), kOBNoID);

    driver.TobeKept(8, status); // outside: nothing collected
    EXPECT_EQ(driver.RelationShipStackPop(), kOBNoID);
}

TEST(Driver, InitAndResetClearCountsButKeepStacks) {
    ConversionState state;
    TestDriver driver;
    auto status = kUnset;
    ChunkDepth(2);
    driver.TobeKept(1, status);
    driver.SetRelationshipCount(3);
    driver.TobeKept(2, status);
    EXPECT_EQ(driver.GetParentChunkId(), 1u);

    driver.Init(static_cast<ImportMethod>(7));
    EXPECT_EQ(driver.methodCalls, 1); // through the virtual setter
    EXPECT_EQ(driver.GetImportMethod(), 7);
    EXPECT_EQ(driver.GetRelationshipCount(), 0);
    EXPECT_EQ(driver.GetParentChunkId(), kOBNoID);
    EXPECT_EQ(driver.GetChunkStackTop(), 2u);

    driver.SetChunkCount(5);
    driver.Reset();
    EXPECT_EQ(driver.GetChunkCount(), 0);
    EXPECT_EQ(driver.RelationShipStackPop(), 2u);
}

TEST(Driver, CopiesAndOwnedData) {
    ConversionState state;
    int deaths = 0;
    {
        TestDriver driver;
        auto status = kUnset;
        ChunkDepth(1);
        driver.TobeKept(9, status);
        driver.SetDriverData(new Data(&deaths));
        driver.SetDriverData(new Data(&deaths)); // the replaced one goes
        EXPECT_EQ(deaths, 1);

        TestDriver copy(driver);
        EXPECT_EQ(copy.GetChunkStackTop(), 9u);
        EXPECT_EQ(copy.GetDriverData(), nullptr); // one owner
    }
    EXPECT_EQ(deaths, 2);
}

} // namespace
