// How the core reports to people and hosts: alerts, the conversion log, the
// per-thread error code and the debug breaks.
#ifndef OMBRA_DIAGNOSTICS_H
#define OMBRA_DIAGNOSTICS_H

#include <ombra/export.h>
#include <ombra/scripts.h>
#include <ombra/strings.h>

/// Message-box styles and the buttons a box answers with, as the alert
/// sink receives and returns them.
namespace OBMB {
enum StyleEnum : unsigned {
    kOK = 0x0,
    kOKCancel = 0x1,
    kAbortRetryIgnore = 0x2,
    kYesNoCancel = 0x3,
    kYesNo = 0x4,
    kRetryCancel = 0x5,
    kButtonsMask = 0xF, ///< the bits above that choose the buttons
    kIconStop = 0x10,
    kDefaultButton2 = 0x100,
    kDefaultButton3 = 0x200,
    kTaskModal = 0x2000,
    kSetForeground = 0x10000,
};
enum ButtonEnum : int {
    kIDOK = 1,
    kIDCancel = 2,
    kIDAbort = 3,
    kIDRetry = 4,
    kIDIgnore = 5,
    kIDYes = 6,
    kIDNo = 7,
};
/// The style of every alert.
constexpr unsigned kAlertStyle = kOKCancel;
/// The debug-break box: Abort/Retry/Ignore, stop icon, Ignore the default.
constexpr unsigned kDebugBreakStyle =
    kAbortRetryIgnore | kIconStop | kDefaultButton3 | kTaskModal | kSetForeground;
/// The debug-break question: Yes/No, stop icon.
constexpr unsigned kDebugQuestionStyle = kYesNo | kIconStop | kTaskModal | kSetForeground;
} // namespace OBMB

/// Shows a message box: title and text as UTF-8, the style (OBMB) and the
/// answer (an OBMB button). A host installs one to show alerts its own way.
typedef int (*OBAlertSink)(const char* title, const char* text, unsigned style);

/// Message boxes. Each alert goes to the alert sink with its title, the
/// message converted from its writing script to UTF-8 and the style
/// OK/Cancel, and blocks the calling thread until the sink returns; the
/// answer is not used.
class OMBRA_API OBCAlert {
public:
    /// Title "Ombra Information Alert".
    static void InformationAlert(const COBString& message);
    /// Title "Ombra Warning!!".
    static void WarningAlert(const COBString& message);
    /// Title "Ombra Error!!".
    static void ErrorAlert(const COBString& message);
    /// Title "Error".
    static void StartupErrorAlert(const COBString& message);
    /// Title "Error".
    static void StartupWarningAlert(const COBString& message);
    /// Shows message with title "Error" and returns 1. The button texts and
    /// the other numbers are not used.
    static short ModalAlert(const COBString& message, const COBString& button1, short value1,
                            const COBString& button2, short value2, const COBString& button3,
                            short value3, short defaultButton, short cancelButton);
    /// As ModalAlert.
    static short StartuSModalAlert(const COBString& message, const COBString& button1, short value1,
                                   const COBString& button2, short value2, const COBString& button3,
                                   short value3, short defaultButton, short cancelButton);
    /// Has no effect: alerts are always shown.
    static void SetShowAlerts(short show);
    /// Always 1.
    static short GetShowAlerts();

    /// Installs the sink that shows every alert and debug-break box,
    /// process-wide; null restores the default. Set it before conversions
    /// start. The sink runs on the thread that raised the box (there is no
    /// message loop that a box could re-enter here, and the sink keeps that
    /// thread's text service and locale). While the library is being
    /// unloaded, boxes go to the default sink, since the host's may be gone.
    static void SetAlertSink(OBAlertSink sink);
    /// The installed sink; DefaultAlertSink when none is.
    static OBAlertSink GetAlertSink();
    /// Writes "title: text" and a line feed to the standard error stream and
    /// answers without waiting, with the button that lets the program go on:
    /// Ignore for Abort/Retry/Ignore, No for Yes/No, Cancel for
    /// Yes/No/Cancel and Retry/Cancel, OK otherwise. A process without a
    /// person at a terminal therefore never stops or aborts in a box.
    static int DefaultAlertSink(const char* title, const char* text, unsigned style);
};

/// Collects the string ids of the notes made during a conversion, each id
/// once, in the order of its first report, and renders them in one locale.
/// An entry may carry details: short UTF-8 texts that name what the note is
/// about ("text frame \"Intro\" links to item 7, which does not exist"),
/// each kept once, at most kMaxDetails per entry (the rest are counted).
/// Each entry has a count of how often its note applies: AddLogEntry adds
/// 1, AddLogCount adds n (a writer's summary of "12 pictures without a
/// link" logs its id once with 12), and "{n}" in the entry's text stands
/// for it. Not locked: log from one thread at a time.
class OMBRA_API OBConversionLogger {
public:
    OB_MEMORY_OPERATORS
    /// The details an entry keeps; further ones are only counted.
    static constexpr int kMaxDetails = 20;
    /// A longer detail keeps its first bytes (whole characters) and an ellipsis.
    static constexpr int kMaxDetailBytes = 300;

    /// An empty log whose texts are rendered in locale.
    explicit OBConversionLogger(OBL::LocaleIDEnum locale = OBL::kEnglish);
    OBConversionLogger(const OBConversionLogger& other);
    OBConversionLogger& operator=(const OBConversionLogger& other);
    ~OBConversionLogger();

    /// Appends stringId unless the log holds it already. When memory runs
    /// out the entry is lost and the log stays as it was.
    void AddLogEntry(unsigned int stringId);
    /// As AddLogEntry(stringId), then adds detail (UTF-8; null or empty:
    /// none) to that entry unless the entry has it already. A detail that
    /// finds no memory or no room is counted as omitted.
    void AddLogEntry(unsigned int stringId, const char* detail);
    /// As AddLogEntry(stringId), adding count (when above 0) to the
    /// entry's count instead of 1.
    void AddLogCount(unsigned int stringId, long long count);
    /// The number of entries.
    int GetStringCount() const;
    /// The text of entry n (0 to GetStringCount() - 1): resource id + the
    /// logger's locale from the registered module (OBLoadResourceText),
    /// each "{n}" in it replaced by the entry's count. Empty without a
    /// module, for an id without a text and for n outside the log.
    COBString GetNthString(int n) const;
    /// The string id of entry n, or 0 for n outside the log.
    unsigned int GetNthStringId(int n) const;
    /// The count of entry n (0 outside the log).
    long long GetNthCount(int n) const;
    /// The details kept for entry n (0 outside the log).
    int GetDetailCount(int n) const;
    /// Detail k of entry n, in the order they came; null outside.
    const char* GetNthDetail(int n, int k) const;
    /// The details of entry n that were not kept.
    int GetOmittedDetailCount(int n) const;
    /// 1 when the log holds stringId.
    short HasEntry(unsigned int stringId) const;
    /// Makes room for entries entries, so that that many ids are logged
    /// even when memory runs out later (out of memory is one of them).
    /// 1, or 0 when there is no memory for the room.
    short Reserve(int entries);
    void SetLocale(OBL::LocaleIDEnum locale);
    OBL::LocaleIDEnum GetLocale() const;

private:
    struct Entry;
    struct Detail;
    void Clear();
    int Find(unsigned int stringId) const;
    int count_;
    Entry* entries_; // from the memory service, capacity_ of them
    int capacity_;
    Detail* details_; // from the memory service, detailCapacity_ of them
    int detailCount_;
    int detailCapacity_;
    OBL::LocaleIDEnum locale_;
};

/// Where plug-ins log. A thread that sets a logger of its own gets every
/// entry logged on it, so that conversions on several threads each collect
/// their own notes; the other threads log into the process's logger.
/// Neither logger is owned: the host clears its pointer before destroying
/// the logger.
class OMBRA_API OBLoggerUtility {
public:
    /// The process's logger, for threads without one of their own.
    static void SetLogger(OBConversionLogger* logger);
    static OBConversionLogger* GetLogger();
    /// The calling thread's own logger (null: the process's). The core's
    /// convenience layer (<ombra/convert.h>) sets one around each conversion.
    static void SetThreadLogger(OBConversionLogger* logger);
    static OBConversionLogger* GetThreadLogger();
    /// Adds stringId to the calling thread's logger, else to the process's;
    /// nothing when neither is set.
    static void LogEntry(unsigned int stringId);
    /// The same with a detail (UTF-8) that names what the note is about.
    static void LogEntry(unsigned int stringId, const char* detail);
    /// The same with the count the note applies to.
    static void LogCount(unsigned int stringId, long long count);
};

/// The calling thread's last error code and the string id of its message
/// (codes and ids: messages.h). Both start at 0.
class OMBRA_API OBErrorUtils {
public:
    static void OBSetGlobalErrorCode(int code, unsigned int stringId);
    static int OBGetGlobalErrorCode();
    /// The string id stored with the code.
    static unsigned int OBGetGlobalErrorStringId();
    /// The text of string id + the thread's current locale
    /// (LocaleUtil::GetCurrentLocale) from the registered module; empty
    /// without one or for an id without a text.
    static COBString OBGetGlobalErrorString();
    /// Creates the thread's values at 0 unless it has them.
    static void OBInitErrorUtils();
    /// Discards the thread's values; the next read gives 0 again.
    static void OBResetErrorUtils();
};

/// Stops in an attached debugger, or asks what to do: without a debugger
/// the sink gets the text "Debug Break" with title "Error" and the style
/// OBMB::kDebugBreakStyle, and Abort ends the process (abort()). A call made
/// while another debug break is open, on any thread, only stops in an
/// attached debugger.
OMBRA_API void OBBreakToDebugger();
/// Asks whether to stop: the sink gets title "Debug Break" and the message
/// (at most 2499 bytes, read in the system script) followed by
/// "\nDo you want to drop into the debugger?" when a debugger is attached,
/// else "\nDo you want to quit the app?", as far as 2499 bytes hold them,
/// with the style OBMB::kDebugQuestionStyle. Yes stops in the debugger, or
/// ends the process when none is attached; No goes on. A nested call only
/// stops in an attached debugger.
OMBRA_API void OBBreakStrToDebugger(const char* message);
/// 1 when a debugger is attached to the process, else 0.
OMBRA_API short IsOBDebuggerRunning();

#endif
