// The contract between the core and its plug-ins: the reader and writer base
// classes, the Format record, the records the plug-in managers keep per
// library, the loading helpers and the entry-point macros.
//
// A reader plug-in is an ELF shared object named *.obrd that exports the C
// function "GetReader"; a writer plug-in is named *.obwt and exports
// "GetWriter". Each entry point takes no arguments and returns a new object
// of a class derived from OBReader or OBWriter (null when it cannot make
// one). Every call makes a new object: the core keeps one (the root) and
// makes others to probe streams. A plug-in writes its entry point in one
// line, after its class:
//
//     class MyReader : public OBReader { ... };   // constructor: SetReaderID(42)
//     OB_DECLARE_READER(MyReader)
//     OB_DECLARE_PLUGIN_VERSION(1, 3)             // optional
//
// and builds with the root CMakeLists' ombra_add_plugin(name reader|writer ...).
#ifndef OMBRA_PLUGIN_H
#define OMBRA_PLUGIN_H

#include <ombra/elements.h>
#include <ombra/export.h>
#include <ombra/files.h>
#include <ombra/preferences.h>
#include <ombra/streams.h>
#include <ombra/strings.h>

/// The handle of a loaded plug-in library (the platform loader's handle).
typedef void* OBModuleHandle;

/// How the managers were told to read their folder path. The managers store
/// the style and never interpret it.
enum OBFilePathStyle : int {
    kPathStyleUnspecified = 0,
    kPathStyleNative = 2, ///< what the convertor manager passes
};

/// One file format that a plug-in reads or writes. Arrays of Formats cross
/// the plug-in boundary: a plug-in hands them out with `new Format[n]` and
/// the core releases them with `delete[]`, both through the memory service.
class OMBRA_API Format {
public:
    OB_MEMORY_OPERATORS

    /// The format string holds at most this many characters.
    static constexpr int kMaxFormatString = 10;

    /// Types 0 and an empty format string.
    Format();
    /// Keeps at most 10 characters of formatString (null: empty).
    Format(const char* formatString, unsigned int fileType, unsigned int creatorType);
    Format(const Format& other) = default;
    Format& operator=(const Format& other) = default;

    unsigned int GetFileType() const { return fileType_; }
    void SetFileType(unsigned int type) { fileType_ = type; }
    unsigned int GetCreatorType() const { return creatorType_; }
    void SetCreatorType(unsigned int type) { creatorType_ = type; }
    /// The format string, NUL-terminated.
    const char* GetFormatString() const { return formatString_; }
    /// Keeps at most 10 characters (null: empty).
    void SetFormatString(const char* formatString);
    /// 1 when file type, creator type and format string are all equal.
    short operator==(const Format& other) const;
    short operator!=(const Format& other) const { return *this == other ? 0 : 1; }

private:
    unsigned int fileType_;
    unsigned int creatorType_;
    char formatString_[12];
};

/// The lock record of a plug-in object (defined in the library).
struct OBPlugInLock;

/// The base of every reader. A reader parses its input into Elements and
/// hands them out one at a time. The core calls the virtual operations in
/// this order during a conversion, on one thread:
///   GetStreamPrefs(input, list) - adds this reader's preferences for the input
///   Init(input, preferences)    - the list above after the core's adjustments,
///                                 or the reader's own list (GetPrefs) when the
///                                 first came back empty; the override calls
///                                 OBReader::Init first
///   GetFirstElement(), then GetNextElement() until null
///   Reset()                     - the override calls OBReader::Reset last
/// The list passed to GetStreamPrefs and Init belongs to the core and is
/// destroyed when the conversion ends: read it during the conversion, never
/// keep or adopt it. The Elements belong to the reader (see
/// docs/document-model.md). Hosts that list a plug-in's preferences call
/// GetStreamPrefs with a null stream: add what the reader offers for any input.
///
/// The root reader is shared by every conversion through the plug-in: the
/// lock taken in Init and released in Reset makes a second conversion wait
/// at Init until the first has reset. CanImportThis probes run at any time,
/// also while a conversion is in progress, and must not disturb it.
class OMBRA_API OBReader {
public:
    OB_MEMORY_OPERATORS

    /// No stream, preferences or id; the lock is free.
    OBReader();
    OBReader(const OBReader&) = delete;
    OBReader& operator=(const OBReader&) = delete;
    /// Deletes the preference list, then releases and destroys the lock.
    virtual ~OBReader();

    /// 1 when this reader reads the stream; any other value means no.
    virtual short CanImportThis(OBStream* input) = 0;
    /// Adds the reader's preferences for this stream to list.
    virtual void GetStreamPrefs(OBStream* input, OBPreferenceList* list) = 0;
    /// The base body prepares the calling thread's conversion state (element
    /// ids, ElementUtil levels, the error code and the current locale, each
    /// only when missing) and takes the reader's lock, waiting while another
    /// conversion holds it. A repeated Init on the thread that holds the
    /// lock returns at once. It stores neither argument: the override does
    /// with SetStream and SetPrefs as it needs.
    virtual void Init(OBStream* input, OBPreferenceList* preferences) = 0;
    /// The base body discards the calling thread's conversion state, clears
    /// its chosen reader list (ReaderManager::UseReaders) and releases the
    /// lock when this thread holds it; without a preceding Init it releases
    /// nothing.
    virtual void Reset() = 0;
    /// The first Element of the conversion, or null.
    virtual Element* GetFirstElement() = 0;
    /// The next Element, null when there are no more.
    virtual Element* GetNextElement() = 0;
    /// Hands out a new array (`new Format[count]`) and its count; the caller
    /// releases it with `delete[]`, even when the count is 0.
    virtual void GetFormats(Format*& formats, short& count) = 0;
    /// The following are never called by the core; their meaning is the
    /// plug-in's and its host's. The base bodies do nothing or answer 0.
    virtual void GetFileVersion(COBString& version);
    virtual void GetMEPrefs(OBPreferenceList* list);
    virtual void AddWarning(int code, unsigned short detail);
    virtual unsigned long long GetNoOfWarnings();
    virtual int GetNthWarningCode(unsigned int n);
    virtual void SetPosAsBytePos(bool bytePositions);

    void SetStream(OBStream* stream) { stream_ = stream; }
    OBStream* GetStream() const { return stream_; }
    /// Adopts list as the reader's own preferences; one set before is
    /// deleted. Never pass the core's lists from GetStreamPrefs or Init.
    void SetPrefs(OBPreferenceList* list);
    OBPreferenceList* GetPrefs() const { return prefs_; }
    /// The plug-in sets its id before the entry point returns the object.
    void SetReaderID(int id) { readerId_ = id; }
    int GetReaderID() const { return readerId_; }
    /// Names the reader after the last component of path (after the last
    /// '/' or '\\', extension included); a path without either is taken
    /// whole. A UTF-16 path is converted to 8-bit text of the Roman script
    /// through the calling thread's text service, or to UTF-8 when the
    /// thread has none. Null changes nothing.
    void SetReaderName(OBSysFileRef* path);
    const COBString& GetReaderName() const { return name_; }
    /// 1 while a conversion holds the reader (between Init and Reset).
    short IsInUse() const;

private:
    OBStream* stream_;
    OBPreferenceList* prefs_;
    int readerId_;
    OBPlugInLock* lock_;
    COBString name_;
};

/// The base of every writer. The core calls, during a conversion and on one
/// thread: GetStreamPrefs(output, list), then Init(output, list) with the
/// adjusted list, then PutElement for every Element the reader yields and
/// PutElement(null) as the end marker, then Reset. The override of
/// GetStreamPrefs or Init(OBStream*, OBPreferenceList*) calls OBWriter::Init()
/// once per conversion (it takes the writer's lock), and the override of
/// Reset calls OBWriter::Reset() last (an override of one Init hides the
/// other: call it qualified, or add `using OBWriter::Init;`). The list
/// belongs to the core, as for
/// readers; so do the Elements, which the writer never deletes. Hosts that
/// list preferences call GetStreamPrefs with a null stream.
class OMBRA_API OBWriter {
public:
    OB_MEMORY_OPERATORS

    /// No stream, preferences or id; the lock is free.
    OBWriter();
    OBWriter(const OBWriter&) = delete;
    OBWriter& operator=(const OBWriter&) = delete;
    /// Closes a stream that is still set, then destroys the lock. The
    /// preference list is not deleted.
    virtual ~OBWriter();

    /// Adds the writer's preferences for this output to list.
    virtual void GetStreamPrefs(OBStream* output, OBPreferenceList* list) = 0;
    /// Prepares the calling thread's conversion state as OBReader::Init does
    /// and takes the writer's lock, waiting while another conversion holds
    /// it. A repeated Init on the thread that holds the lock returns at once.
    virtual void Init();
    /// Prepares output to the stream with the final preferences.
    virtual void Init(OBStream* output, OBPreferenceList* preferences) = 0;
    /// Discards the calling thread's conversion state, forgets the stream
    /// (the output belongs to the host once the conversion is over) and
    /// releases the lock when this thread holds it.
    virtual void Reset();
    /// Receives one Element; null marks the end of the conversion.
    virtual void PutElement(Element* element) = 0;
    /// As OBReader::GetFormats.
    virtual void GetFormats(Format*& formats, short& count) = 0;
    /// Never called by the core; does nothing.
    virtual void SetUnicodePrefs();

    void SetStream(OBStream* stream) { stream_ = stream; }
    OBStream* GetStream() const { return stream_; }
    /// Stores list; the writer never deletes it.
    void SetPrefs(OBPreferenceList* list) { prefs_ = list; }
    OBPreferenceList* GetPrefs() const { return prefs_; }
    void SetWriterID(int id) { writerId_ = id; }
    int GetWriterID() const { return writerId_; }
    /// As OBReader::SetReaderName.
    void SetWriterName(OBSysFileRef* path);
    const COBString& GetWriterName() const { return name_; }
    /// 1 while a conversion holds the writer.
    short IsInUse() const;

private:
    OBStream* stream_;
    OBPreferenceList* prefs_;
    int writerId_;
    OBPlugInLock* lock_;
    COBString name_;
};

/// What a plug-in record went through.
enum LoadStatus : int {
    kLoadStatusNone = 0,      ///< record made without a path
    kLoadStatusLoaded = 1,    ///< the library is loaded and its root object made
    kLoadStatusNotLoaded = 3, ///< discovered, failed to load, or unloaded again
};

/// The managers' record of one discovered reader library. Copies share the
/// root object and the module handle, which the manager owns. When a load
/// fails the error string says why (the loader's message, a missing entry
/// point, a null object or an exception thrown from the entry point); a
/// successful load empties it.
class OMBRA_API OBReaderData {
public:
    OB_MEMORY_OPERATORS

    /// Empty strings, numbers 0, no path, status kLoadStatusNone.
    OBReaderData();
    /// As above with the path set and status kLoadStatusNotLoaded.
    explicit OBReaderData(const OBSysFileRef& path);
    OBReaderData(const OBReaderData& other) = default;
    OBReaderData& operator=(const OBReaderData& other) = default;
    ~OBReaderData();

    const COBString& GetLogicalName() const { return logicalName_; }
    void SetLogicalName(const COBString& name) { logicalName_ = name; }
    const COBString& GetErrorString() const { return errorString_; }
    void SetErrorString(const COBString& text) { errorString_ = text; }
    bool HasError() const { return !errorString_.IsNull(); }
    /// Problems met after loading (a probe or a call that threw).
    const COBString& GetRuntimeErrorString() const { return runtimeErrorString_; }
    void SetRuntimeErrorString(const COBString& text) { runtimeErrorString_ = text; }
    int GetMajorVersionNumber() const { return majorVersion_; }
    void SetMajorVersionNumber(int n) { majorVersion_ = n; }
    int GetMinorVersionNumber() const { return minorVersion_; }
    void SetMinorVersionNumber(int n) { minorVersion_ = n; }
    int GetReaderID() const { return readerId_; }
    void SetReaderID(int id) { readerId_ = id; }
    void GetLastFormatVersion(int& major, int& minor) const {
        major = lastFormatMajor_;
        minor = lastFormatMinor_;
    }
    void SetLastFormatVersion(int major, int minor) {
        lastFormatMajor_ = major;
        lastFormatMinor_ = minor;
    }
    const OBSysFileRef& GetSystemPathNameRef() const { return path_; }
    void SetPathName(const OBSysFileRef& path) { path_ = path; }
    OBModuleHandle GetConnectionID() const { return handle_; }
    /// The shared reader object while loaded, else null.
    OBReader* GetReaderRoot() const { return root_; }
    LoadStatus GetLoadStatus() const { return status_; }
    void SetLoadStatus(LoadStatus status) { status_ = status; }
    /// Nothing changes while the status is kLoadStatusLoaded. Otherwise
    /// stores the object and the handle, sets the can-load flag when status
    /// is kLoadStatusLoaded, and stores the status.
    void SetLoadStatus(LoadStatus status, OBReader* root, OBModuleHandle handle);
    short CanLoad() const { return canLoad_ ? 1 : 0; }
    void IncReaderRefCount() { ++refCount_; }
    void DecReaderRefCount() { --refCount_; }
    int GetReaderRefCount() const { return refCount_; }
    bool IsLoaded() const { return refCount_ > 0; }
    bool IsUnloadable() const { return refCount_ == 0; }
    /// Returns the record to its discovered state once the manager has
    /// released the root: no object, no handle, status kLoadStatusNotLoaded,
    /// can-load cleared. The id stays for hosts that list the records.
    void Unload();

private:
    COBString logicalName_;
    COBString errorString_;
    COBString runtimeErrorString_;
    int majorVersion_;
    int minorVersion_;
    int readerId_;
    int lastFormatMajor_;
    int lastFormatMinor_;
    OBSysFileRef path_;
    OBModuleHandle handle_;
    OBReader* root_;
    LoadStatus status_;
    unsigned char canLoad_;
    int refCount_;
};

/// The managers' record of one discovered writer library; as OBReaderData.
class OMBRA_API OBWriterData {
public:
    OB_MEMORY_OPERATORS

    OBWriterData();
    explicit OBWriterData(const OBSysFileRef& path);
    OBWriterData(const OBWriterData& other) = default;
    OBWriterData& operator=(const OBWriterData& other) = default;
    ~OBWriterData();

    const COBString& GetLogicalName() const { return logicalName_; }
    void SetLogicalName(const COBString& name) { logicalName_ = name; }
    const COBString& GetErrorString() const { return errorString_; }
    void SetErrorString(const COBString& text) { errorString_ = text; }
    bool HasError() const { return !errorString_.IsNull(); }
    const COBString& GetRuntimeErrorString() const { return runtimeErrorString_; }
    void SetRuntimeErrorString(const COBString& text) { runtimeErrorString_ = text; }
    int GetMajorVersionNumber() const { return majorVersion_; }
    void SetMajorVersionNumber(int n) { majorVersion_ = n; }
    int GetMinorVersionNumber() const { return minorVersion_; }
    void SetMinorVersionNumber(int n) { minorVersion_ = n; }
    int GetWriterID() const { return writerId_; }
    void SetWriterID(int id) { writerId_ = id; }
    void GetLastFormatVersion(int& major, int& minor) const {
        major = lastFormatMajor_;
        minor = lastFormatMinor_;
    }
    void SetLastFormatVersion(int major, int minor) {
        lastFormatMajor_ = major;
        lastFormatMinor_ = minor;
    }
    const OBSysFileRef& GetSystemPathNameRef() const { return path_; }
    void SetPathName(const OBSysFileRef& path) { path_ = path; }
    OBModuleHandle GetConnectionID() const { return handle_; }
    OBWriter* GetWriterRoot() const { return root_; }
    LoadStatus GetLoadStatus() const { return status_; }
    void SetLoadStatus(LoadStatus status) { status_ = status; }
    /// As OBReaderData::SetLoadStatus.
    void SetLoadStatus(LoadStatus status, OBWriter* root, OBModuleHandle handle);
    short CanLoad() const { return canLoad_ ? 1 : 0; }
    void IncWriterRefCount() { ++refCount_; }
    void DecWriterRefCount() { --refCount_; }
    int GetWriterRefCount() const { return refCount_; }
    bool IsLoaded() const { return refCount_ > 0; }
    bool IsUnloadable() const { return refCount_ == 0; }
    /// Status kLoadStatusNotLoaded, no object, no handle, can-load cleared
    /// and writer id -1.
    void Unload();

private:
    COBString logicalName_;
    COBString errorString_;
    COBString runtimeErrorString_;
    int majorVersion_;
    int minorVersion_;
    int writerId_;
    int lastFormatMajor_;
    int lastFormatMinor_;
    OBSysFileRef path_;
    OBModuleHandle handle_;
    OBWriter* root_;
    LoadStatus status_;
    int canLoad_;
    int refCount_;
};

/// Loads the library of one reader record; made for one load or probe.
class OMBRA_API OBReaderUtils {
public:
    OB_MEMORY_OPERATORS
    explicit OBReaderUtils(OBReaderData record);
    ~OBReaderUtils();

    /// Loads the library named by the record's path; *handle is null when
    /// it cannot be loaded, and error (when given) receives the reason.
    void Load(OBModuleHandle* handle, COBString* error = nullptr);
    /// Releases a handle from Load; null is ignored.
    void UnLoad(OBModuleHandle handle);
    /// Looks up "GetReader" in the loaded library and calls it. Returns the
    /// new object, or null with the reason in error: the entry point is
    /// missing, returned null, or threw (nothing escapes the call).
    OBReader* CreateReader(OBModuleHandle handle, COBString& error);
    const OBReaderData& GetRecord() const { return record_; }

private:
    OBReaderData record_;
};

/// Loads the library of one writer record; see OBReaderUtils.
class OMBRA_API OBWriterUtils {
public:
    OB_MEMORY_OPERATORS
    explicit OBWriterUtils(OBWriterData record);
    ~OBWriterUtils();

    void Load(OBModuleHandle* handle, COBString* error = nullptr);
    void UnLoad(OBModuleHandle handle);
    /// Looks up "GetWriter" and calls it, as OBReaderUtils::CreateReader.
    OBWriter* CreateWriter(OBModuleHandle handle, COBString& error);
    const OBWriterData& GetRecord() const { return record_; }

private:
    OBWriterData record_;
};

/// The entry points as the core finds them.
typedef OBReader* (*OBGetReaderProc)();
typedef OBWriter* (*OBGetWriterProc)();
/// The optional version entry point "GetPlugInVersion": the managers copy
/// what it reports into the record's major and minor version numbers.
typedef void (*OBGetPlugInVersionProc)(int* major, int* minor);

/// Exports a C function from a plug-in, whatever the visibility default.
#define OB_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

/// Exports "GetReader" making a new ReaderClass (null when there is no memory).
#define OB_DECLARE_READER(ReaderClass)                                                             \
    OB_PLUGIN_EXPORT OBReader* GetReader() {                                                       \
        return new ReaderClass;                                                                    \
    }

/// Exports "GetWriter" making a new WriterClass.
#define OB_DECLARE_WRITER(WriterClass)                                                             \
    OB_PLUGIN_EXPORT OBWriter* GetWriter() {                                                       \
        return new WriterClass;                                                                    \
    }

/// Exports "GetPlugInVersion" reporting major.minor.
#define OB_DECLARE_PLUGIN_VERSION(majorVersion, minorVersion)                                      \
    OB_PLUGIN_EXPORT void GetPlugInVersion(int* major, int* minor) {                               \
        if (major) *major = (majorVersion);                                                        \
        if (minor) *minor = (minorVersion);                                                        \
    }

#endif
