// The writer manager: one instance, writers handed out by id.
#include <ombra/diagnostics.h>
#include <ombra/messages.h>
#include <ombra/writermanager.h>

#include "framework/PlugInRegistry.h"

#include <atomic>

using obframework::PlugInRegistry;
using obframework::WriterTraits;

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
    return obframework::SingleInstance<WriterManager>::Create([&]() -> WriterManager* {
        WriterManager* made = new WriterManager(folder, style);
        if (made && !made->impl_) {
            delete made;
            made = nullptr;
        }
        return made;
    });
}

WriterManager* WriterManager::GetInstance() {
    return obframework::SingleInstance<WriterManager>::Get();
}

void WriterManager::DeleteInstance() {
    obframework::SingleInstance<WriterManager>::Delete(
        [](WriterManager* instance) { delete instance; });
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
