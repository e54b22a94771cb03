// The reader manager: one instance, reader detection in a fixed id order or
// the order a thread chose, and probing with fresh objects.
#include <ombra/memory.h>
#include <ombra/readermanager.h>

#include "framework/FrameworkInternal.h"
#include "framework/PlugInRegistry.h"

#include <boost/thread/tss.hpp>

#include <atomic>

using obframework::PlugInRegistry;
using obframework::ReaderTraits;

namespace {

// The reader ids in the order they are asked; ids 15 and 19 are not asked.
const int kDefaultOrder[] = {1,  2,  3,  4,  5,  6,  7,  16, 8, 11, 10,
                             12, 13, 14, 17, 20, 18, 21, 22, 9, 23};
const int kDefaultOrderCount = sizeof kDefaultOrder / sizeof kDefaultOrder[0];

// Each instance gets a new generation; a thread's chosen list belongs to the
// generation that made it, so a later instance never sees it.
std::atomic<unsigned long long> gGeneration{0};

struct ChosenReaders {
    OB_MEMORY_OPERATORS
    ~ChosenReaders() { OBLibFree(ids); }
    unsigned long long generation = 0;
    int* ids = nullptr;
    int count = 0;
};

boost::thread_specific_ptr<ChosenReaders>& ChosenSlot() {
    static boost::thread_specific_ptr<ChosenReaders> slot;
    return slot;
}

} // namespace

void obframework::DropChosenReaders() {
    ChosenSlot().reset();
}

struct ReaderManager::Impl : PlugInRegistry<ReaderTraits> {
    Impl(IOBString& folder, OBFilePathStyle style) : PlugInRegistry(folder, style) {}
    unsigned long long generation = 0;
};

ReaderManager::ReaderManager(IOBString& folder, OBFilePathStyle style)
    : impl_(new Impl(folder, style)) {
    if (!impl_) return;
    impl_->generation = ++gGeneration;
    DetectReaders();
    LoadAllReaders();
}

ReaderManager::~ReaderManager() {
    obframework::DropChosenReaders();
    delete impl_;
}

ReaderManager* ReaderManager::CreateInstance(IOBString& folder, OBFilePathStyle style) {
    return obframework::SingleInstance<ReaderManager>::Create([&]() -> ReaderManager* {
        ReaderManager* made = new ReaderManager(folder, style);
        if (made && !made->impl_) {
            delete made;
            made = nullptr;
        }
        return made;
    });
}

ReaderManager* ReaderManager::GetInstance() {
    return obframework::SingleInstance<ReaderManager>::Get();
}

void ReaderManager::DeleteInstance() {
    obframework::SingleInstance<ReaderManager>::Delete(
        [](ReaderManager* instance) { delete instance; });
}

void ReaderManager::DetectReaders() {
    impl_->Detect();
}

void ReaderManager::AddFolder(IOBString& folder) {
    impl_->AddFolder(folder);
}

void ReaderManager::LoadAllReaders() {
    boost::unique_lock<boost::shared_mutex> guard(impl_->lock);
    impl_->LoadAllLocked();
}

void ReaderManager::UnloadAllReaders(short freeLibraries) {
    boost::unique_lock<boost::shared_mutex> guard(impl_->lock);
    impl_->UnloadAllLocked(freeLibraries);
}

void ReaderManager::UnloadReader(int readerId, short freeLibrary) {
    boost::unique_lock<boost::shared_mutex> guard(impl_->lock);
    for (OBReaderData* record : impl_->loaded)
        if (record->GetReaderID() == readerId) {
            impl_->UnloadOneLocked(*record, freeLibrary);
            return;
        }
}

OBReaderData ReaderManager::CanImportThis(OBStream* input, short& found) {
    found = 0;
    OBReaderData result;
    if (!input) return result;
    const int* order = kDefaultOrder;
    int count = kDefaultOrderCount;
    if (ChosenReaders* chosen = ChosenSlot().get()) {
        if (chosen->generation == impl_->generation) {
            order = chosen->ids;
            count = chosen->count;
        }
    }
    boost::shared_lock<boost::shared_mutex> guard(impl_->lock);
    for (int i = 0; i < count; ++i) {
        for (OBReaderData* record : impl_->loaded) {
            OBReader* root = record->GetReaderRoot();
            if (!root || root->GetReaderID() != order[i]) continue;
            short answer = 0;
            try {
                answer = root->CanImportThis(input);
            } catch (...) {
                if (!obframework::ReportEscapedException())
                    impl_->NoteRuntimeError(*record, "CanImportThis threw an exception");
            }
            if (answer == 1) {
                boost::lock_guard<boost::mutex> errors(impl_->errorLock);
                result = *record;
                found = 1;
                return result;
            }
            break; // only the first loaded reader with the id is asked
        }
    }
    return result;
}

OBReader* ReaderManager::GetReader(OBStream* input) {
    if (!input) return nullptr;
    boost::unique_lock<boost::shared_mutex> guard(impl_->lock);
    for (OBReaderData* record : impl_->discovered) {
        OBReaderUtils utils(*record);
        OBModuleHandle handle = nullptr;
        COBString error;
        utils.Load(&handle, &error);
        OBReader* probe = handle ? utils.CreateReader(handle, error) : nullptr;
        if (!probe) {
            utils.UnLoad(handle);
            if (record->GetReaderRefCount() < 1) record->SetErrorString(error);
            continue;
        }
        short answer = 0;
        try {
            answer = probe->CanImportThis(input);
        } catch (...) {
            if (!obframework::ReportEscapedException())
                impl_->NoteRuntimeError(*record, "CanImportThis threw an exception");
        }
        if (answer != 1) {
            delete probe;
            utils.UnLoad(handle);
            continue;
        }
        // The object that answered is the caller's, and its library stays
        // loaded for it. The record gets a root of its own (as a load makes
        // it), so that deleting the caller's object never touches the root.
        if (record->GetReaderRefCount() < 1) {
            if (!obframework::LoadReaderRecord(*record) || !impl_->Adopted(*record)) {
                delete probe;
                utils.UnLoad(handle);
                return nullptr;
            }
        } else {
            record->IncReaderRefCount();
        }
        OBSysFileRef path(record->GetSystemPathNameRef());
        probe->SetReaderName(&path);
        return probe;
    }
    return nullptr;
}

int ReaderManager::GetFormats(Format*& formats) {
    return impl_->GetFormats(formats);
}

long long ReaderManager::GetNumberOfReaders() {
    return impl_->Count();
}

void ReaderManager::UseReaders(OBChosenReaderIDList* ids) {
    boost::thread_specific_ptr<ChosenReaders>& slot = ChosenSlot();
    slot.reset();
    ChosenReaders* chosen = new ChosenReaders;
    if (!chosen) return;
    chosen->generation = impl_->generation;
    if (ids && ids->ids && ids->count > 0) {
        chosen->ids = static_cast<int*>(OBLibAllocate(sizeof(int) * ids->count));
        if (chosen->ids) {
            OBMemcpy(chosen->ids, ids->ids, sizeof(int) * ids->count);
            chosen->count = ids->count;
        }
    }
    slot.reset(chosen);
}

void ReaderManager::ResetUseReaders() {
    obframework::DropChosenReaders();
}

IOBStringPtr ReaderManager::GetReaderPath() {
    return impl_->folder;
}

OBFilePathStyle ReaderManager::GetPathStyle() {
    return impl_->style;
}

short ReaderManager::GetNthReaderData(long long n, OBReaderData& out) {
    return impl_->GetNth(n, out);
}

short ReaderManager::GetNthReaderPreferences(long long n, OBPreferenceList* list) {
    return impl_->GetNthPreferences(n, list);
}
