// Alerts and debug breaks as the alert sink sees them, the conversion log,
// the per-thread error values, and a debug break under a real tracer.
#include <ombra/diagnostics.h>
#include <ombra/messages.h>
#include <ombra/resources.h>

#include "support/TestSupport.h"
#include "text/TextFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <string>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Box {
    std::string title, text;
    unsigned style;
};

std::vector<Box> gBoxes;
int gAnswer = OBMB::kIDOK;

int RecordingSink(const char* title, const char* text, unsigned style) {
    gBoxes.push_back({title, text, style});
    return gAnswer;
}

class WithSink : public ::testing::Test {
protected:
    void SetUp() override {
        gBoxes.clear();
        gAnswer = OBMB::kIDOK;
        OBCAlert::SetAlertSink(RecordingSink);
    }
    void TearDown() override { OBCAlert::SetAlertSink(nullptr); }
};

using Alerts = WithSink;

TEST_F(Alerts, EachKindHasItsTitle) {
    COBString message("Disk full");
    OBCAlert::InformationAlert(message);
    OBCAlert::WarningAlert(message);
    OBCAlert::ErrorAlert(message);
    OBCAlert::StartupErrorAlert(message);
    OBCAlert::StartupWarningAlert(message);
    COBString button("OK");
    gAnswer = OBMB::kIDCancel; // the answer is not used
    EXPECT_EQ(OBCAlert::ModalAlert(message, button, 1, button, 2, button, 3, 1, 2), 1);
    EXPECT_EQ(OBCAlert::StartuSModalAlert(message, button, 1, button, 2, button, 3, 1, 2), 1);
    std::vector<std::string> titles = {"Ombra Information Alert", "Ombra Warning!!",
                                       "Ombra Error!!"};
    titles.resize(7, "Error");
    ASSERT_EQ(gBoxes.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i)
        EXPECT_EQ(gBoxes[i].title + ":" + gBoxes[i].text + ":" + std::to_string(gBoxes[i].style),
                  titles[i] + ":Disk full:" + std::to_string(OBMB::kOKCancel));
    // No text service on this thread: the core's own converts to UTF-8.
    ASSERT_EQ(OBLumHandler::GetLumService(), nullptr);
    OBCAlert::SetShowAlerts(0); // alerts are always shown
    EXPECT_EQ(OBCAlert::GetShowAlerts(), 1);
    OBCAlert::ErrorAlert(COBString("\x93\xFA\x96\x7B", WSE::kJapaneseScript)); // 日本
    OBCAlert::ErrorAlert(COBString("caf\xE9", WSE::kSystemScript));
    ASSERT_EQ(gBoxes.size(), 9u);
    EXPECT_EQ(gBoxes[7].text, "\xE6\x97\xA5\xE6\x9C\xAC");
    EXPECT_EQ(gBoxes[8].text, "caf\xC3\xA9");
}

TEST(AlertSink, TheDefaultWritesToStandardErrorAndNeverStops) {
    OBCAlert::SetAlertSink(RecordingSink);
    OBCAlert::SetAlertSink(nullptr);
    EXPECT_EQ(OBCAlert::GetAlertSink(), &OBCAlert::DefaultAlertSink);

    ::testing::internal::CaptureStderr();
    OBCAlert::WarningAlert(COBString("low on paper"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Ombra Warning!!: low on paper\n");

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(OBCAlert::DefaultAlertSink("t", "x", OBMB::kDebugBreakStyle), OBMB::kIDIgnore);
    EXPECT_EQ(OBCAlert::DefaultAlertSink("t", "x", OBMB::kDebugQuestionStyle), OBMB::kIDNo);
    EXPECT_EQ(OBCAlert::DefaultAlertSink("t", "x", OBMB::kYesNoCancel), OBMB::kIDCancel);
    EXPECT_EQ(OBCAlert::DefaultAlertSink("t", "x", OBMB::kOKCancel), OBMB::kIDOK);
    EXPECT_EQ(OBCAlert::DefaultAlertSink(nullptr, nullptr, OBMB::kOK), OBMB::kIDOK);
    ::testing::internal::GetCapturedStderr();

    // Debug breaks with the default sink say so and go on.
    if (IsOBDebuggerRunning() == 0) {
        ::testing::internal::CaptureStderr();
        OBBreakToDebugger();
        OBBreakStrToDebugger("still running");
        EXPECT_NE(::testing::internal::GetCapturedStderr().find("still running"),
                  std::string::npos);
    }
}

class DebugBreaks : public WithSink {
protected:
    void SetUp() override {
        WithSink::SetUp();
        if (IsOBDebuggerRunning() == 1) GTEST_SKIP() << "a debugger is attached";
    }
};

// The plain break asks Abort/Retry/Ignore; a message break asks a question
// after the message, cut to 2499 bytes in all.
TEST_F(DebugBreaks, TheBoxesAndTheirTexts) {
    gAnswer = OBMB::kIDIgnore;
    OBBreakToDebugger();
    gAnswer = OBMB::kIDRetry;
    OBBreakToDebugger();
    gAnswer = OBMB::kIDNo;
    OBBreakStrToDebugger("Bad frame chain");
    OBBreakStrToDebugger(nullptr);
    OBBreakStrToDebugger("caf\xE9"); // the system script's bytes reach the sink as UTF-8
    // The last one has room for the first ten bytes of the question only.
    for (int length : {3000, 2501, 2500, 2499, 2489})
        OBBreakStrToDebugger(std::string(length, 'm').c_str());
    ASSERT_EQ(gBoxes.size(), 10u);
    EXPECT_EQ(gBoxes[0].title + gBoxes[0].text, "ErrorDebug Break");
    EXPECT_EQ(gBoxes[0].style, 0x12212u);
    EXPECT_EQ(gBoxes[2].title, "Debug Break");
    EXPECT_EQ(gBoxes[2].style, 0x12014u);
    const std::string question = "\nDo you want to quit the app?";
    const std::string texts[] = {"Bad frame chain" + question, question, "caf\xC3\xA9" + question};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(gBoxes[2 + i].text, texts[i]);
    for (int i = 5; i < 9; ++i)
        EXPECT_EQ(gBoxes[i].text, std::string(2499, 'm')) << i;
    EXPECT_EQ(gBoxes[9].text, std::string(2489, 'm') + "\nDo you wa");
}

int gNestedCalls = 0;
int NestingSink(const char* title, const char* text, unsigned style) {
    RecordingSink(title, text, style);
    ++gNestedCalls;
    OBBreakToDebugger();
    OBBreakStrToDebugger("inner");
    return OBMB::kIDNo;
}

TEST_F(DebugBreaks, ABreakInsideABoxShowsNoSecondBox) {
    OBCAlert::SetAlertSink(NestingSink);
    gNestedCalls = 0;
    OBBreakStrToDebugger("outer");
    OBBreakToDebugger();
    EXPECT_EQ(gNestedCalls, 2); // one box for each outer call, none for the inner ones
    ASSERT_EQ(gBoxes.size(), 2u);
    EXPECT_EQ(gBoxes[0].text, "outer\nDo you want to quit the app?");
    EXPECT_EQ(gBoxes[1].text, "Debug Break");
}

std::mutex gGateMutex;
std::condition_variable gGate;
bool gBoxOpen = false, gMayClose = false;
std::atomic<int> gGateBoxes{0};

int GateSink(const char*, const char*, unsigned) {
    ++gGateBoxes;
    std::unique_lock<std::mutex> lock(gGateMutex);
    gBoxOpen = true;
    gGate.notify_all();
    gGate.wait(lock, [] { return gMayClose; });
    return OBMB::kIDIgnore;
}

TEST_F(DebugBreaks, WhileABoxIsOpenOtherThreadsDoNotAsk) {
    OBCAlert::SetAlertSink(GateSink);
    gBoxOpen = gMayClose = false;
    gGateBoxes = 0;
    std::thread first([] { OBBreakToDebugger(); });
    {
        std::unique_lock<std::mutex> lock(gGateMutex);
        gGate.wait(lock, [] { return gBoxOpen; });
    }
    std::thread second([] {
        OBBreakStrToDebugger("from another thread");
        OBBreakToDebugger();
    });
    second.join(); // returns without a box while the first is open
    {
        std::lock_guard<std::mutex> lock(gGateMutex);
        gMayClose = true;
    }
    gGate.notify_all();
    first.join();
    EXPECT_EQ(gGateBoxes.load(), 1);
    // Closed again: the next break asks.
    OBBreakToDebugger();
    EXPECT_EQ(gGateBoxes.load(), 2);
}

TEST(DebugBreakDeathTest, AbortAndYesEndTheProcessWithoutADebugger) {
    if (IsOBDebuggerRunning() == 1) GTEST_SKIP() << "a debugger is attached";
    EXPECT_DEATH(
        {
            OBCAlert::SetAlertSink(
                [](const char*, const char*, unsigned) -> int { return OBMB::kIDAbort; });
            OBBreakToDebugger();
        },
        "");
    EXPECT_DEATH(
        {
            OBCAlert::SetAlertSink(
                [](const char*, const char*, unsigned) -> int { return OBMB::kIDYes; });
            OBBreakStrToDebugger("quit?");
        },
        "");
}

std::string gTracedText;
int TracedSink(const char*, const char* text, unsigned) {
    gTracedText = text;
    return OBMB::kIDYes;
}

// The child asks for a tracer (its parent), so that it sees a debugger.
TEST(DebugBreakUnderATracer, BreaksStopInTheTracerInsteadOfAsking) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(77);
        raise(SIGSTOP);
        if (IsOBDebuggerRunning() != 1) _exit(10);
        OBCAlert::SetAlertSink(TracedSink);
        OBBreakToDebugger(); // stops: no box
        if (!gTracedText.empty()) _exit(11);
        OBBreakStrToDebugger("boom"); // asks, and Yes stops instead of aborting
        if (gTracedText != "boom\nDo you want to drop into the debugger?") _exit(12);
        _exit(0);
    }
    // A failed assertion must not leave the child behind.
    struct Reaper {
        pid_t pid;
        bool done = false;
        ~Reaper() {
            if (done) return;
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } reaper{child};
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
        reaper.done = true;
        GTEST_SKIP() << "tracing is not allowed";
    }
    ASSERT_TRUE(WIFSTOPPED(status));
    ASSERT_EQ(WSTOPSIG(status), SIGSTOP);
    ASSERT_EQ(ptrace(PTRACE_CONT, child, nullptr, nullptr), 0);
    int traps = 0;
    for (;;) {
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            reaper.done = true;
            break;
        }
        ASSERT_TRUE(WIFSTOPPED(status));
        int signal = WSTOPSIG(status);
        if (signal == SIGTRAP) ++traps;
        // Swallow the traps, pass anything else on.
        void* deliver = reinterpret_cast<void*>(static_cast<long>(signal == SIGTRAP ? 0 : signal));
        ASSERT_EQ(ptrace(PTRACE_CONT, child, nullptr, deliver), 0);
    }
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(traps, 2);
}

// ---- The conversion log -------------------------------------------------------

TEST(ConversionLog, KeepsEachIdOnceInOrderOfFirstReport) {
    OBConversionLogger logger(OBL::kGerman);
    for (unsigned id : {7u, 9u, 7u, 9u})
        logger.AddLogEntry(id);
    EXPECT_EQ(logger.GetStringCount(), 2);
    EXPECT_EQ(logger.GetNthStringId(1), 9u);
    // Growing keeps the order.
    for (unsigned id = 100; id < 200; ++id)
        logger.AddLogEntry(id);
    for (unsigned id = 100; id < 200; ++id)
        logger.AddLogEntry(id);
    ASSERT_EQ(logger.GetStringCount(), 102);
    EXPECT_EQ(logger.GetNthStringId(101), 199u);

    // A detail of any length keeps its first whole characters.
    std::string name;
    for (int k = 0; k < 1000; ++k)
        name += "\xC3\xA9";
    logger.AddLogEntry(9, name.c_str());
    EXPECT_EQ(std::string(logger.GetNthDetail(1, 0)), name.substr(0, 300) + "\xE2\x80\xA6");

    OBConversionLogger copy(logger); // a copy of its own
    logger.AddLogEntry(5);
    EXPECT_EQ(copy.GetStringCount(), 102);
    // Positions outside the log give nothing.
    EXPECT_EQ(logger.GetNthString(-1).Length(), 0);
    EXPECT_EQ(logger.GetNthStringId(500), 0u);

    // The process logger: entries go to the one set, if any.
    OBConversionLogger process;
    EXPECT_EQ(OBLoggerUtility::GetLogger(), nullptr);
    OBLoggerUtility::LogEntry(3);
    OBLoggerUtility::SetLogger(&process);
    for (unsigned id : {3u, 3u, 4u})
        OBLoggerUtility::LogEntry(id);
    OBLoggerUtility::SetLogger(nullptr);
    OBLoggerUtility::LogEntry(5);
    EXPECT_EQ(process.GetStringCount(), 2);
}

TEST(ConversionLog, WithoutMemoryAnEntryIsLostAndTheLogKept) {
    ombra_test::SweepAllocationFailures([] {
        OBConversionLogger logger;
        for (unsigned id = 0; id < 40; ++id)
            logger.AddLogEntry(id);
        for (int i = 0; i < logger.GetStringCount(); ++i)
            EXPECT_EQ(logger.GetNthStringId(i), static_cast<unsigned>(i));
        return logger.GetStringCount() == 40;
    });
}

// A module with the messages of two error codes in English and Japanese.
class WithMessages : public ombra_test::WithTextService {
protected:
    void SetUp() override {
        WithTextService::SetUp();
        unsigned malformed = OBMessageId(OBERR::kMalformedInput);
        unsigned noWriter = OBMessageId(OBERR::kNoWriterLoaded);
        table_.SetString(malformed + OBL::kEnglish, "The input is damaged.");
        table_.SetString(malformed + OBL::kJapanese, "入力が壊れています");
        table_.SetString(noWriter + OBL::kEnglish, "No writer could be loaded.");
        handle_ = &table_;
        OBConnectionUtility::SetCurrentHandle(&handle_);
    }
    void TearDown() override {
        OBConnectionUtility::SetCurrentHandle(nullptr);
        LocaleUtil::ResetCurrentLocale();
        OBErrorUtils::OBResetErrorUtils();
        WithTextService::TearDown();
    }
    OBStringTable table_;
    HINSTANCE handle_ = nullptr;
};

TEST_F(WithMessages, CountsAddUpPerIdAndTheTextsComeInTheLogsLocale) {
    table_.SetString(400000, "Pictures left out: {n}, so {n} in all");
    table_.SetString(400016, "No count here");
    OBConversionLogger logger(OBL::kEnglish);
    logger.AddLogCount(400000, 12);
    logger.AddLogEntry(400016);
    logger.AddLogCount(400000, 3);
    logger.AddLogCount(400016, -4); // counts never fall
    ASSERT_EQ(logger.GetStringCount(), 2);
    EXPECT_EQ(logger.GetNthCount(0), 15);
    EXPECT_EQ(logger.GetNthCount(1), 1);
    EXPECT_EQ(logger.GetNthCount(2), 0);
    EXPECT_STREQ(logger.GetNthString(0).GrabCString(), "Pictures left out: 15, so 15 in all");
    EXPECT_STREQ(logger.GetNthString(1).GrabCString(), "No count here");
    OBConversionLogger copy(logger);
    EXPECT_EQ(copy.GetNthCount(0), 15);

    // The log renders its entries in its locale.
    logger = OBConversionLogger(OBL::kJapanese);
    logger.AddLogEntry(OBMessageId(OBERR::kMalformedInput));
    logger.AddLogEntry(OBMessageId(OBERR::kNoWriterLoaded));
    COBString first = logger.GetNthString(0);
    EXPECT_EQ(first.GetWSEScript(), WSE::kJapaneseScript);
    EXPECT_EQ(ombra_test::U16(first.GrabAsWString()),
              u"\u5165\u529B\u304C\u58CA\u308C\u3066\u3044\u307E\u3059");
    EXPECT_EQ(logger.GetNthString(1).Length(), 0); // no Japanese text for it
    logger.SetLocale(OBL::kEnglish);
    EXPECT_STREQ(logger.GetNthString(0).GrabCString(), "The input is damaged.");
    EXPECT_STREQ(logger.GetNthString(1).GrabCString(), "No writer could be loaded.");
}

TEST_F(WithMessages, TheErrorStringFollowsTheThreadsLocale) {
    OBErrorUtils::OBSetGlobalErrorCode(OBERR::kMalformedInput, OBMessageId(OBERR::kMalformedInput));
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), 3);
    EXPECT_STREQ(OBErrorUtils::OBGetGlobalErrorString().GrabCString(), "The input is damaged.");
    LocaleUtil::SetCurrentLocale(OBL::kJapanese);
    EXPECT_EQ(ombra_test::U16(OBErrorUtils::OBGetGlobalErrorString().GrabAsWString()),
              u"\u5165\u529B\u304C\u58CA\u308C\u3066\u3044\u307E\u3059");
    // The writer manager's id with all bits set has no text.
    OBErrorUtils::OBSetGlobalErrorCode(OBERR::kNoWriterLoaded, 0xFFFFFFFFu);
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), 11);
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorString().Length(), 0);
}

TEST(ErrorValues, BelongToTheirThread) {
    OBErrorUtils::OBInitErrorUtils();
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), 0);
    OBErrorUtils::OBSetGlobalErrorCode(OBERR::kBadValue, 42);
    int otherFresh = -1, otherSet = -1;
    unsigned otherId = 0;
    std::thread other([&] {
        otherFresh = OBErrorUtils::OBGetGlobalErrorCode();
        OBErrorUtils::OBSetGlobalErrorCode(OBERR::kWriteFailed, 7);
        otherSet = OBErrorUtils::OBGetGlobalErrorCode();
        otherId = OBErrorUtils::OBGetGlobalErrorStringId();
    });
    other.join();
    EXPECT_EQ(otherFresh, 0);
    EXPECT_EQ(otherSet, OBERR::kWriteFailed);
    EXPECT_EQ(otherId, 7u);
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorStringId(), 42u);
    OBErrorUtils::OBInitErrorUtils(); // keeps what is there
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), OBERR::kBadValue);
    OBErrorUtils::OBResetErrorUtils();
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorCode(), 0);
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorStringId(), 0u);
    EXPECT_EQ(OBErrorUtils::OBGetGlobalErrorString().Length(), 0); // no module
    // Without memory for the thread's values, they read as zero.
    ombra_test::SweepAllocationFailures([] {
        OBErrorUtils::OBResetErrorUtils();
        OBErrorUtils::OBSetGlobalErrorCode(OBERR::kOutOfMemory, 1);
        int code = OBErrorUtils::OBGetGlobalErrorCode();
        EXPECT_TRUE(code == 0 || code == OBERR::kOutOfMemory);
        OBErrorUtils::OBResetErrorUtils();
        return code == OBERR::kOutOfMemory;
    });
}

} // namespace
