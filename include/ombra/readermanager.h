// The process-wide registry of reader plug-ins.
#ifndef OMBRA_READERMANAGER_H
#define OMBRA_READERMANAGER_H

#include <ombra/export.h>
#include <ombra/plugin.h>
#include <ombra/strings.h>

/// The ids of the readers a thread wants asked, in order (host-supplied).
struct OBChosenReaderIDList {
    int* ids;
    int count;
};

/// Finds the reader libraries (*.obrd, letter case counting) anywhere under
/// one folder, keeps one record per library, loads each library once and
/// keeps its shared reader object (the root), and decides which reader
/// recognises an input: the loaded readers are asked in the fixed default
/// order of reader ids
///   1, 2, 3, 4, 5, 6, 7, 16, 8, 11, 10, 12, 13, 14, 17, 20, 18, 21, 22, 9, 23
/// (readers with other ids are never asked), or in the order that the
/// calling thread chose with UseReaders for its next conversion.
///
/// A library that cannot be loaded, lacks "GetReader", or whose entry point
/// returns null or throws is skipped: its record keeps status
/// kLoadStatusNotLoaded and its error string says why.
///
/// Locks. CreateInstance and DeleteInstance serialise on a static mutex.
/// The manager lock is exclusive while loading, unloading and GetReader
/// run, and shared while CanImportThis, GetFormats and the record listing
/// run, so a released root can never be reached by a look-up.
class OMBRA_API ReaderManager {
public:
    OB_MEMORY_OPERATORS

    /// Creates the instance on the first call (detecting and loading every
    /// reader under folder), counts the call and returns the instance. The
    /// folder and style of later calls are ignored. Null when there is no
    /// memory for the instance (nothing is counted then).
    static ReaderManager* CreateInstance(IOBString& folder, OBFilePathStyle style);
    /// The instance, or null. Takes no lock.
    static ReaderManager* GetInstance();
    /// Uncounts one CreateInstance; the last one destroys the instance,
    /// which unloads every reader and releases its library (references that
    /// GetReader counted end with the manager too).
    void DeleteInstance();

    /// Fills the record list from the folder when it is empty.
    void DetectReaders();
    /// Adds the reader libraries under another folder to the ones found so
    /// far and loads them; a folder added before (or the first one) adds
    /// nothing. Look-ups meet the first folder's plug-ins first.
    void AddFolder(IOBString& folder);
    /// Loads every discovered reader that is not loaded, and counts one more
    /// reference on those that are.
    void LoadAllReaders();
    /// Takes one reference off every loaded reader; a reader whose count
    /// reaches 0 has its root deleted, its library released when
    /// freeLibraries is non-zero, and its record returned to the discovered
    /// state (no root, no handle, status kLoadStatusNotLoaded).
    void UnloadAllReaders(short freeLibraries);
    /// The same for the first loaded reader with readerId; nothing when no
    /// loaded reader has it.
    void UnloadReader(int readerId, short freeLibrary);
    /// A copy of the record of the first loaded reader, in detection order,
    /// whose root answers exactly 1 for input, and found = 1; otherwise an
    /// empty record and found = 0. Loads nothing.
    OBReaderData CanImportThis(OBStream* input, short& found);
    /// Probes every discovered library in discovery order with a fresh
    /// object and returns the first object that answers exactly 1 for
    /// input, or null. The object is the caller's, who deletes it; its
    /// library stays loaded for the life of the process. A library not
    /// loaded before becomes loaded with a root of its own (never the
    /// returned object). Either way the reader's count goes up by one, which
    /// UnloadReader(id, …) takes off again.
    OBReader* GetReader(OBStream* input);
    /// A new array (`new Format[n]`, the caller's to `delete[]`) of the
    /// formats of every loaded reader in load order, duplicates kept, and
    /// its count. The array has room for every format the readers report
    /// and for at least 10 per discovered record; formats is null (and the
    /// result 0) only when there is no memory.
    int GetFormats(Format*& formats);
    /// The number of discovered records.
    long long GetNumberOfReaders();
    /// Replaces the calling thread's chosen reader list with ids's ids in
    /// array order. A null record or a count below 1 leaves the thread with
    /// an empty list: CanImportThis on it finds nothing until the list is
    /// reset, which every reader Reset does.
    void UseReaders(OBChosenReaderIDList* ids);
    /// Drops the calling thread's chosen reader list.
    void ResetUseReaders();
    /// A copy of the folder path (empty handle when there is none).
    IOBStringPtr GetReaderPath();
    /// The style given at creation.
    OBFilePathStyle GetPathStyle();

    /// Hosts listing the plug-ins: out = a copy of discovered record n (from
    /// 0, in discovery order); 0 and out unchanged outside the records.
    short GetNthReaderData(long long n, OBReaderData& out);
    /// Adds the preferences that loaded reader n (as GetNthReaderData)
    /// publishes for any input (GetStreamPrefs with a null stream) to list;
    /// 0 when the reader is not loaded or its call threw.
    short GetNthReaderPreferences(long long n, OBPreferenceList* list);

private:
    ReaderManager(IOBString& folder, OBFilePathStyle style);
    ~ReaderManager();
    ReaderManager(const ReaderManager&) = delete;
    ReaderManager& operator=(const ReaderManager&) = delete;

    struct Impl;
    Impl* impl_;
};

#endif
