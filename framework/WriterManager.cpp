// The writer manager: one instance, writers handed out by id.
#include <ombra/diagnostics.h>
#include <ombra/messages.h>
#include <ombra/writermanager.h>

#include "framework/PlugInRegistry.h"

#include <atomic>

using obframework::PlugInRegistry;
using obframework::WriterTraits;

namespace {

std::atomic<WriterManager*> gInstance{nullptr};

boost::mutex& StaticMutex() {
    static boost::mutex mutex;
    return mutex;
}

} // namespace

struct WriterManager::Impl : PlugInRegistry<WriterTraits> {
    Impl(IOBString& folder, OBFilePathStyle style) : PlugInRegistry(folder, style) {}
};

WriterManager::WriterManager(IOBString& folder, OBFilePathStyle style)
    : impl_(new Impl(folder, style)) {
    if (!impl_) return;
    DetectWriters();
    LoadAllWriters();
}

WriterManager::~WriterManager() {
    delete impl_;
}

WriterManager* WriterManager::CreateInstance(IOBString& folder, OBFilePathStyle style) {
    boost::lock_guard<boost::mutex> guard(StaticMutex());
    WriterManager* instance = gInstance.load();
    if (!instance) {
        instance = new WriterManager(folder, style);
        if (!instance) return nullptr;
        if (!instance->impl_) {
            delete instance;
            return nullptr;
        }
        gInstance.store(instance);
    }
    ++instance->impl_->instanceCount;
    return instance;
}

WriterManager* WriterManager::GetInstance() {
    return gInstance.load();
}

void WriterManager::DeleteInstance() {
    boost::lock_guard<boost::mutex> guard(StaticMutex());
    WriterManager* instance = gInstance.load();
    if (!instance || --instance->impl_->instanceCount > 0) return;
    gInstance.store(nullptr);
    delete instance;
}

void WriterManager::DetectWriters() {
    impl_->Detect();
}

void WriterManager::AddFolder(IOBString& folder) {
    impl_->AddFolder(folder);
}

void WriterManager::LoadAllWriters() {
    boost::unique_lock<boost::shared_mutex> guard(impl_->lock);
    impl_->LoadAllLocked();
}

void WriterManager::UnloadAllWriters(short freeLibraries) {
    boost::unique_lock<boost::shared_mutex> guard(impl_->lock);
    impl_->UnloadAllLocked(freeLibraries);
}

OBWriter* WriterManager::GetWriter(int writerId) {
    boost::unique_lock<boost::shared_mutex> guard(impl_->lock);
    if (impl_->loaded.empty()) {
        impl_->LoadAllLocked();
        if (impl_->loaded.empty()) {
            OBErrorUtils::OBSetGlobalErrorCode(OBERR::kNoWriterLoaded, 0xFFFFFFFFu);
            return nullptr;
        }
    }
    for (OBWriterData* record : impl_->loaded)
        if (record->GetWriterID() == writerId) {
            record->IncWriterRefCount();
            return record->GetWriterRoot();
        }
    return nullptr;
}

void WriterManager::UnloadWriter(int, short) {}

long long WriterManager::GetNumberOfWriters() {
    return impl_->Count();
}

int WriterManager::GetFormats(Format*& formats) {
    return impl_->GetFormats(formats);
}

IOBStringPtr WriterManager::GetWriterPath() {
    return impl_->folder;
}

short WriterManager::GetNthWriterData(long long n, OBWriterData& out) {
    return impl_->GetNth(n, out);
}

short WriterManager::GetNthWriterPreferences(long long n, OBPreferenceList* list) {
    return impl_->GetNthPreferences(n, list);
}
