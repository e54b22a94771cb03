// The reader and writer managers with real plug-in libraries: discovery,
// loading and its failures, the detection order, chosen readers per thread,
// formats, probing, unloading and writers by id.
#include <ombra/diagnostics.h>
#include <ombra/messages.h>
#include <ombra/readermanager.h>
#include <ombra/writermanager.h>

#include "framework/PlugInFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace ombra_test;
using namespace std::chrono_literals;

/// One counted reference on a manager for a test's duration.
template <class Manager> class Counted {
public:
    explicit Counted(const std::string& folder) {
        COBString path(folder.c_str());
        manager_ = Manager::CreateInstance(path, kPathStyleNative);
    }
    ~Counted() {
        if (manager_) manager_->DeleteInstance();
    }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    Manager* operator->() const { return manager_; }
    Manager* Get() const { return manager_; }

protected:
    Manager* manager_;
};
using Writers = Counted<WriterManager>;

class Readers : public Counted<ReaderManager> {
public:
    using Counted::Counted;

    /// The record with this reader id, as listed.
    OBReaderData Record(int id) const {
        OBReaderData record;
        for (long long i = 0; i < manager_->GetNumberOfReaders(); ++i) {
            OBReaderData r;
            if (manager_->GetNthReaderData(i, r) && r.GetReaderID() == id) return r;
        }
        return record;
    }
    /// The reader id that recognises the script on this thread, or 0.
    int Detect(const std::string& script) const {
        ScriptInput input(script);
        short found = 7;
        OBReaderData record = manager_->CanImportThis(input.Stream(), found);
        if (!found) {
            EXPECT_EQ(record.GetReaderRoot(), nullptr);
            EXPECT_EQ(record.GetLoadStatus(), kLoadStatusNone);
            return 0;
        }
        EXPECT_EQ(found, 1);
        EXPECT_NE(record.GetReaderRoot(), nullptr);
        return record.GetReaderID();
    }
};

class ReaderManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ReaderManager::GetInstance(), nullptr) << "a manager leaked from another test";
        ClearRecorded();
    }
    void TearDown() override { EXPECT_EQ(ReaderManager::GetInstance(), nullptr); }
    PlugInFolder folder_;
};

TEST_F(ReaderManagerTest, FindsReadersInSubfoldersByTheExactExtension) {
    folder_.Add("reader9.obrd")
        .Add("reader16.obrd", "deeper/still")
        .Add("reader1.obrd", ".hidden")
        .Add("reader15.obrd", "", "reader15.OBRD")
        .Add("reader19.obrd", "", "reader19.obrd.bak")
        .Write("notes.txt", "not a plug-in");
    Readers readers(folder_.Path());
    ASSERT_NE(readers.Get(), nullptr);
    EXPECT_EQ(readers->GetNumberOfReaders(), 2);

    OBReaderData nine = readers.Record(9);
    EXPECT_EQ(nine.GetLoadStatus(), kLoadStatusLoaded);
    EXPECT_STREQ(nine.GetReaderRoot()->GetReaderName().GrabCString(), "reader9.obrd");
    EXPECT_EQ(nine.GetMajorVersionNumber(), 9);
    EXPECT_EQ(nine.GetMinorVersionNumber(), 7);
    EXPECT_EQ(nine.GetReaderRefCount(), 1);
    EXPECT_FALSE(nine.HasError());
    EXPECT_EQ(readers.Record(16).GetLoadStatus(), kLoadStatusLoaded);
}

TEST_F(ReaderManagerTest, SkipsLibrariesThatFailAndSaysWhy) {
    folder_.Write("text.obrd", "I am not a library");
    folder_.Add("noentry.obrd").Add("nullentry.obrd").Add("throwing.obrd").Add("reader9.obrd");
    Readers readers(folder_.Path());
    ASSERT_EQ(readers->GetNumberOfReaders(), 5);
    int loaded = 0;
    for (long long i = 0; i < 5; ++i) {
        OBReaderData record;
        ASSERT_EQ(readers->GetNthReaderData(i, record), 1);
        std::string path = record.GetSystemPathNameRef().GrabCString();
        std::string error = record.GetErrorString().GrabCString();
        if (record.GetLoadStatus() == kLoadStatusLoaded) {
            ++loaded;
            EXPECT_EQ(record.GetReaderID(), 9);
            continue;
        }
        EXPECT_EQ(record.GetLoadStatus(), kLoadStatusNotLoaded) << path;
        EXPECT_EQ(record.GetReaderRoot(), nullptr) << path;
        EXPECT_TRUE(record.HasError()) << path;
        const char* const why[][2] = {
            {"text.obrd", "cannot load the library"},
            {"noentry", "no entry point GetReader"},
            {"nullentry", "GetReader returned no object"},
            {"throwing", "GetReader threw an exception: no reader today"}};
        for (const auto& [file, said] : why)
            EXPECT_TRUE(path.find(file) == std::string::npos ||
                        error.find(said) != std::string::npos)
                << error;
    }
    EXPECT_EQ(loaded, 1);
    EXPECT_EQ(readers.Detect("answer:9=1"), 9);
    OBReaderData outside(OBSysFileRef("/unchanged"));
    EXPECT_EQ(readers->GetNthReaderData(5, outside), 0);
    EXPECT_STREQ(outside.GetSystemPathNameRef().GrabCString(), "/unchanged");
}

TEST_F(ReaderManagerTest, AsksInTheFixedOrderAndStopsAtTheFirstYes) {
    folder_.Add("reader9.obrd").Add("reader16.obrd").Add("reader1.obrd");
    Readers readers(folder_.Path());
    EXPECT_EQ(readers.Detect("answer:9=1 answer:16=1"), 16);
    EXPECT_EQ(EventsStartingWith("R9:"), std::vector<std::string>{})
        << "16 comes before 9, and the first yes ends the detection";
    EXPECT_EQ(EventsStartingWith("R1:"), std::vector<std::string>{"R1:CanImportThis 0"});

    EXPECT_EQ(readers.Detect("answer:9=1 answer:16=2"), 9) << "only exactly 1 is a yes";
    EXPECT_EQ(readers.Detect(""), 0);
    short found = 9;
    readers->CanImportThis(nullptr, found);
    EXPECT_EQ(found, 0);
}

TEST_F(ReaderManagerTest, ReadersOutsideTheOrderAreAskedOnlyWhenChosen) {
    folder_.Add("reader15.obrd").Add("reader19.obrd").Add("reader30.obrd");
    Readers readers(folder_.Path());
    EXPECT_EQ(readers->GetNumberOfReaders(), 3);
    const std::string all = "answer:15=1 answer:19=1 answer:30=1";
    EXPECT_EQ(readers.Detect(all), 0);
    EXPECT_TRUE(Recorded().empty()) << "none of them was even asked";

    int ids[] = {30, 19};
    OBChosenReaderIDList chosen{ids, 2};
    readers->UseReaders(&chosen);
    ids[0] = 15; // the manager keeps its own copy
    EXPECT_EQ(readers.Detect(all), 30);
    readers->ResetUseReaders();
    EXPECT_EQ(readers.Detect(all), 0);
}

TEST_F(ReaderManagerTest, ChosenReadersBelongToOneThread) {
    folder_.Add("reader9.obrd").Add("reader16.obrd");
    Readers readers(folder_.Path());
    const std::string both = "answer:9=1 answer:16=1";
    int nine[] = {9};
    OBChosenReaderIDList onlyNine{nine, 1};
    readers->UseReaders(&onlyNine);
    EXPECT_EQ(std::async(std::launch::async, [&] { return readers.Detect(both); }).get(), 16)
        << "another thread keeps the default order";
    EXPECT_EQ(readers.Detect(both), 9);
    EXPECT_EQ(readers.Detect(both), 9) << "the choice lasts until a reader resets";

    OBChosenReaderIDList none{nine, 0};
    readers->UseReaders(&none);
    EXPECT_EQ(readers.Detect(both), 0) << "an empty choice finds nothing";
    readers->UseReaders(nullptr);
    EXPECT_EQ(readers.Detect(both), 0);
    readers->ResetUseReaders();
    EXPECT_EQ(readers.Detect(both), 16);
}

TEST_F(ReaderManagerTest, AChoiceDoesNotOutliveItsManager) {
    folder_.Add("reader9.obrd").Add("reader16.obrd");
    const std::string both = "answer:9=1 answer:16=1";
    int nine[] = {9};
    OBChosenReaderIDList onlyNine{nine, 1};
    std::promise<void> chose, recreated;
    std::thread other;
    {
        Readers first(folder_.Path());
        other = std::thread([&] {
            first->UseReaders(&onlyNine);
            chose.set_value();
            recreated.get_future().wait();
            Readers second(folder_.Path());
            EXPECT_EQ(second.Detect(both), 16);
        });
        chose.get_future().wait();
    }
    recreated.set_value();
    other.join();
}

TEST_F(ReaderManagerTest, LaterInstancesShareTheFirst) {
    folder_.Add("reader9.obrd");
    PlugInFolder elsewhere;
    elsewhere.Add("reader16.obrd").Add("reader1.obrd");
    Readers first(folder_.Path());
    {
        Readers second(elsewhere.Path());
        EXPECT_EQ(second.Get(), first.Get());
        EXPECT_EQ(second->GetNumberOfReaders(), 1);
    }
    EXPECT_EQ(ReaderManager::GetInstance(), first.Get()) << "one DeleteInstance per CreateInstance";

    folder_.Add("reader16.obrd");
    first->DetectReaders();
    EXPECT_EQ(first->GetNumberOfReaders(), 1) << "records exist: the folder is not read again";
}

TEST_F(ReaderManagerTest, ListsEveryFormatEvenBeyondTenPerRecord) {
    folder_.Add("reader30.obrd").Add("reader9.obrd", "sub");
    Readers readers(folder_.Path());
    Format* formats = nullptr;
    int n = readers->GetFormats(formats);
    ASSERT_NE(formats, nullptr);
    ASSERT_EQ(n, 27);
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i)
        names.push_back(formats[i].GetFormatString());
    EXPECT_EQ(names.front(), "R30f0");
    EXPECT_EQ(names[24], "R30f24");
    EXPECT_EQ(names[25], "R9f0");
    EXPECT_EQ(formats[26].GetFileType(), 901u);
    EXPECT_EQ(formats[26].GetCreatorType(), 0x4F42u);
    delete[] formats;

    readers->UnloadAllReaders(1);
    formats = nullptr;
    EXPECT_EQ(readers->GetFormats(formats), 0);
    EXPECT_NE(formats, nullptr) << "an array is handed out even when nothing is found";
    delete[] formats;
}

TEST_F(ReaderManagerTest, UnloadedRootsAreNeverReachedAgain) {
    folder_.Add("reader9.obrd").Add("reader16.obrd");
    Readers readers(folder_.Path());
    readers->LoadAllReaders();
    EXPECT_EQ(readers.Record(9).GetReaderRefCount(), 2);
    readers->UnloadReader(9, 1);
    EXPECT_EQ(readers.Record(9).GetReaderRefCount(), 1);
    readers->UnloadReader(12345, 1); // no such reader: nothing happens
    readers->UnloadReader(9, 1);
    OBReaderData nine = readers.Record(9);
    EXPECT_EQ(nine.GetLoadStatus(), kLoadStatusNotLoaded);
    EXPECT_EQ(nine.GetReaderRoot(), nullptr);
    EXPECT_EQ(readers.Detect("answer:9=1"), 0);
    EXPECT_EQ(readers.Detect("answer:9=1 answer:16=1"), 16);

    readers->UnloadAllReaders(0); // 16 goes from 2 to 1 and stays
    EXPECT_EQ(readers.Detect("answer:16=1"), 16);
    readers->UnloadAllReaders(0); // now its root goes; the library stays loaded
    EXPECT_EQ(readers.Record(16).GetReaderRoot(), nullptr);
    EXPECT_EQ(readers.Detect("answer:16=1"), 0);

    readers->LoadAllReaders();
    EXPECT_EQ(readers.Record(9).GetLoadStatus(), kLoadStatusLoaded);
    EXPECT_EQ(readers.Detect("answer:9=1"), 9);
}

TEST_F(ReaderManagerTest, GetReaderHandsOutANewObjectThatTheCallerDeletes) {
    folder_.Add("reader9.obrd").Add("reader16.obrd").Add("nullentry.obrd");
    Readers readers(folder_.Path());
    ClearRecorded();
    // Loaded or not before, the record keeps a root of its own and counts
    // one more reference; the caller's object goes without harm to it.
    readers->UnloadReader(16, 1);
    for (int id : {9, 16}) {
        int before = readers.Record(id).GetReaderRefCount();
        ScriptInput input("answer:" + std::to_string(id) + "=1");
        OBReader* reader = readers->GetReader(input.Stream());
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->GetReaderID(), id);
        EXPECT_STREQ(reader->GetReaderName().GrabCString(),
                     ("reader" + std::to_string(id) + ".obrd").c_str());
        OBReader* root = readers.Record(id).GetReaderRoot();
        ASSERT_NE(root, nullptr);
        EXPECT_NE(reader, root);
        EXPECT_EQ(readers.Record(id).GetReaderRefCount(), before + 1);
        delete reader;
        EXPECT_EQ(readers.Detect("answer:" + std::to_string(id) + "=1"), id);
    }

    ScriptInput nobody("answer:3=1");
    EXPECT_EQ(readers->GetReader(nobody.Stream()), nullptr);
    EXPECT_EQ(readers->GetReader(nullptr), nullptr);
}

TEST_F(ReaderManagerTest, AProbeThatThrowsIsANoAndSaysSoInItsRecord) {
    folder_.Add("reader9.obrd").Add("reader16.obrd");
    Readers readers(folder_.Path());
    const std::string throwing = "answer:16=1 answer:9=1 throw=CanImportThis";
    readers->UnloadReader(16, 1);
    EXPECT_EQ(readers.Detect(throwing), 0) << "loaded roots";
    ScriptInput input(throwing);
    EXPECT_EQ(readers->GetReader(input.Stream()), nullptr) << "probes of unloaded libraries";
    for (int id : {9, 16}) {
        EXPECT_NE(std::string(readers.Record(id).GetRuntimeErrorString().GrabCString())
                      .find("CanImportThis threw an exception"),
                  std::string::npos)
            << id;
    }
}

TEST_F(ReaderManagerTest, AnEmptyFolderHasNoReaders) {
    Readers readers(folder_.Path());
    EXPECT_EQ(readers->GetNumberOfReaders(), 0);
    EXPECT_EQ(readers.Detect("answer:9=1"), 0);
    PlugInFolder missing;
    std::string gone = missing.Path() + "/missing";
    Readers same(gone);
    EXPECT_EQ(same.Get(), readers.Get());
}

TEST_F(ReaderManagerTest, ReadersListTheirPreferencesForAnyInput) {
    folder_.Add("reader9.obrd");
    Readers readers(folder_.Path());
    OBPreferenceList list;
    ASSERT_EQ(readers->GetNthReaderPreferences(0, &list), 1);
    EXPECT_EQ(list.GetNumberOfPreferences(), 4);
    EXPECT_EQ(EventsStartingWith("R9:GetStreamPrefs"),
              std::vector<std::string>{"R9:GetStreamPrefs null"});
    EXPECT_EQ(readers->GetNthReaderPreferences(1, &list), 0);
    EXPECT_EQ(readers->GetNthReaderPreferences(0, nullptr), 0);
}

// ---- writers ---------------------------------------------------------------

class WriterManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(WriterManager::GetInstance(), nullptr) << "a manager leaked from another test";
        ClearRecorded();
        OBErrorUtils::OBResetErrorUtils();
    }
    void TearDown() override {
        EXPECT_EQ(WriterManager::GetInstance(), nullptr);
        OBErrorUtils::OBResetErrorUtils();
    }
    PlugInFolder folder_;
};

TEST_F(WriterManagerTest, HandsOutOneSharedWriterById) {
    folder_.Add("writer259.obwt", "text").Add("writer300.obwt").Add("reader9.obrd");
    Writers writers(folder_.Path());
    EXPECT_EQ(writers->GetNumberOfWriters(), 2);
    OBWriter* text = writers->GetWriter(259);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->GetWriterName().GrabCString(), "writer259.obwt");
    EXPECT_EQ(writers->GetWriter(259), text);

    OBErrorUtils::OBSetGlobalErrorCode(4, 44);
    EXPECT_EQ(writers->GetWriter(5), nullptr);
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), 4) << "an unknown id sets no error";

    writers->UnloadWriter(259, 1);
    EXPECT_EQ(writers->GetWriter(259), text) << "unloading a single writer has no effect";

    int count = 0;
    for (long long i = 0; i < writers->GetNumberOfWriters(); ++i) {
        OBWriterData record;
        ASSERT_EQ(writers->GetNthWriterData(i, record), 1);
        if (record.GetWriterID() == 259) count = record.GetWriterRefCount();
    }
    EXPECT_EQ(count, 4); // the load and three GetWriter calls

    Format* formats = nullptr;
    int n = writers->GetFormats(formats);
    ASSERT_EQ(n, 2);
    EXPECT_STREQ(formats[0].GetFormatString(), "Text");
    delete[] formats;

    OBPreferenceList list;
    for (long long i = 0; i < 2; ++i)
        writers->GetNthWriterPreferences(i, &list);
    EXPECT_EQ(list.GetNumberOfPreferences(), 10);
}

TEST_F(WriterManagerTest, AnEmptyFolderReportsErrorElevenAndReturns) {
    folder_.Add("reader9.obrd").Write("broken.obwt", "no library either");
    Writers writers(folder_.Path());
    EXPECT_EQ(writers->GetNumberOfWriters(), 1);
    struct Outcome {
        OBWriter* writer;
        int code;
        unsigned stringId;
    };
    auto lookup = std::async(std::launch::async, [&] {
        OBWriter* writer = writers->GetWriter(259);
        return Outcome{writer, OBErrorUtils::OBGetGlobalErrorCode(),
                       OBErrorUtils::OBGetGlobalErrorStringId()};
    });
    ASSERT_EQ(lookup.wait_for(10s), std::future_status::ready) << "GetWriter hangs";
    Outcome outcome = lookup.get();
    EXPECT_EQ(outcome.writer, nullptr);
    EXPECT_EQ(outcome.code, OBERR::kNoWriterLoaded);
    EXPECT_EQ(outcome.stringId, 0xFFFFFFFFu);
    // Every look-up tries the load again, and fails again.
    EXPECT_EQ(writers->GetWriter(259), nullptr);
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), OBERR::kNoWriterLoaded);
}

} // namespace
