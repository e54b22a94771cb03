// The host's entry point: convertors and their error codes, the pump's
// calling order, the preference adjustments, conversions on several threads
// and a host's whole sequence from start-up to shut-down.
#include <ombra/convertor.h>
#include <ombra/convertorlumservice.h>
#include <ombra/diagnostics.h>
#include <ombra/messages.h>
#include <ombra/resources.h>
#include <ombra/valueutil.h>

#include "framework/PlugInFixture.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace ombra_test;
using namespace std::chrono_literals;

/// The events of one conversion without the probes and without the
/// writer's preference dump.
std::vector<std::string> CallOrder() {
    std::vector<std::string> calls;
    for (const std::string& e : Recorded()) {
        if (e.find(":CanImportThis") != std::string::npos) continue;
        bool writerPreference = e[0] == 'W' && e.compare(4, 2, ":P") == 0;
        if (!writerPreference || e.compare(5, 10, "PutElement") == 0) calls.push_back(e);
    }
    return calls;
}

/// The writer's preference dump: "P<index>=<value>" as Init received it.
std::vector<std::string> WriterPreferences(int writerId) {
    std::vector<std::string> values;
    std::string prefix = "W" + std::to_string(writerId) + ":P";
    for (const std::string& e : Recorded())
        if (e.compare(0, prefix.size(), prefix) == 0 && e.find("PutElement") == std::string::npos)
            values.push_back(e.substr(prefix.size() - 1));
    return values;
}

// What a writer's Init receives without options: P3 and P4 differ for 259.
std::vector<std::string> Defaults(const char* p3, const char* p4) {
    return {"P0=",           "P1=0",   "P2=0",   "P2.0=0", "P2.1=0", "P2.2=<absent>",
            "P2.3=<absent>", "P2.4=0", "P2.5=0", "P2.6=",  p3,       p4};
}

Preferences Options(int encoding, int unit) {
    return Preferences{1, "alpha", 0, "beta", 1, 12, unit, encoding};
}

class ConvertorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ReaderManager::GetInstance(), nullptr);
        ASSERT_EQ(WriterManager::GetInstance(), nullptr);
        ASSERT_EQ(OBLumHandler::GetLumService(), nullptr);
        readers_.Add("reader9.obrd").Add("reader16.obrd");
        writers_.Add("writer259.obwt").Add("writer300.obwt", "more");
        ClearRecorded();
        OBErrorUtils::OBResetErrorUtils();
    }
    void TearDown() override {
        EXPECT_EQ(ReaderManager::GetInstance(), nullptr);
        EXPECT_EQ(WriterManager::GetInstance(), nullptr);
        EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
        OBErrorUtils::OBResetErrorUtils();
    }

    /// One conversion of script through the text convertor.
    short Convert(OBConvertorManager& manager, const std::string& script,
                  const Preferences* options = nullptr, std::vector<int>* written = nullptr) {
        ErrorCode error = kUnknownConvertor;
        OBConvertor* convertor = manager.GetConvertor(1, error);
        EXPECT_EQ(error, kNoError);
        if (!convertor) return -1;
        ScriptInput input(script);
        MemoryOutput output;
        short result = convertor->ExtractData(input.Stream(), output.Stream(), options);
        if (written) *written = output.Numbers();
        return result;
    }

    PlugInFolder readers_;
    PlugInFolder writers_;
};

// ---- convertors ------------------------------------------------------------

TEST_F(ConvertorTest, HandsOutOneTextConvertorAndReportsWhatFails) {
    OBConvertorManager manager(readers_.Path(), writers_.Path());
    EXPECT_NE(dynamic_cast<OBConvertorLumService*>(OBLumHandler::GetLumService()), nullptr)
        << "the constructing thread gets the core's text service";
    ErrorCode error = kUnknownConvertor;
    OBConvertor* text = manager.GetConvertor(1, error);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(error, kNoError);
    EXPECT_NE(dynamic_cast<OBTextConvertor*>(text), nullptr);
    EXPECT_EQ(text->GetConvertorData()->writer->GetWriterID(), 259);
    EXPECT_EQ(manager.GetConvertor(1, error), text);

    error = kNoError;
    EXPECT_EQ(manager.GetConvertor(0, error), nullptr);
    EXPECT_EQ(error, kUnknownConvertor);

    OBConvertor* other = manager.GetConvertorForWriter(300, error);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(manager.GetConvertorForWriter(300, error), other);
    EXPECT_EQ(other->GetConvertorData()->writer->GetWriterID(), 300);
    // Another convertor over the same shared writer.
    OBConvertor* second259 = manager.GetConvertorForWriter(259, error);
    EXPECT_NE(second259, text);
    EXPECT_EQ(second259->GetConvertorData()->writer, text->GetConvertorData()->writer);
    error = kNoError;
    EXPECT_EQ(manager.GetConvertorForWriter(12345, error), nullptr);
    EXPECT_EQ(error, kWriterUnavailable);
}

// Without writer 259 the text convertor is unavailable, every time (a failure
// is not cached); without a plug-in folder no manager is even made.
TEST_F(ConvertorTest, WithoutWriter259OrAFolderTheTextConvertorIsUnavailable) {
    PlugInFolder others;
    others.Add("writer300.obwt");
    for (auto folders : {std::make_pair(readers_.Path(), others.Path()),
                         std::make_pair(std::string(), writers_.Path()),
                         std::make_pair(readers_.Path(), std::string())}) {
        OBConvertorManager manager(folders.first, folders.second);
        bool folder = !folders.first.empty() && !folders.second.empty();
        EXPECT_EQ(manager.GetReaderManager() != nullptr, folder);
        EXPECT_EQ(manager.GetWriterManager() != nullptr, folder);
        for (int again = 0; again < 2; ++again) {
            ErrorCode error = kNoError;
            EXPECT_EQ(manager.GetConvertor(1, error), nullptr);
            EXPECT_EQ(error, kWriterUnavailable);
        }
        ErrorCode error = kNoError;
        EXPECT_EQ(manager.GetConvertorForWriter(300, error) != nullptr, folder);
        EXPECT_EQ(error, folder ? kNoError : kWriterUnavailable);
        EXPECT_EQ(ReaderManager::GetInstance() != nullptr, folder);
        EXPECT_EQ(WriterManager::GetInstance() != nullptr, folder);
        EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), 0);
    }
}

// ---- the pump --------------------------------------------------------------

TEST_F(ConvertorTest, PumpsInTheContractsOrder) {
    OBConvertorManager manager(readers_.Path(), writers_.Path());
    std::vector<int> written;
    ASSERT_EQ(Convert(manager, "answer:9=1 count=3", nullptr, &written), 1);
    EXPECT_EQ(CallOrder(),
              (std::vector<std::string>{
                  "R9:GetStreamPrefs", "R9:Init stream flag14=1", "W259:GetStreamPrefs",
                  "W259:Init", "R9:GetFirstElement", "W259:PutElement 0", "R9:GetNextElement",
                  "W259:PutElement 1", "R9:GetNextElement", "W259:PutElement 2",
                  "R9:GetNextElement", "W259:PutElement null", "W259:Reset", "R9:Reset"}));
    EXPECT_EQ(written, (std::vector<int>{0, 1, 2}));
    // Element ids start again from 0 with every conversion.
    ClearRecorded();
    ASSERT_EQ(Convert(manager, "answer:9=1 count=1", nullptr, &written), 1);
    EXPECT_EQ(written, (std::vector<int>{0}));
    // A reader without a first Element is still asked for the next.
    ASSERT_EQ(Convert(manager, "answer:9=1 firstnull count=2", nullptr, &written), 1);
    EXPECT_EQ(written, (std::vector<int>{0, 1}));
    // One without stream preferences gets its own list.
    ClearRecorded();
    ASSERT_EQ(Convert(manager, "answer:9=1 noprefs"), 1);
    EXPECT_EQ(EventsStartingWith("R9:Init"), std::vector<std::string>{"R9:Init own"});
}

TEST_F(ConvertorTest, CallsNoPlugInWithoutStreamsOrARecognisingReader) {
    OBConvertorManager manager(readers_.Path(), writers_.Path());
    ErrorCode error;
    OBConvertor* text = manager.GetConvertor(1, error);
    ScriptInput yes("answer:16=1"), no("answer:3=1"), input("answer:9=1");
    // CanConvertThis asks the readers; a miss keeps the reader found before.
    EXPECT_EQ(text->CanConvertThis(yes.Stream()), 1);
    EXPECT_EQ(text->GetConvertorData()->reader->GetReaderID(), 16);
    EXPECT_EQ(text->CanConvertThis(no.Stream()) + text->CanConvertThis(nullptr), 0);
    EXPECT_EQ(text->GetConvertorData()->reader->GetReaderID(), 16);
    MemoryOutput output;
    ClearRecorded();
    EXPECT_EQ(text->ExtractData(nullptr, output.Stream(), nullptr), 0);
    EXPECT_EQ(text->ExtractData(input.Stream(), nullptr, nullptr), 0);
    EXPECT_TRUE(Recorded().empty());

    EXPECT_EQ(text->ExtractData(no.Stream(), output.Stream(), nullptr), 0);
    EXPECT_TRUE(CallOrder().empty()) << "only probes ran";
    EXPECT_FALSE(Recorded().empty());
}

TEST_F(ConvertorTest, TheThreadsChosenReaderServesItsNextConversionOnly) {
    OBConvertorManager manager(readers_.Path(), writers_.Path());
    int nine[] = {9};
    OBChosenReaderIDList chosen{nine, 1};
    manager.GetReaderManager()->UseReaders(&chosen);
    ASSERT_EQ(Convert(manager, "answer:9=1 answer:16=1 count=0"), 1);
    EXPECT_FALSE(EventsStartingWith("R9:Init").empty());
    EXPECT_TRUE(EventsStartingWith("R16:").empty());
    ClearRecorded();
    ASSERT_EQ(Convert(manager, "answer:9=1 answer:16=1 count=0"), 1);
    EXPECT_TRUE(EventsStartingWith("R9:").empty());
    EXPECT_FALSE(EventsStartingWith("R16:Init").empty());
}

// ---- the preference adjustments ---------------------------------------------

TEST_F(ConvertorTest, TheTextWriterGetsTheOptionsOrOnlyPCAndPlainTextOthersKeepTheirs) {
    OBConvertorManager manager(readers_.Path(), writers_.Path());
    ASSERT_EQ(Convert(manager, "answer:9=1 count=0"), 1);
    EXPECT_EQ(WriterPreferences(259), Defaults("P3=1", "P4=PC"));
    ClearRecorded();
    Preferences options = Options(0, 2);
    ASSERT_EQ(Convert(manager, "answer:9=1 count=0", &options), 1);
    EXPECT_EQ(WriterPreferences(259),
              (std::vector<std::string>{"P0=Unicode UTF8", "P1=0", "P2=0", "P2.0=1", "P2.1=0",
                                        "P2.2=alpha", "P2.3=beta", "P2.4=1", "P2.5=12",
                                        "P2.6=Inches", "P3=1", "P4=PC"}));

    // Encodings and units outside their tables fall back.
    struct Case {
        int encoding, unit;
        const char* encodingName;
        const char* unitName;
    };
    for (Case c :
         {Case{1, 10, "P0=Unicode UTF16", "P2.6=Twips"}, Case{2, 0, "P0=Default", "P2.6=Undefined"},
          Case{-1, 5, "P0=Default", "P2.6=Undefined"}}) {
        ClearRecorded();
        options = Options(c.encoding, c.unit);
        ASSERT_EQ(Convert(manager, "answer:9=1 count=0", &options), 1);
        std::vector<std::string> values = WriterPreferences(259);
        ASSERT_EQ(values.size(), 12u);
        EXPECT_EQ(values[0], c.encodingName);
        EXPECT_EQ(values[9], c.unitName);
    }

    // Other writers keep their preferences.
    ClearRecorded();
    ErrorCode error;
    OBConvertor* other = manager.GetConvertorForWriter(300, error);
    ASSERT_NE(other, nullptr);
    ScriptInput input("answer:9=1 count=1");
    MemoryOutput output;
    options = Options(0, 2);
    ASSERT_EQ(other->ExtractData(input.Stream(), output.Stream(), &options), 1);
    EXPECT_EQ(WriterPreferences(300), Defaults("P3=0", "P4="));
    EXPECT_EQ(output.Numbers(), std::vector<int>{0});
    // The reader's adjustment does not depend on the writer.
    EXPECT_EQ(EventsStartingWith("R9:Init"), std::vector<std::string>{"R9:Init stream flag14=1"});

    ClearRecorded();
    OBConvertor* text = manager.GetConvertorForWriter(259, error);
    ScriptInput again("answer:9=1 count=0");
    ASSERT_EQ(text->ExtractData(again.Stream(), output.Stream(), &options), 1);
    EXPECT_EQ(WriterPreferences(259)[11], "P4=PC");
}

// ---- failures and threads ---------------------------------------------------

TEST_F(ConvertorTest, APlugInThatThrowsEndsTheConversionAndFreesBothPlugIns) {
    OBConvertorManager manager(readers_.Path(), writers_.Path());
    EXPECT_EQ(Convert(manager, "answer:9=1 count=3 throw=GetNextElement"), 0);
    std::vector<std::string> calls = CallOrder();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "W259:Reset");
    EXPECT_EQ(calls.back(), "R9:Reset");
    // Both locks are free: a conversion on another thread runs through.
    auto next = std::async(std::launch::async, [&] { return Convert(manager, "answer:9=1"); });
    ASSERT_EQ(next.wait_for(10s), std::future_status::ready) << "a lock stayed taken";
    EXPECT_EQ(next.get(), 1);
    EXPECT_EQ(Convert(manager, "answer:9=1 throw=Init"), 0);
    EXPECT_EQ(Convert(manager, "answer:9=1"), 1);
}

// std::bad_alloc from any call into a reader ends at the boundary as out
// of memory, in the log and the thread's error code; other exceptions are
// no such thing.
TEST_F(ConvertorTest, AReaderThatRunsOutOfMemoryAnywhereIsReportedAsThat) {
    OBConvertorManager manager(readers_.Path(), writers_.Path());
    const char* operations[] = {"CanImportThis", "GetStreamPrefs", "Init", "GetFirstElement",
                                "GetNextElement"};
    for (const char* op : operations) {
        for (const char* how : {"nomemory=", "throw="}) {
            bool noMemory = how[0] == 'n';
            OBConversionLogger log;
            OBLoggerUtility::SetThreadLogger(&log);
            OBErrorUtils::OBResetErrorUtils();
            short pumped = Convert(manager, std::string("answer:9=1 count=3 ") + how + op);
            OBLoggerUtility::SetThreadLogger(nullptr);
            EXPECT_EQ(pumped, 0) << how << op;
            EXPECT_EQ(log.HasEntry(OBMessageId(OBERR::kOutOfMemory)), noMemory ? 1 : 0)
                << how << op;
            EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode() == OBERR::kOutOfMemory, noMemory)
                << how << op;
        }
    }
    EXPECT_EQ(Convert(manager, "answer:9=1"), 1) << "the reader is not marked as broken";
}

TEST_F(ConvertorTest, AMillionChildrenAddedOneByOneTakeLogarithmicallyManyListBlocks) {
    OBConvertorManager manager(readers_.Path(), writers_.Path());
    long long before = Stats().large;
    EXPECT_EQ(Convert(manager, "answer:9=1 count=1 children=1000000"), 1);
    // A list that grew by its chunk of 8 would take (1,000,000 - 8,192) / 8
    // blocks of 64 KiB or more; one that doubles takes 8 (2^13 to 2^20 slots).
    EXPECT_LE(Stats().large - before, 8);
}

TEST_F(ConvertorTest, ConversionsThroughOneReaderTakeTurns) {
    OBConvertorManager manager(readers_.Path(), writers_.Path());
    ErrorCode error;
    OBConvertor* first = manager.GetConvertor(1, error);
    OBConvertor* second = manager.GetConvertorForWriter(300, error);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    auto run = [](OBConvertor* convertor, const char* tag, std::vector<int>* written) {
        ScriptInput input(std::string("answer:9=1 count=4 delay=15 tag=") + tag);
        MemoryOutput output;
        short result = convertor->ExtractData(input.Stream(), output.Stream(), nullptr);
        *written = output.Numbers();
        return result;
    };
    std::vector<int> writtenA, writtenB;
    auto a = std::async(std::launch::async, run, first, "A", &writtenA);
    auto b = std::async(std::launch::async, run, second, "B", &writtenB);
    ASSERT_EQ(a.wait_for(30s), std::future_status::ready);
    ASSERT_EQ(b.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(a.get(), 1);
    EXPECT_EQ(b.get(), 1);
    EXPECT_EQ(writtenA, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(writtenB, (std::vector<int>{0, 1, 2, 3}));

    // From Init to Reset a conversion has the reader to itself: the reader's
    // events between them all carry one tag.
    std::vector<std::string> held;
    for (const std::string& e : EventsStartingWith("R9:"))
        if (e.find("CanImportThis") == std::string::npos &&
            e.find("GetStreamPrefs") == std::string::npos)
            held.push_back(e);
    ASSERT_EQ(held.size(), 2u * (1 + 1 + 4 + 1));
    for (std::size_t start : {std::size_t(0), held.size() / 2}) {
        std::string tag = held[start].substr(held[start].rfind("tag="));
        EXPECT_EQ(held[start].compare(0, 7, "R9:Init"), 0) << held[start];
        for (std::size_t i = start; i < start + held.size() / 2; ++i)
            EXPECT_NE(held[i].find(tag), std::string::npos) << "interleaved at " << held[i];
        EXPECT_EQ(held[start + held.size() / 2 - 1].compare(0, 8, "R9:Reset"), 0);
    }
}

// ---- the host's lifecycle ---------------------------------------------------

TEST_F(ConvertorTest, AHostsWholeSequenceLeavesNothingBehind) {
    // Values come from per-thread pool caches that live as long as the memory
    // service; the first value made on this thread sets them up.
    Value* warm = nullptr;
    ValueUtil::CreateValueBool16(1, warm);
    ValueUtil::Recycle(warm);
    long long outstanding = Stats().allocations - Stats().releases;
    {
        // The memory service is installed for the whole run (TestMain).
        OBStringTable table;
        table.SetString(1000 + 16 * 11, "No writer could be loaded");
        HINSTANCE module = &table;
        OBConnectionUtility::SetCurrentHandle(&module);
        {
            OBConvertorManager manager(readers_.Path(), writers_.Path());
            ErrorCode error = kUnknownConvertor;
            OBConvertor* convertor = manager.GetConvertor(1, error);
            ASSERT_NE(convertor, nullptr);
            ASSERT_EQ(error, kNoError);
            ScriptInput input("answer:16=1 count=5");
            MemoryOutput output;
            Preferences options = Options(1, 10);
            EXPECT_EQ(convertor->ExtractData(input.Stream(), output.Stream(), &options), 1);
            EXPECT_EQ(output.Numbers(), (std::vector<int>{0, 1, 2, 3, 4}));
        } // the fixture checks that the managers and the text service are gone
        OBConnectionUtility::SetCurrentHandle(nullptr);
    }
    EXPECT_EQ(Stats().allocations - Stats().releases, outstanding);
}

// A host's sequence while memory runs out: no convertor and an error code,
// or a conversion that ends normally, and the managers gone afterwards.
TEST_F(ConvertorTest, RunningOutOfMemoryNeverBreaksAHostsSequence) {
    EXPECT_GT(
        ombra_test::SweepAllocationFailures(
            [&] {
                short result = 0;
                {
                    OBConvertorManager manager(readers_.Path(), writers_.Path());
                    ErrorCode error = kNoError;
                    OBConvertor* convertor = manager.GetConvertor(1, error);
                    EXPECT_TRUE(convertor || error != kNoError);
                    ScriptInput input("answer:9=1 count=2");
                    MemoryOutput output;
                    if (convertor)
                        result = convertor->ExtractData(input.Stream(), output.Stream(), nullptr);
                }
                EXPECT_EQ(ReaderManager::GetInstance(), nullptr);
                EXPECT_EQ(WriterManager::GetInstance(), nullptr);
                if (OBLumService* left = OBLumHandler::GetLumService()) {
                    OBLumHandler::ResetLumService(); // a service the manager could not take back
                    delete left;
                }
                return result == 1;
            },
            50),
        100);
}

// A manager destroyed on another thread leaves the service with its thread; one
// that found a service installed leaves it there.
TEST_F(ConvertorTest, TheTextServiceStaysWithItsThreadAndOwner) {
    OBConvertorManager* manager = new OBConvertorManager(readers_.Path(), writers_.Path());
    OBLumService* installed = OBLumHandler::GetLumService();
    ASSERT_NE(installed, nullptr);
    std::thread([&] {
        delete manager;
        EXPECT_EQ(OBLumHandler::GetLumService(), nullptr);
    }).join();
    EXPECT_EQ(OBLumHandler::GetLumService(), installed);
    OBLumHandler::ResetLumService();
    delete installed;

    OBConvertorLumService* own = new OBConvertorLumService;
    OBLumHandler::SetLumService(own);
    {
        OBConvertorManager manager(readers_.Path(), writers_.Path());
        EXPECT_EQ(OBLumHandler::GetLumService(), own);
    }
    EXPECT_EQ(OBLumHandler::GetLumService(), own)
        << "the manager removed a service it did not install";
    own->SetEncoding(0); // still alive
    OBLumHandler::ResetLumService();
    delete own;
}

} // namespace
