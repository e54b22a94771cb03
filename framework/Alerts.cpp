// Alerts and debug breaks, shown through the alert sink.
#include <ombra/convertorlumservice.h>
#include <ombra/diagnostics.h>
#include <ombra/memory.h>
#include <ombra/utf8.h>

#include "platform/System.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<OBAlertSink> gAlertSink{nullptr};

// Starts at -1 so that the outermost debug break raises it to 0.
std::atomic<int> gBreakDepth{-1};

// Set when the library is unloaded (at exit or dlclose): the host's sink
// may be gone by then.
std::atomic<bool> gProcessDetaching{false};

__attribute__((destructor)) void MarkProcessDetaching() {
    gProcessDetaching.store(true);
}

const char kDebugBreakText[] = "Debug Break";
const char kSystemDefaultTitle[] = "Error";
const char kDropQuestion[] = "\nDo you want to drop into the debugger?";
const char kQuitQuestion[] = "\nDo you want to quit the app?";
constexpr std::size_t kBreakMessageSize = 2500;

int ShowBox(const char* title, const char* text, unsigned style) {
    OBAlertSink sink = gAlertSink.load();
    if (!sink || gProcessDetaching.load()) sink = OBCAlert::DefaultAlertSink;
    return sink(title, text ? text : "", style);
}

// 8-bit text of a writing script as UTF-8 for the sink. ASCII passes as it
// is; other text goes through the calling thread's text service, or the
// core's when the thread has none. When nothing converts (no memory), the
// bytes pass as they are.
class SinkText {
public:
    SinkText(const char* bytes, WSE::WritingScriptEnum script) : text_(bytes ? bytes : "") {
        std::size_t n = std::strlen(text_);
        bool ascii = true;
        for (std::size_t i = 0; i < n && ascii; ++i)
            ascii = static_cast<unsigned char>(text_[i]) < 0x80;
        if (ascii) return;
        auto* units = static_cast<unsigned short*>(OBLibAllocate((n + 1) * sizeof(unsigned short)));
        if (!units) return;
        OBConvertorLumService core;
        OBLumService* service = OBLumHandler::GetLumService();
        if (!service) service = &core;
        long long produced =
            service->CharToTextChar(text_, static_cast<long long>(n), units,
                                    static_cast<long long>(n), script, CPGE::kCodePageFromScript);
        if (produced > 0 && produced <= static_cast<long long>(n)) {
            OBStringUtils::ConvertUTF16StringToUTF8(
                units, static_cast<unsigned long long>(produced), utf8_);
            if (utf8_.Length() > 0) text_ = utf8_.GrabCString();
        }
        OBLibFree(units);
    }
    const char* Get() const { return text_; }

private:
    COBString utf8_;
    const char* text_;
};

void Alert(const char* title, const COBString& message) {
    SinkText text(message.GrabCString(), message.GetWSEScript());
    ShowBox(title, text.Get(), OBMB::kAlertStyle);
}

void WriteError(const char* text) {
    obsys::WriteStandardError(text, std::strlen(text));
}

} // namespace

// ---- OBCAlert -------------------------------------------------------------------

void OBCAlert::InformationAlert(const COBString& message) {
    Alert("Ombra Information Alert", message);
}

void OBCAlert::WarningAlert(const COBString& message) {
    Alert("Ombra Warning!!", message);
}

void OBCAlert::ErrorAlert(const COBString& message) {
    Alert("Ombra Error!!", message);
}

void OBCAlert::StartupErrorAlert(const COBString& message) {
    Alert("Error", message);
}

void OBCAlert::StartupWarningAlert(const COBString& message) {
    Alert("Error", message);
}

short OBCAlert::ModalAlert(const COBString& message, const COBString&, short, const COBString&,
                           short, const COBString&, short, short, short) {
    Alert("Error", message);
    return 1;
}

short OBCAlert::StartuSModalAlert(const COBString& message, const COBString&, short,
                                  const COBString&, short, const COBString&, short, short, short) {
    Alert("Error", message);
    return 1;
}

void OBCAlert::SetShowAlerts(short) {}

short OBCAlert::GetShowAlerts() {
    return 1;
}

void OBCAlert::SetAlertSink(OBAlertSink sink) {
    gAlertSink.store(sink);
}

OBAlertSink OBCAlert::GetAlertSink() {
    OBAlertSink sink = gAlertSink.load();
    return sink ? sink : DefaultAlertSink;
}

int OBCAlert::DefaultAlertSink(const char* title, const char* text, unsigned style) {
    WriteError(title ? title : "");
    WriteError(": ");
    WriteError(text ? text : "");
    WriteError("\n");
    switch (style & OBMB::kButtonsMask) {
    case OBMB::kAbortRetryIgnore:
        return OBMB::kIDIgnore;
    case OBMB::kYesNo:
        return OBMB::kIDNo;
    case OBMB::kYesNoCancel:
    case OBMB::kRetryCancel:
        return OBMB::kIDCancel;
    default:
        return OBMB::kIDOK;
    }
}

// ---- Debug breaks -----------------------------------------------------------------

short IsOBDebuggerRunning() {
    return obsys::DebuggerPresent() ? 1 : 0;
}

void OBBreakToDebugger() {
    int depth = ++gBreakDepth;
    if (IsOBDebuggerRunning() == 1) {
        obsys::BreakIntoDebugger();
    } else if (depth == 0) {
        if (ShowBox(kSystemDefaultTitle, kDebugBreakText, OBMB::kDebugBreakStyle) == OBMB::kIDAbort)
            obsys::AbortProcess();
    }
    --gBreakDepth;
}

void OBBreakStrToDebugger(const char* message) {
    int depth = ++gBreakDepth;
    if (depth > 0) {
        if (IsOBDebuggerRunning() == 1) obsys::BreakIntoDebugger();
        --gBreakDepth;
        return;
    }
    char buffer[kBreakMessageSize];
    std::size_t length = message ? std::strlen(message) : 0;
    if (length > kBreakMessageSize - 1) length = kBreakMessageSize - 1;
    if (length) std::memcpy(buffer, message, length);
    const char* question = IsOBDebuggerRunning() == 1 ? kDropQuestion : kQuitQuestion;
    std::size_t more = std::strlen(question);
    if (more > kBreakMessageSize - 1 - length) more = kBreakMessageSize - 1 - length;
    std::memcpy(buffer + length, question, more);
    buffer[length + more] = '\0';

    SinkText text(buffer, WSE::kSystemScript);
    if (ShowBox(kDebugBreakText, text.Get(), OBMB::kDebugQuestionStyle) == OBMB::kIDYes) {
        if (IsOBDebuggerRunning() == 1)
            obsys::BreakIntoDebugger();
        else
            obsys::AbortProcess();
    }
    --gBreakDepth;
}
