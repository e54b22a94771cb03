// The plug-in base classes, their lock, the Format record, the plug-in
// records and the loading helpers.
#include <ombra/diagnostics.h>
#include <ombra/identifiers.h>
#include <ombra/memory.h>
#include <ombra/plugin.h>
#include <ombra/scripts.h>
#include <ombra/utf8.h>

#include "framework/FrameworkInternal.h"
#include "platform/System.h"

#include <boost/thread/condition_variable.hpp>
#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>

#include <atomic>
#include <exception>

// A two-state lock that the conversion holding it releases from any point of
// its own thread, plus the in-use flag and the holding thread. The flag is
// what lets a repeated Init of the holding conversion return at once; the
// thread recorded beside it is what makes another thread's Init wait.
struct OBPlugInLock {
    OB_MEMORY_OPERATORS
    boost::mutex mutex; // guards held
    boost::condition_variable freed;
    bool held = false;
    std::atomic<unsigned char> inUse{0};
    std::atomic<unsigned long> owner{0};
};

namespace {

OBPlugInLock* NewLock() {
    try {
        return new OBPlugInLock;
    } catch (...) {
        return nullptr; // the platform had no resources for the condition
    }
}

bool HeldByCaller(const OBPlugInLock* lock) {
    return lock && lock->inUse.load() && lock->owner.load() == obsys::CurrentThreadId();
}

void Acquire(OBPlugInLock* lock) {
    if (!lock || HeldByCaller(lock)) return;
    {
        boost::unique_lock<boost::mutex> guard(lock->mutex);
        while (lock->held)
            lock->freed.wait(guard);
        lock->held = true;
    }
    lock->owner.store(obsys::CurrentThreadId());
    lock->inUse.exchange(1);
}

void Release(OBPlugInLock* lock) {
    if (!HeldByCaller(lock)) return;
    lock->owner.store(0);
    lock->inUse.exchange(0);
    {
        boost::lock_guard<boost::mutex> guard(lock->mutex);
        lock->held = false;
    }
    lock->freed.notify_one();
}

// Destroying a lock that a conversion still holds frees it for nobody: the
// object it guards is going away.
void DestroyLock(OBPlugInLock* lock) {
    if (!lock) return;
    Release(lock);
    delete lock;
}

void InitConversionState() {
    OBIDGenerator::Init();
    ElementUtil::Init();
    OBErrorUtils::OBInitErrorUtils();
    LocaleUtil::InitCurrentLocale();
}

void ResetConversionState() {
    OBIDGenerator::Reset();
    ElementUtil::Reset();
    OBErrorUtils::OBResetErrorUtils();
    LocaleUtil::ResetCurrentLocale();
}

} // namespace

// ---- Format --------------------------------------------------------------

Format::Format() : fileType_(0), creatorType_(0) {
    formatString_[0] = 0;
}

Format::Format(const char* formatString, unsigned int fileType, unsigned int creatorType)
    : fileType_(fileType), creatorType_(creatorType) {
    SetFormatString(formatString);
}

void Format::SetFormatString(const char* formatString) {
    int n = 0;
    if (formatString)
        while (n < kMaxFormatString && formatString[n]) {
            formatString_[n] = formatString[n];
            ++n;
        }
    formatString_[n] = 0;
}

short Format::operator==(const Format& other) const {
    return fileType_ == other.fileType_ && creatorType_ == other.creatorType_ &&
                   OBStrncmp(formatString_, other.formatString_, sizeof formatString_) == 0
               ? 1
               : 0;
}

// ---- names -----------------------------------------------------------------

namespace obframework {

bool FileNameOf(const OBSysFileRef* path, COBString& name) {
    if (!path) return false;
    const IOBString* text = path->GetSysFileStr();
    if (!text) {
        name = COBString();
        return true;
    }
    if (text->IsUnicode()) {
        const unsigned short* units = text->GrabWString();
        long long n = text->Length(), start = 0;
        for (long long i = 0; i < n; ++i)
            if (units[i] == '/' || units[i] == '\\') start = i + 1;
        COBString converted(WSE::kRomanScript);
        if (n > start) {
            converted.SetXString(units + start, n - start);
            // Without a text service on this thread the name still reads as
            // the file system spells it.
            if (converted.IsNull())
                OBStringUtils::ConvertUTF16StringToUTF8(
                    units + start, static_cast<unsigned long long>(n - start), converted);
        }
        name = converted;
    } else {
        const COBString* bytes = static_cast<const COBString*>(text);
        const char* s = bytes->GrabCString();
        long long n = bytes->Length(), start = 0;
        for (long long i = 0; i < n; ++i)
            if (s[i] == '/' || s[i] == '\\') start = i + 1;
        COBString result(bytes->GetWSEScript());
        result.SetXString(s + start, n - start);
        name = result;
    }
    return true;
}

} // namespace obframework

// ---- OBReader --------------------------------------------------------------

OBReader::OBReader() : stream_(nullptr), prefs_(nullptr), readerId_(0), lock_(NewLock()) {}

OBReader::~OBReader() {
    delete prefs_;
    DestroyLock(lock_);
}

void OBReader::Init(OBStream*, OBPreferenceList*) {
    InitConversionState();
    Acquire(lock_);
}

void OBReader::Reset() {
    ResetConversionState();
    obframework::DropChosenReaders();
    Release(lock_);
}

void OBReader::GetFileVersion(COBString&) {}
void OBReader::GetMEPrefs(OBPreferenceList*) {}
void OBReader::AddWarning(int, unsigned short) {}
unsigned long long OBReader::GetNoOfWarnings() {
    return 0;
}
int OBReader::GetNthWarningCode(unsigned int) {
    return 0;
}
void OBReader::SetPosAsBytePos(bool) {}

void OBReader::SetPrefs(OBPreferenceList* list) {
    if (list == prefs_) return;
    delete prefs_;
    prefs_ = list;
}

void OBReader::SetReaderName(OBSysFileRef* path) {
    obframework::FileNameOf(path, name_);
}

short OBReader::IsInUse() const {
    return lock_ && lock_->inUse.load() ? 1 : 0;
}

// ---- OBWriter --------------------------------------------------------------

OBWriter::OBWriter() : stream_(nullptr), prefs_(nullptr), writerId_(0), lock_(NewLock()) {}

OBWriter::~OBWriter() {
    if (stream_) {
        stream_->Close();
        stream_ = nullptr;
    }
    DestroyLock(lock_);
}

void OBWriter::Init() {
    InitConversionState();
    Acquire(lock_);
}

void OBWriter::Reset() {
    ResetConversionState();
    stream_ = nullptr;
    Release(lock_);
}

void OBWriter::SetUnicodePrefs() {}

void OBWriter::SetWriterName(OBSysFileRef* path) {
    obframework::FileNameOf(path, name_);
}

short OBWriter::IsInUse() const {
    return lock_ && lock_->inUse.load() ? 1 : 0;
}

// ---- records ---------------------------------------------------------------

OBReaderData::OBReaderData()
    : majorVersion_(0), minorVersion_(0), readerId_(0), lastFormatMajor_(0), lastFormatMinor_(0),
      handle_(nullptr), root_(nullptr), status_(kLoadStatusNone), canLoad_(0), refCount_(0) {}

OBReaderData::OBReaderData(const OBSysFileRef& path) : OBReaderData() {
    path_ = path;
    status_ = kLoadStatusNotLoaded;
}

OBReaderData::~OBReaderData() = default;

void OBReaderData::SetLoadStatus(LoadStatus status, OBReader* root, OBModuleHandle handle) {
    if (status_ == kLoadStatusLoaded) return;
    root_ = root;
    handle_ = handle;
    if (status == kLoadStatusLoaded) canLoad_ = 1;
    status_ = status;
}

void OBReaderData::Unload() {
    root_ = nullptr;
    handle_ = nullptr;
    canLoad_ = 0;
    status_ = kLoadStatusNotLoaded;
}

OBWriterData::OBWriterData()
    : majorVersion_(0), minorVersion_(0), writerId_(0), lastFormatMajor_(0), lastFormatMinor_(0),
      handle_(nullptr), root_(nullptr), status_(kLoadStatusNone), canLoad_(0), refCount_(0) {}

OBWriterData::OBWriterData(const OBSysFileRef& path) : OBWriterData() {
    path_ = path;
    status_ = kLoadStatusNotLoaded;
}

OBWriterData::~OBWriterData() = default;

void OBWriterData::SetLoadStatus(LoadStatus status, OBWriter* root, OBModuleHandle handle) {
    if (status_ == kLoadStatusLoaded) return;
    root_ = root;
    handle_ = handle;
    if (status == kLoadStatusLoaded) canLoad_ = 1;
    status_ = status;
}

void OBWriterData::Unload() {
    status_ = kLoadStatusNotLoaded;
    root_ = nullptr;
    handle_ = nullptr;
    canLoad_ = 0;
    writerId_ = -1;
}

// ---- loading ---------------------------------------------------------------

namespace {

void LoadLibraryOf(const OBSysFileRef& path, OBModuleHandle* handle, COBString* error) {
    if (!handle) return;
    char why[512];
    obsys::LastLibraryError(why, sizeof why); // forget an older failure
    void* library = nullptr;
    WOBFileUtility::LoadLibraryA(path, library);
    *handle = library;
    if (!library && error) {
        obsys::LastLibraryError(why, sizeof why);
        *error = "cannot load the library: ";
        error->Append(why[0] ? why : "the path names no file", IOBString::kUpToTerminator);
    }
}

// Calls an entry point; nothing that it throws leaves this function.
template <class Object>
Object* CallEntryPoint(OBModuleHandle handle, const char* name, COBString& error) {
    char why[512];
    obsys::LastLibraryError(why, sizeof why);
    void* symbol = obsys::GetProcAddress(handle, name);
    if (!symbol) {
        obsys::LastLibraryError(why, sizeof why);
        error = "the library has no entry point ";
        error.Append(name, IOBString::kUpToTerminator);
        if (why[0]) {
            error.Append(": ", IOBString::kUpToTerminator);
            error.Append(why, IOBString::kUpToTerminator);
        }
        return nullptr;
    }
    typedef Object* (*Proc)();
    Object* object = nullptr;
    try {
        object = reinterpret_cast<Proc>(symbol)();
    } catch (const std::exception& e) {
        error = name;
        error.Append(" threw an exception: ", IOBString::kUpToTerminator);
        error.Append(e.what(), IOBString::kUpToTerminator);
        return nullptr;
    } catch (...) {
        error = name;
        error.Append(" threw an exception", IOBString::kUpToTerminator);
        return nullptr;
    }
    if (!object) {
        error = name;
        error.Append(" returned no object", IOBString::kUpToTerminator);
    }
    return object;
}

void ReadVersion(OBModuleHandle handle, int& major, int& minor) {
    void* symbol = obsys::GetProcAddress(handle, "GetPlugInVersion");
    if (!symbol) {
        char why[8];
        obsys::LastLibraryError(why, sizeof why);
        return;
    }
    try {
        reinterpret_cast<OBGetPlugInVersionProc>(symbol)(&major, &minor);
    } catch (...) {
    }
}

} // namespace

// NOLINTNEXTLINE(performance-unnecessary-value-param): the exported signature takes a copy
OBReaderUtils::OBReaderUtils(OBReaderData record) : record_(record) {}
OBReaderUtils::~OBReaderUtils() = default;

void OBReaderUtils::Load(OBModuleHandle* handle, COBString* error) {
    LoadLibraryOf(record_.GetSystemPathNameRef(), handle, error);
}

void OBReaderUtils::UnLoad(OBModuleHandle handle) {
    if (handle) obsys::FreeLibrary(handle);
}

OBReader* OBReaderUtils::CreateReader(OBModuleHandle handle, COBString& error) {
    return handle ? CallEntryPoint<OBReader>(handle, "GetReader", error) : nullptr;
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): the exported signature takes a copy
OBWriterUtils::OBWriterUtils(OBWriterData record) : record_(record) {}
OBWriterUtils::~OBWriterUtils() = default;

void OBWriterUtils::Load(OBModuleHandle* handle, COBString* error) {
    LoadLibraryOf(record_.GetSystemPathNameRef(), handle, error);
}

void OBWriterUtils::UnLoad(OBModuleHandle handle) {
    if (handle) obsys::FreeLibrary(handle);
}

OBWriter* OBWriterUtils::CreateWriter(OBModuleHandle handle, COBString& error) {
    return handle ? CallEntryPoint<OBWriter>(handle, "GetWriter", error) : nullptr;
}

namespace obframework {

namespace {

template <class Record, class Utils, class Object>
bool LoadRecord(Record& record, Object* (Utils::*create)(OBModuleHandle, COBString&),
                void (*adopt)(Record&, Object*, OBModuleHandle)) {
    Utils utils(record);
    OBModuleHandle handle = nullptr;
    COBString error;
    utils.Load(&handle, &error);
    Object* object = handle ? (utils.*create)(handle, error) : nullptr;
    if (!object) {
        // A library that yields no object is of no use: release it again.
        utils.UnLoad(handle);
        record.SetErrorString(error);
        return false;
    }
    int major = record.GetMajorVersionNumber(), minor = record.GetMinorVersionNumber();
    ReadVersion(handle, major, minor);
    record.SetMajorVersionNumber(major);
    record.SetMinorVersionNumber(minor);
    record.SetErrorString(COBString());
    adopt(record, object, handle);
    return true;
}

void AdoptReader(OBReaderData& record, OBReader* reader, OBModuleHandle handle) {
    record.SetLoadStatus(kLoadStatusLoaded, reader, handle);
    record.SetReaderID(reader->GetReaderID());
    OBSysFileRef path(record.GetSystemPathNameRef());
    reader->SetReaderName(&path);
    record.SetLogicalName(reader->GetReaderName());
}

void AdoptWriter(OBWriterData& record, OBWriter* writer, OBModuleHandle handle) {
    record.SetLoadStatus(kLoadStatusLoaded, writer, handle);
    record.SetWriterID(writer->GetWriterID());
    OBSysFileRef path(record.GetSystemPathNameRef());
    writer->SetWriterName(&path);
    record.SetLogicalName(writer->GetWriterName());
}

} // namespace

bool LoadReaderRecord(OBReaderData& record) {
    return LoadRecord<OBReaderData, OBReaderUtils, OBReader>(record, &OBReaderUtils::CreateReader,
                                                             AdoptReader);
}

bool LoadWriterRecord(OBWriterData& record) {
    return LoadRecord<OBWriterData, OBWriterUtils, OBWriter>(record, &OBWriterUtils::CreateWriter,
                                                             AdoptWriter);
}

int AppendFormats(Format* formats, short count, Format* out, int at, int capacity) {
    int appended = 0;
    if (formats && out)
        for (short i = 0; i < count && at + appended < capacity; ++i) {
            Format& target = out[at + appended++];
            target.SetFileType(formats[i].GetFileType());
            target.SetCreatorType(formats[i].GetCreatorType());
            target.SetFormatString(formats[i].GetFormatString());
        }
    delete[] formats;
    return appended;
}

} // namespace obframework
