// What the reader and the writer manager share: the discovered and loaded
// records of one plug-in folder, loading, unloading, format lists and the
// record listing. The managers add detection and look-ups on top.
#ifndef OMBRA_FRAMEWORK_PLUGINREGISTRY_H
#define OMBRA_FRAMEWORK_PLUGINREGISTRY_H

#include <ombra/files.h>
#include <ombra/plugin.h>

#include "framework/FrameworkInternal.h"
#include "platform/System.h"
#include "streams/memory/StdAllocator.h"

#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/shared_mutex.hpp>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <new>
#include <utility>

namespace obframework {

/// The one instance of a manager class, counted: the first Create makes it
/// (make returns it, or null when it could not be made whole), each Create
/// counts it once more, each Delete takes one count back and the last
/// destroys it. Creation and destruction of one class run one at a time.
template <class Manager> class SingleInstance {
public:
    template <class Make> static Manager* Create(Make make) {
        boost::lock_guard<boost::mutex> guard(Mutex());
        Manager* instance = Slot().load();
        if (!instance) {
            instance = make();
            if (!instance) return nullptr;
            Slot().store(instance);
        }
        ++Count();
        return instance;
    }
    static Manager* Get() { return Slot().load(); }
    template <class Destroy> static void Delete(Destroy destroy) {
        boost::lock_guard<boost::mutex> guard(Mutex());
        Manager* instance = Slot().load();
        if (!instance || --Count() > 0) return;
        Slot().store(nullptr);
        destroy(instance);
    }

private:
    static boost::mutex& Mutex() {
        static boost::mutex mutex;
        return mutex;
    }
    static std::atomic<Manager*>& Slot() {
        static std::atomic<Manager*> slot{nullptr};
        return slot;
    }
    static int& Count() {
        static int count = 0;
        return count;
    }
};

struct ReaderTraits {
    typedef OBReaderData Record;
    typedef OBReader Object;
    static Object* Root(const Record& r) { return r.GetReaderRoot(); }
    static int Count(const Record& r) { return r.GetReaderRefCount(); }
    static void Inc(Record& r) { r.IncReaderRefCount(); }
    static void Dec(Record& r) { r.DecReaderRefCount(); }
    static bool Load(Record& r) { return LoadReaderRecord(r); }
    static const char* Extension() { return ".obrd"; }
    static const unsigned short* WideExtension() {
        static const unsigned short extension[] = {'.', 'o', 'b', 'r', 'd', 0};
        return extension;
    }
};

struct WriterTraits {
    typedef OBWriterData Record;
    typedef OBWriter Object;
    static Object* Root(const Record& r) { return r.GetWriterRoot(); }
    static int Count(const Record& r) { return r.GetWriterRefCount(); }
    static void Inc(Record& r) { r.IncWriterRefCount(); }
    static void Dec(Record& r) { r.DecWriterRefCount(); }
    static bool Load(Record& r) { return LoadWriterRecord(r); }
    static const char* Extension() { return ".obwt"; }
    static const unsigned short* WideExtension() {
        static const unsigned short extension[] = {'.', 'o', 'b', 'w', 't', 0};
        return extension;
    }
};

/// The records of one folder. Methods named ...Locked expect the caller to
/// hold `lock` exclusively; the others take it themselves.
template <class Traits> class PlugInRegistry {
public:
    typedef typename Traits::Record Record;
    typedef typename Traits::Object Object;

    OB_MEMORY_OPERATORS

    PlugInRegistry(IOBString& folderPath, OBFilePathStyle pathStyle)
        : folder(folderPath.Clone()), style(pathStyle) {}

    ~PlugInRegistry() {
        boost::unique_lock<boost::shared_mutex> guard(lock);
        UnloadAllLocked(1);
        ReleaseAllLocked();
        for (Record* record : discovered)
            delete record;
    }

    PlugInRegistry(const PlugInRegistry&) = delete;
    PlugInRegistry& operator=(const PlugInRegistry&) = delete;

    /// Fills the record list from the folder when it is empty.
    void Detect() {
        boost::unique_lock<boost::shared_mutex> guard(lock);
        if (!discovered.empty() || !folder.IsValid()) return;
        Walk(*folder);
    }

    /// Adds the libraries under another folder and loads them (count 1,
    /// as the first folder's were). A folder met before adds nothing.
    void AddFolder(IOBString& more) {
        boost::unique_lock<boost::shared_mutex> guard(lock);
        if (folder.IsValid() && SameText(*folder, more)) return;
        for (const IOBStringPtr& added : extraFolders)
            if (SameText(*added, more)) return;
        IOBStringPtr copy(more.Clone());
        if (!copy.IsValid() || !Push(extraFolders, copy)) return;
        std::size_t before = discovered.size();
        Walk(more);
        for (std::size_t i = before; i < discovered.size(); ++i)
            if (Traits::Load(*discovered[i])) Adopted(*discovered[i]);
    }

    static bool SameText(const IOBString& a, const IOBString& b) {
        if (a.IsUnicode() != b.IsUnicode() || a.Length() != b.Length()) return false;
        std::size_t bytes = static_cast<std::size_t>(a.Length()) * (a.IsUnicode() ? 2 : 1);
        const void* x = a.IsUnicode() ? static_cast<const void*>(a.GrabWString()) : a.GrabCString();
        const void* y = b.IsUnicode() ? static_cast<const void*>(b.GrabWString()) : b.GrabCString();
        return bytes == 0 || (x && y && std::memcmp(x, y, bytes) == 0);
    }

    void Walk(IOBString& where) {
        OBSysFileRef start;
        start = where;
        WFolderTraverser* walk;
        if (where.IsUnicode())
            walk = new WFolderTraverserW(start, Traits::WideExtension(), 0);
        else
            walk = new WFolderTraverser(start, Traits::Extension(), 0);
        if (!walk) return;
        OBSysFileRef file;
        while (walk->GetNextMatch(file)) {
            Record* record = new Record(file);
            if (!record) break;
            if (!Push(discovered, record)) {
                delete record;
                break;
            }
        }
        delete walk;
    }

    /// Loads every record whose count is 0, counts one more on the others.
    void LoadAllLocked() {
        for (Record* record : discovered) {
            if (Traits::Count(*record) > 0) {
                Traits::Inc(*record);
                continue;
            }
            if (Traits::Load(*record)) Adopted(*record);
        }
    }

    /// A record whose root was just made joins the loaded list with count
    /// 1; without room in the list the load is undone.
    bool Adopted(Record& record) {
        if (!Push(loaded, &record)) {
            Release(record, 1);
            return false;
        }
        Traits::Inc(record);
        return true;
    }

    /// One reference off a loaded record; at 0 the root is deleted, the
    /// library released when asked, and the record returned to its
    /// discovered state and removed from the loaded list.
    void UnloadOneLocked(Record& record, short freeLibrary) {
        Traits::Dec(record);
        if (Traits::Count(record) > 0) return;
        Release(record, freeLibrary);
        auto at = std::find(loaded.begin(), loaded.end(), &record);
        if (at != loaded.end()) loaded.erase(at);
    }

    void UnloadAllLocked(short freeLibraries) {
        OBVector<Record*> snapshot;
        try {
            snapshot = loaded;
        } catch (const std::bad_alloc&) {
            // Without memory for a copy, walk from the end, which erasing
            // does not disturb.
            for (auto i = loaded.size(); i-- > 0;)
                UnloadOneLocked(*loaded[i], freeLibraries);
            return;
        }
        for (Record* record : snapshot)
            UnloadOneLocked(*record, freeLibraries);
    }

    /// Ends every reference still counted: the roots are deleted and their
    /// libraries released.
    void ReleaseAllLocked() {
        for (Record* record : loaded) {
            while (Traits::Count(*record) > 0)
                Traits::Dec(*record);
            Release(*record, 1);
        }
        loaded.clear();
    }

    /// The formats of every loaded root in load order; see GetFormats of the
    /// managers.
    int GetFormats(Format*& formats) {
        boost::shared_lock<boost::shared_mutex> guard(lock);
        formats = nullptr;
        OBVector<std::pair<Format*, short>> arrays;
        long long total = 0;
        bool collected = true;
        try {
            arrays.reserve(loaded.size());
        } catch (const std::bad_alloc&) {
            collected = false;
        }
        if (collected)
            for (Record* record : loaded) {
                Object* root = Traits::Root(*record);
                if (!root) continue;
                Format* array = nullptr;
                short count = 0;
                try {
                    root->GetFormats(array, count);
                } catch (...) {
                    NoteRuntimeError(*record, "GetFormats threw an exception");
                    continue; // what it handed out before throwing is unknown
                }
                if (count > 0 && array) total += count;
                arrays.push_back(std::make_pair(array, count)); // reserved above
            }
        long long capacity =
            std::max<long long>(total, 10LL * static_cast<long long>(discovered.size()));
        if (capacity < 1) capacity = 1;
        if (capacity <= 0x7FFFFFFF) formats = new Format[capacity];
        int appended = 0;
        for (auto& array : arrays)
            appended += AppendFormats(array.first, array.second, formats, appended,
                                      formats ? static_cast<int>(capacity) : 0);
        return formats ? appended : 0;
    }

    long long Count() {
        boost::shared_lock<boost::shared_mutex> guard(lock);
        return static_cast<long long>(discovered.size());
    }

    short GetNth(long long n, Record& out) {
        boost::shared_lock<boost::shared_mutex> guard(lock);
        if (n < 0 || n >= static_cast<long long>(discovered.size())) return 0;
        boost::lock_guard<boost::mutex> errors(errorLock);
        out = *discovered[static_cast<std::size_t>(n)];
        return 1;
    }

    short GetNthPreferences(long long n, OBPreferenceList* list) {
        boost::shared_lock<boost::shared_mutex> guard(lock);
        if (!list || n < 0 || n >= static_cast<long long>(discovered.size())) return 0;
        Record& record = *discovered[static_cast<std::size_t>(n)];
        Object* root = Traits::Root(record);
        if (!root) return 0;
        try {
            root->GetStreamPrefs(nullptr, list);
        } catch (...) {
            if (!ReportEscapedException())
                NoteRuntimeError(record, "GetStreamPrefs threw an exception");
            return 0;
        }
        return 1;
    }

    /// Records a problem of a loaded plug-in; look-ups that hold the lock
    /// shared may meet several at once.
    void NoteRuntimeError(Record& record, const char* text) {
        boost::lock_guard<boost::mutex> errors(errorLock);
        record.SetRuntimeErrorString(COBString(text));
    }

    /// Deletes the root, releases the library when asked and returns the
    /// record to its discovered state.
    static void Release(Record& record, short freeLibrary) {
        delete Traits::Root(record);
        if (freeLibrary && record.GetConnectionID()) obsys::FreeLibrary(record.GetConnectionID());
        record.Unload();
    }

    template <class T> static bool Push(OBVector<T>& list, const T& item) {
        try {
            list.push_back(item);
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    OBVector<Record*> discovered;
    IOBStringPtr folder;
    OBVector<IOBStringPtr> extraFolders;
    OBFilePathStyle style;
    OBVector<Record*> loaded;
    boost::shared_mutex lock;
    boost::mutex errorLock; // guards the records' runtime error strings
};

} // namespace obframework

#endif
