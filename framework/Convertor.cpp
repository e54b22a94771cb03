// The convertor manager, the convertors and the element pump.
#include <ombra/convertor.h>
#include <ombra/convertorlumservice.h>
#include <ombra/diagnostics.h>
#include <ombra/messages.h>
#include <ombra/pluginids.h>
#include <ombra/settings.h>
#include <ombra/utf8.h>

#include "framework/FrameworkInternal.h"
#include "streams/memory/StdAllocator.h"

#include <functional>
#include <map>
#include <new>

namespace {

constexpr int kTextWriterId = OBPLUGIN::kTextWriter;

template <class Key>
using ConvertorMap =
    std::map<Key, OBConvertor*, std::less<Key>, OBStdAllocator<std::pair<const Key, OBConvertor*>>>;

VT::ValueTypeEnum TypeOf(const OBPreference* p) {
    VT::ValueTypeEnum type = VT::ekUndefined;
    if (p) p->GetType(type);
    return type;
}

// The setters take the kinds the core knows; a plug-in's own kind of the
// same value type is set through its Value interface.
void SetBoolean(OBPreference* p, short value) {
    if (TypeOf(p) != VT::ekBool16) return;
    if (auto* b = dynamic_cast<OBBooleanPreference*>(p))
        b->SetCurrentValue(value);
    else if (auto* g = dynamic_cast<OBGroupPreference*>(p))
        g->SetCurrentValue(value);
    else
        obframework::SetThroughValue(p, value);
}

void SetInteger(OBPreference* p, int value) {
    if (TypeOf(p) != VT::ekSignedInt32) return;
    if (auto* i = dynamic_cast<OBIntegerPreference*>(p))
        i->SetCurrentValue(value);
    else
        obframework::SetThroughValue(p, value);
}

void SetString(OBPreference* p, const COBString& value) {
    if (TypeOf(p) != VT::ekString) return;
    if (auto* s = dynamic_cast<OBStringPreference*>(p))
        s->SetCurrentValue(value);
    else
        obframework::SetThroughValue(p, value);
}

void SetEnumeration(OBPreference* p, const char* text) {
    if (TypeOf(p) != VT::ekEnum) return;
    COBString value(text);
    if (auto* e = dynamic_cast<OBEnumPreference*>(p))
        e->SetCurrentValue(value);
    else
        obframework::SetThroughValue(p, value);
}

OBPreferenceList* ConstituentsOf(OBPreference* p) {
    OBPreferenceList* list = nullptr;
    if (auto* group = dynamic_cast<OBGroupPreference*>(p))
        group->GetConstituentPreferenceList(&list);
    return list;
}

OBPreference* Nth(const OBPreferenceList& list, int n) {
    OBPreference* p = nullptr;
    list.GetNthPreference(n, &p);
    return p;
}

OBPreference* NthOfType(const OBPreferenceList& list, int n, VT::ValueTypeEnum type) {
    OBPreference* p = nullptr;
    list.GetNthPreferenceOfType(n, type, &p);
    return p;
}

void AdjustReaderPreferences(OBPreferenceList& list) {
    if (OBPreferenceList* group = ConstituentsOf(Nth(list, OBPUMP::kReaderGroup)))
        SetBoolean(Nth(*group, OBPUMP::kReaderSwitch), 1);
}

const char* EncodingName(int encoding) {
    switch (encoding) {
    case 0:
        return "Unicode UTF8";
    case 1:
        return "Unicode UTF16";
    default:
        return "Default";
    }
}

const char* UnitName(int unit) {
    switch (unit) {
    case 2:
        return "Inches";
    case 7:
        return "Points";
    case 10:
        return "Twips";
    default:
        return "Undefined";
    }
}

// The text writer's line-end entry for a Preferences::lineEnd; null leaves
// the platform's.
const char* LineEndName(int lineEnd) {
    switch (lineEnd) {
    case OBLINEEND::kLF:
    case OBLINEEND::kNative:
        return "LF";
    case OBLINEEND::kCRLF:
        return "CR LF";
    case OBLINEEND::kCR:
        return "CR";
    default:
        return nullptr;
    }
}

COBString Text(const std::string& s) {
    COBString text;
    text.SetXString(s.data(), static_cast<long long>(s.size()));
    return text;
}

void AdjustTextWriterPreferences(OBPreferenceList& list, int writerId, const Preferences* options) {
    if (writerId != kTextWriterId) return;
    using namespace OBPUMP;
    SetEnumeration(NthOfType(list, kPlatformNth, VT::ekEnum), "PC");
    SetBoolean(Nth(list, kWriterSwitch), 1);
    if (!options) return;
    SetEnumeration(Nth(list, kEncoding), EncodingName(options->textEncoding));
    OBPreferenceList* group = ConstituentsOf(Nth(list, kOptionsGroup));
    if (!group) return;
    SetBoolean(NthOfType(*group, kGroupFlag1Nth, VT::ekBool16), options->groupFlag1);
    SetBoolean(NthOfType(*group, kGroupFlag2Nth, VT::ekBool16), options->groupFlag2);
    SetString(NthOfType(*group, kGroupText1Nth, VT::ekString), Text(options->groupText1));
    SetString(NthOfType(*group, kGroupText2Nth, VT::ekString), Text(options->groupText2));
    SetBoolean(NthOfType(*group, kGroupFlag3Nth, VT::ekBool16), options->groupFlag3);
    SetInteger(NthOfType(*group, kGroupNumberNth, VT::ekSignedInt32), options->groupNumber);
    SetEnumeration(NthOfType(*group, kUnitNth, VT::ekEnum), UnitName(options->measurementUnit));
    if (const char* ends = LineEndName(options->lineEnd))
        SetEnumeration(Nth(list, kLineEnds), ends);
}

// The pump: every Element the reader yields goes to the writer, then the
// end marker.
template <class Next, class Put> void PumpLoop(OBReader* reader, Next next, Put put) {
    Element* element = reader->GetFirstElement();
    if (element) put(element);
    element = next();
    while (element) {
        put(element);
        element = next();
    }
    put(nullptr);
}

// g++ lets the loop look the two overrides up once instead of at every call
// (a bound member function), which takes a tenth off the cost per Element;
// a plug-in's class does not change while it runs.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpmf-conversions"
void Pump(OBReader* reader, OBWriter* writer) {
    using NextFn = Element* (*)(OBReader*);
    using PutFn = void (*)(OBWriter*, Element*);
    NextFn next = reinterpret_cast<NextFn>(reader->*(&OBReader::GetNextElement));
    PutFn put = reinterpret_cast<PutFn>(writer->*(&OBWriter::PutElement));
    PumpLoop(
        reader, [&] { return next(reader); }, [&](Element* e) { put(writer, e); });
}
#pragma GCC diagnostic pop
#else
void Pump(OBReader* reader, OBWriter* writer) {
    PumpLoop(
        reader, [&] { return reader->GetNextElement(); },
        [&](Element* e) { writer->PutElement(e); });
}
#endif

template <class PlugIn> void ResetQuietly(PlugIn* plugIn) {
    try {
        plugIn->Reset();
    } catch (...) {
    }
}

// A folder named in the host's 8-bit text, which on this platform is the
// file system's UTF-8; bytes that are not UTF-8 are kept as a byte path.
IOBString* FolderString(const std::string& folder) {
    WOBString* wide = new WOBString;
    if (wide && OBStringUtils::ConvertUTF8ToUTF16String(folder.data(), folder.size(), *wide) &&
        wide->Length() > 0)
        return wide;
    delete wide;
    COBString* bytes = new COBString;
    if (bytes) bytes->SetXString(folder.data(), static_cast<long long>(folder.size()));
    return bytes;
}

} // namespace

// ---- convertors ------------------------------------------------------------

OBConvertor::OBConvertor() : data_(new OBConvertorData{nullptr, nullptr, nullptr, nullptr}) {}

OBConvertor::~OBConvertor() {
    if (data_ && data_->writer && data_->writerManager)
        data_->writerManager->UnloadWriter(data_->writer->GetWriterID(), 1);
    delete data_;
}

short OBConvertor::CanConvertThis(OBStream* input) {
    if (!data_ || !data_->readerManager || !input) return 0;
    short found = 0;
    OBReaderData record = data_->readerManager->CanImportThis(input, found);
    if (!found || !record.GetReaderRoot()) return 0;
    data_->reader = record.GetReaderRoot();
    return 1;
}

short OBConvertor::ExtractData(OBStream* input, OBStream* output, const Preferences* options) {
    OBPreferenceList readerList;
    OBPreferenceList writerList;
    if (!input || !output || !data_) return 0;
    if (CanConvertThis(input) != 1) return 0;
    OBReader* reader = data_->reader;
    OBWriter* writer = data_->writer;
    if (!reader || !writer) return 0;
    try {
        reader->GetStreamPrefs(input, &readerList);
        OBPreferenceList* readerPrefs = &readerList;
        if (readerList.GetNumberOfPreferences() > 0)
            AdjustReaderPreferences(readerList);
        else
            readerPrefs = reader->GetPrefs();
        const OBPreferenceSettings* settings = options ? options->settings : nullptr;
        if (settings && readerPrefs == &readerList)
            OBApplyPreferenceSettings(&readerList, *settings);
        reader->Init(input, readerPrefs);
        writer->GetStreamPrefs(output, &writerList);
        AdjustTextWriterPreferences(writerList, writer->GetWriterID(), options);
        if (settings) OBApplyPreferenceSettings(&writerList, *settings);
        writer->Init(output, &writerList);
        Pump(reader, writer);
    } catch (...) {
        // Logged first: the plug-ins' Reset discards the thread's error code.
        bool outOfMemory = obframework::ReportEscapedException();
        // The plug-ins' locks and per-thread state must not outlive the failure.
        ResetQuietly(writer);
        ResetQuietly(reader);
        if (outOfMemory)
            OBErrorUtils::OBSetGlobalErrorCode(OBERR::kOutOfMemory,
                                               OBMessageId(OBERR::kOutOfMemory));
        return 0;
    }
    ResetQuietly(writer);
    ResetQuietly(reader);
    return 1;
}

OBTextConvertor::OBTextConvertor() = default;
OBTextConvertor::~OBTextConvertor() = default;

short OBTextConvertor::CanConvertThis(OBStream* input) {
    return OBConvertor::CanConvertThis(input);
}

OBWriterConvertor::OBWriterConvertor() = default;
OBWriterConvertor::~OBWriterConvertor() = default;

// ---- the manager -----------------------------------------------------------

struct OBConvertorManager::Cache {
    OB_MEMORY_OPERATORS
    ConvertorMap<unsigned int> byId;
    ConvertorMap<int> byWriter;
};

OBConvertorManager::OBConvertorManager(std::string readerFolder, std::string writerFolder)
    : OBConvertorManager(std::vector<std::string>{std::move(readerFolder)},
                         std::vector<std::string>{std::move(writerFolder)}) {}

OBConvertorManager::OBConvertorManager(const std::vector<std::string>& readerFolders,
                                       const std::vector<std::string>& writerFolders)
    : managers_(nullptr), cache_(new Cache), installedService_(nullptr) {
    if (!OBLumHandler::GetLumService()) {
        OBLumService* service = new OBConvertorLumService;
        if (service) {
            OBLumHandler::SetLumService(service);
            if (OBLumHandler::GetLumService() == service)
                installedService_ = service;
            else
                delete service;
        }
    }
    MakeManagers(readerFolders, writerFolders);
}

void OBConvertorManager::MakeManagers(const std::vector<std::string>& readerFolders,
                                      const std::vector<std::string>& writerFolders) {
    if (readerFolders.empty() || writerFolders.empty() || readerFolders[0].empty() ||
        writerFolders[0].empty())
        return;
    managers_ = new OBPlugInManagers{nullptr, nullptr};
    if (!managers_) return;
    IOBStringPtr readers(FolderString(readerFolders[0]));
    IOBStringPtr writers(FolderString(writerFolders[0]));
    if (!readers.IsValid() || !writers.IsValid()) return;
    managers_->readerManager = ReaderManager::CreateInstance(*readers, kPathStyleNative);
    managers_->writerManager = WriterManager::CreateInstance(*writers, kPathStyleNative);
    // Added folders load before LoadAllReaders, so that every reader is
    // counted alike and outlives the other managers of the process.
    for (std::size_t i = 1; i < readerFolders.size() && managers_->readerManager; ++i) {
        IOBStringPtr more(FolderString(readerFolders[i]));
        if (more.IsValid() && !readerFolders[i].empty()) managers_->readerManager->AddFolder(*more);
    }
    for (std::size_t i = 1; i < writerFolders.size() && managers_->writerManager; ++i) {
        IOBStringPtr more(FolderString(writerFolders[i]));
        if (more.IsValid() && !writerFolders[i].empty()) managers_->writerManager->AddFolder(*more);
    }
    if (managers_->readerManager) managers_->readerManager->LoadAllReaders();
}

OBConvertorManager::~OBConvertorManager() {
    if (cache_) {
        for (auto& entry : cache_->byId)
            delete entry.second;
        for (auto& entry : cache_->byWriter)
            delete entry.second;
    }
    if (managers_) {
        if (ReaderManager* readers = managers_->readerManager) {
            readers->UnloadAllReaders(1);
            readers->DeleteInstance();
        }
        if (WriterManager* writers = managers_->writerManager) writers->DeleteInstance();
        delete managers_;
    }
    // Only a service this manager installed, and only where it still is.
    if (installedService_ && OBLumHandler::GetLumService() == installedService_) {
        delete installedService_;
        OBLumHandler::ResetLumService();
    }
    delete cache_;
}

void OBConvertorManager::InitConvertor(OBConvertor* convertor, unsigned int id) {
    if (!convertor || !convertor->data_ || !cache_) return;
    convertor->data_->readerManager = GetReaderManager();
    convertor->data_->writerManager = GetWriterManager();
    if (cache_->byId.count(id)) return;
    try {
        cache_->byId.emplace(id, convertor);
    } catch (const std::bad_alloc&) {
    }
}

OBConvertor* OBConvertorManager::GetConvertor(unsigned int id, ErrorCode& error) {
    if (cache_) {
        auto cached = cache_->byId.find(id);
        if (cached != cache_->byId.end()) {
            error = kNoError;
            return cached->second;
        }
    }
    if (id != 1) {
        error = kUnknownConvertor;
        return nullptr;
    }
    error = kWriterUnavailable;
    WriterManager* writers = GetWriterManager();
    if (!writers || !GetReaderManager()) return nullptr;
    OBWriter* writer = writers->GetWriter(kTextWriterId);
    if (!writer) return nullptr;
    OBTextConvertor* convertor = new OBTextConvertor;
    InitConvertor(convertor, 1);
    bool cached = false;
    if (cache_) {
        auto entry = cache_->byId.find(1);
        cached = entry != cache_->byId.end() && entry->second == convertor;
    }
    if (!cached) {
        delete convertor;
        OBErrorUtils::OBSetGlobalErrorCode(OBERR::kOutOfMemory, OBMessageId(OBERR::kOutOfMemory));
        return nullptr;
    }
    convertor->data_->writer = writer;
    error = kNoError;
    return convertor;
}

OBConvertor* OBConvertorManager::GetConvertorForWriter(int writerId, ErrorCode& error) {
    if (cache_) {
        auto cached = cache_->byWriter.find(writerId);
        if (cached != cache_->byWriter.end()) {
            error = kNoError;
            return cached->second;
        }
    }
    error = kWriterUnavailable;
    WriterManager* writers = GetWriterManager();
    if (!writers || !GetReaderManager() || !cache_) return nullptr;
    OBWriter* writer = writers->GetWriter(writerId);
    if (!writer) return nullptr;
    OBWriterConvertor* convertor = new OBWriterConvertor;
    bool cached = false;
    if (convertor && convertor->data_) {
        try {
            cache_->byWriter.emplace(writerId, convertor);
            cached = true;
        } catch (const std::bad_alloc&) {
        }
    }
    if (!cached) {
        delete convertor;
        OBErrorUtils::OBSetGlobalErrorCode(OBERR::kOutOfMemory, OBMessageId(OBERR::kOutOfMemory));
        return nullptr;
    }
    convertor->data_->readerManager = GetReaderManager();
    convertor->data_->writerManager = writers;
    convertor->data_->writer = writer;
    error = kNoError;
    return convertor;
}

ReaderManager* OBConvertorManager::GetReaderManager() const {
    return managers_ ? managers_->readerManager : nullptr;
}

WriterManager* OBConvertorManager::GetWriterManager() const {
    return managers_ ? managers_->writerManager : nullptr;
}
