// The process-wide registry of writer plug-ins.
#ifndef OMBRA_WRITERMANAGER_H
#define OMBRA_WRITERMANAGER_H

#include <ombra/export.h>
#include <ombra/plugin.h>
#include <ombra/strings.h>

/// Finds the writer libraries (*.obwt, letter case counting) anywhere under
/// one folder, loads each once and hands out its shared writer object (the
/// root) by writer id. Failed libraries are skipped and recorded as for
/// readers (ReaderManager). Writers obtained with GetWriter stay loaded
/// until the manager is destroyed.
///
/// Locks as for the ReaderManager: a static mutex for creation and
/// deletion, and a manager lock that is exclusive for loading, unloading
/// and GetWriter and shared for GetFormats and the record listing.
class OMBRA_API WriterManager {
public:
    OB_MEMORY_OPERATORS

    /// As ReaderManager::CreateInstance, with the writer manager's own
    /// instance, count and static mutex.
    static WriterManager* CreateInstance(IOBString& folder, OBFilePathStyle style);
    static WriterManager* GetInstance();
    /// The last one destroys the instance: every writer is deleted and its
    /// library released, also those that GetWriter handed out (their
    /// references end with the manager), so nothing outlives it.
    void DeleteInstance();

    /// Fills the record list from the folder when it is empty.
    void DetectWriters();
    /// Adds the writer libraries under another folder to the ones found so
    /// far and loads them; a folder added before (or the first one) adds
    /// nothing. Look-ups meet the first folder's plug-ins first.
    void AddFolder(IOBString& folder);
    /// The shared root of the first loaded writer with writerId, counting one
    /// more reference on it; the same object for every caller. When no
    /// writer is loaded it loads them first; when still none is, it sets the
    /// calling thread's error code to 11 (OBERR::kNoWriterLoaded) with string
    /// id 0xFFFFFFFF and returns null. An id that no loaded writer has gives
    /// null and leaves the error code alone.
    OBWriter* GetWriter(int writerId);
    /// Accepted and has no effect: writers stay loaded.
    void UnloadWriter(int writerId, short freeLibrary);
    /// The number of discovered records.
    long long GetNumberOfWriters();
    /// As ReaderManager::GetFormats, for the loaded writers.
    int GetFormats(Format*& formats);
    /// A copy of the folder path (empty handle when there is none).
    IOBStringPtr GetWriterPath();

    /// As ReaderManager::GetNthReaderData.
    short GetNthWriterData(long long n, OBWriterData& out);
    /// As ReaderManager::GetNthReaderPreferences.
    short GetNthWriterPreferences(long long n, OBPreferenceList* list);

private:
    WriterManager(IOBString& folder, OBFilePathStyle style);
    ~WriterManager();
    WriterManager(const WriterManager&) = delete;
    WriterManager& operator=(const WriterManager&) = delete;

    void LoadAllWriters();
    void UnloadAllWriters(short freeLibraries);

    struct Impl;
    Impl* impl_;
};

#endif
