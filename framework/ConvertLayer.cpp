// The convenience layer: a converter that loads the plug-ins once and runs
// whole conversions through the core's pump, and the calls around it.
#include <ombra/convert.h>
#include <ombra/convertorlumservice.h>
#include <ombra/diagnostics.h>
#include <ombra/files.h>
#include <ombra/messages.h>
#include <ombra/pluginids.h>
#include <ombra/resources.h>
#include <ombra/settings.h>
#include <ombra/textservice.h>
#include <ombra/typedstreams.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>

#include "framework/ConvertInternal.h"
#include "framework/PathInput.h"
#include "platform/Files.h"
#include "platform/Outputs.h"

#include <boost/thread/locks.hpp>
#include <boost/thread/mutex.hpp>

#include <cstdlib>
#include <map>
#include <memory>
#include <new>

namespace obconvert {

CallConvertor::CallConvertor(ReaderManager* readers, OBWriter* writer) {
    if (!data_) return;
    data_->readerManager = readers;
    data_->writer = writer;
}

CallConvertor::~CallConvertor() = default;

} // namespace obconvert

namespace ombra {

using obconvert::Fail;

namespace {

// The text writer's preferences that the layer sets by name besides the
// Preferences record (plugins/writers/text/text.strings).
const char kEncodingSetting[] = "Text encoding";
const char kCodePageSetting[] = "Code page";

// Counts the Elements the reader yields on their way to the writer, which
// it otherwise leaves alone: the writer's own Init and Reset take and give
// back its lock.
class CountingWriter : public OBWriter {
public:
    explicit CountingWriter(OBWriter* writer) : writer_(writer) {
        SetWriterID(writer->GetWriterID());
    }
    ~CountingWriter() override;
    void GetStreamPrefs(OBStream* output, OBPreferenceList* list) override {
        writer_->GetStreamPrefs(output, list);
    }
    using OBWriter::Init;
    void Init(OBStream* output, OBPreferenceList* list) override { writer_->Init(output, list); }
    void Reset() override { writer_->Reset(); }
    void PutElement(Element* element) override {
        if (element) ++count_;
        writer_->PutElement(element);
    }
    void GetFormats(Format*& formats, short& count) override {
        writer_->GetFormats(formats, count);
    }
    long long Count() const { return count_; }

private:
    OBWriter* writer_;
    long long count_ = 0;
};

CountingWriter::~CountingWriter() = default;

std::string ResourceUtf8(unsigned id) {
    char text[kOBResourceBufferSize];
    int n = OBLoadResourceString(id, text, sizeof text);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

// The error code whose message a string id is, or -1.
int CodeOf(unsigned id) {
    if (id < kOBMessageBase || (id - kOBMessageBase) % kOBLocaleBlock != 0) return -1;
    unsigned code = (id - kOBMessageBase) / kOBLocaleBlock;
    return code <= OBERR::kNoWriterLoaded ? static_cast<int>(code) : -1;
}

void CollectNotes(const OBConversionLogger& log, Result& result) {
    for (int n = 0; n < log.GetStringCount(); ++n) {
        Note note;
        note.id = log.GetNthStringId(n);
        note.code = CodeOf(note.id);
        note.text = ResourceUtf8(note.id + log.GetLocale());
        if (note.text.empty()) note.text = ResourceUtf8(note.id + OBL::kEnglish);
        if (note.text.empty()) note.text = "message " + std::to_string(note.id);
        for (int k = 0; k < log.GetDetailCount(n); ++k)
            note.details.push_back(log.GetNthDetail(n, k));
        note.omittedDetails = log.GetOmittedDetailCount(n);
        note.count = log.GetNthCount(n);
        for (std::size_t at = note.text.find("{n}"); at != std::string::npos;
             at = note.text.find("{n}", at))
            note.text.replace(at, 3, std::to_string(note.count));
        (OBIsReportId(note.id) ? result.dropped : result.notes).push_back(std::move(note));
    }
}

bool Logged(const OBConversionLogger& log, int code) {
    return log.HasEntry(OBMessageId(code)) == 1;
}

// Installs the core's text service on a thread that converts without one;
// the thread's end (or OBReleaseThreadState) deletes it.
void EnsureTextService() {
    if (OBLumHandler::GetLumService()) return;
    OBLumService* service = new OBConvertorLumService;
    if (!service) return;
    OBLumHandler::SetLumService(service);
    if (OBLumHandler::GetLumService() != service) delete service;
}

// A Boolean, integer or string default of a preference, through its Value.
template <class T, class V> void DefaultOf(OBPreference* p, T& out) {
    if (!p) return;
    Value* value = nullptr;
    p->GetDefaultValue(value);
    if (auto* typed = dynamic_cast<V*>(value)) typed->Get(out);
    ValueUtil::Recycle(value);
}

std::string StringDefault(OBPreference* p) {
    if (!p) return std::string();
    Value* value = nullptr;
    p->GetDefaultValue(value);
    std::string text;
    if (auto* s = dynamic_cast<ValueString*>(value))
        if (s->GetPtr() && !s->GetPtr()->IsUnicode() && !s->GetPtr()->IsNull())
            text = s->GetPtr()->GrabCString();
    ValueUtil::Recycle(value);
    return text;
}

// The record the pump reads for the text writer, holding the defaults that
// the writer publishes, so that only what the options say changes.
Preferences RecordFromDefaults(OBPreferenceList& list) {
    Preferences record{};
    record.measurementUnit = -1;
    OBPreference* p = nullptr;
    list.GetNthPreference(2, &p);
    OBPreferenceList* group = nullptr;
    if (auto* g = dynamic_cast<OBGroupPreference*>(p)) g->GetConstituentPreferenceList(&group);
    if (!group) return record;
    auto nth = [group](int n, VT::ValueTypeEnum type) {
        OBPreference* found = nullptr;
        group->GetNthPreferenceOfType(n, type, &found);
        return found;
    };
    DefaultOf<short, ValueBool16>(nth(1, VT::ekBool16), record.groupFlag1);
    DefaultOf<short, ValueBool16>(nth(2, VT::ekBool16), record.groupFlag2);
    DefaultOf<short, ValueBool16>(nth(3, VT::ekBool16), record.groupFlag3);
    DefaultOf<int, ValueInteger32>(nth(1, VT::ekSignedInt32), record.groupNumber);
    record.groupText1 = StringDefault(nth(1, VT::ekString));
    record.groupText2 = StringDefault(nth(2, VT::ekString));
    return record;
}

int LineEndCode(LineEnd lineEnd) {
    switch (lineEnd) {
    case LineEnd::kLF:
        return OBLINEEND::kLF;
    case LineEnd::kCRLF:
        return OBLINEEND::kCRLF;
    case LineEnd::kCR:
        return OBLINEEND::kCR;
    case LineEnd::kNative:
        return OBLINEEND::kNative;
    default:
        return OBLINEEND::kPlatform;
    }
}

std::string Folded(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// textEncoding of the record, and the code page when one is named; false
// for a name that is none of them.
bool ReadEncoding(const std::string& encoding, int& textEncoding, unsigned& codePage) {
    std::string e = Folded(encoding);
    codePage = 0;
    if (e.empty() || e == "utf8" || e == "utf-8")
        textEncoding = 0;
    else if (e == "utf16" || e == "utf-16")
        textEncoding = 1;
    else if (e == "default")
        textEncoding = 2;
    else if ((codePage = CodePageByName(encoding)) != 0)
        textEncoding = 2;
    else
        return false;
    return true;
}

} // namespace

// ---- the converter -------------------------------------------------------

struct Converter::Impl {
    Result state;
    std::vector<std::string> readerFolders, writerFolders;
    std::unique_ptr<OBConvertorManager> manager;
    OBStringTable table;
    HINSTANCE handle = &table;
    std::vector<std::string> textFiles, textProblems;
    mutable boost::mutex writersLock;
    mutable std::map<int, OBWriter*> writers;

    OBWriter* WriterRoot(int id) const;
    void LoadTexts();
    void Check(const Options& options, Result& result, Preferences& record,
               OBPreferenceSettings& settings) const;
    Result Run(const Source& input, const Sink& output, const Options& options,
               OBWriter* ownWriter) const;
    bool Pump(OBStream* input, OBWriter* writer, const Preferences& record, const Options& options,
              OBConversionLogger& log, obconvert::GrowingBytes& bytes, Result& result) const;
};

OBWriter* Converter::Impl::WriterRoot(int id) const {
    boost::lock_guard<boost::mutex> guard(writersLock);
    auto found = writers.find(id);
    if (found != writers.end()) return found->second;
    WriterManager* manager_ = manager ? manager->GetWriterManager() : nullptr;
    OBWriter* root = manager_ ? manager_->GetWriter(id) : nullptr;
    if (root) writers.emplace(id, root);
    return root;
}

Converter::Converter(const Setup& setup) : impl_(new Impl) {
    Result& state = impl_->state;
    if (!OBMemoryHandler::GetMemoryService()) {
        Fail(state, Status::kNoMemoryService, std::string());
        return;
    }
    std::string shipped = setup.shipped ? ShippedPlugInFolder() : std::string();
    if (!shipped.empty()) {
        impl_->readerFolders.push_back(shipped + "/readers");
        impl_->writerFolders.push_back(shipped + "/writers");
    }
    for (const std::string& folder : setup.readerFolders)
        impl_->readerFolders.push_back(folder);
    for (const std::string& folder : setup.writerFolders)
        impl_->writerFolders.push_back(folder);
    impl_->LoadTexts();
    // The manager takes a folder of each kind: with one kind named, the other
    // kind is looked for in the same folder, which holds none of them.
    std::vector<std::string> readers = impl_->readerFolders, writers = impl_->writerFolders;
    if (readers.empty() && !writers.empty()) readers.push_back(writers[0]);
    if (writers.empty() && !readers.empty()) writers.push_back(readers[0]);
    impl_->manager.reset(new OBConvertorManager(readers, writers));
    if (!impl_->manager || !impl_->manager->GetReaderManager() ||
        !impl_->manager->GetWriterManager() ||
        (impl_->manager->GetReaderManager()->GetNumberOfReaders() == 0 &&
         impl_->manager->GetWriterManager()->GetNumberOfWriters() == 0)) {
        Fail(state, Status::kNoPlugIns,
             impl_->readerFolders.empty() ? "" : impl_->readerFolders[0]);
        return;
    }
    state.status = Status::kConverted;
}

Converter::~Converter() {
    impl_->manager.reset();
    if (OBConnectionUtility::GetCurrentHandle() == &impl_->handle)
        OBConnectionUtility::SetCurrentHandle(nullptr);
    delete impl_;
}

// The plug-ins' *.strings, then the core's messages, which win where a file
// reaches into their ids; registered unless the host has a module.
void Converter::Impl::LoadTexts() {
    if (OBConnectionUtility::GetCurrentHandle()) return;
    auto report = [this](const std::string& file) {
        for (int n = 0; n < table.GetProblemCount(); ++n) {
            int line = 0;
            OBRES::ProblemEnum problem = OBRES::kNoProblem;
            if (table.GetProblem(n, line, problem))
                textProblems.push_back(file + ":" + std::to_string(line) + ": a bad line");
        }
    };
    std::vector<std::string> folders = readerFolders;
    folders.insert(folders.end(), writerFolders.begin(), writerFolders.end());
    for (std::size_t i = 0; i < folders.size(); ++i) {
        bool seen = false;
        for (std::size_t j = 0; j < i; ++j)
            seen = seen || folders[j] == folders[i];
        if (seen || folders[i].empty()) continue;
        WFolderTraverser walk(OBSysFileRef(folders[i].c_str()), ".strings", 0);
        OBSysFileRef file;
        while (walk.GetNextMatch(file)) {
            OBFileSystemPath text(file);
            std::string path(text.Get(), text.Length());
            if (!table.LoadFile(path.c_str())) {
                textProblems.push_back(path + ": cannot be read");
                continue;
            }
            textFiles.push_back(path);
            report(path);
        }
    }
    long long size = 0;
    const char* core = OBCoreMessageTexts(size);
    table.LoadText(core, size);
    OBConnectionUtility::SetCurrentHandle(&handle);
}

const Result& Converter::State() const {
    return impl_->state;
}

int Converter::WriterIdFor(const std::string& writer) {
    if (writer.empty()) return 0;
    if (writer.find_first_not_of("0123456789") == std::string::npos) {
        if (writer.size() > 9) return 0;
        return std::atoi(writer.c_str());
    }
    const OBPLUGIN::Info* info = OBPLUGIN::FindByName(Folded(writer).c_str(), false);
    return info ? info->id : 0;
}

OBConvertorManager* Converter::Manager() const {
    return impl_->manager.get();
}

const std::vector<std::string>& Converter::ReaderFolders() const {
    return impl_->readerFolders;
}

const std::vector<std::string>& Converter::WriterFolders() const {
    return impl_->writerFolders;
}

const std::vector<std::string>& Converter::TextFiles() const {
    return impl_->textFiles;
}

const std::vector<std::string>& Converter::TextProblems() const {
    return impl_->textProblems;
}

} // namespace ombra

// ---- checking and converting -----------------------------------------------

namespace ombra {

namespace {

using ListPtr = std::unique_ptr<OBPreferenceList>;

// The English names of a list's preferences, groups' constituents included.
void NamesOf(OBPreferenceList* list, std::vector<std::string>& names) {
    for (int i = 0; list && i < list->GetNumberOfPreferences(); ++i) {
        OBPreference* p = nullptr;
        list->GetNthPreference(i, &p);
        if (!p) continue;
        std::string name = ResourceUtf8(p->GetResourceID() + OBL::kEnglish);
        bool known = name.empty();
        for (const std::string& seen : names)
            known = known || seen == name;
        if (!known) names.push_back(name);
        OBPreferenceList* constituents = nullptr;
        if (auto* group = dynamic_cast<OBGroupPreference*>(p))
            group->GetConstituentPreferenceList(&constituents);
        NamesOf(constituents, names);
    }
}

// A setting must name a preference of the writer or of some reader, and
// its value must fit every preference it names.
bool CheckSetting(const std::vector<ListPtr>& lists, const std::string& name,
                  const std::string& value, Result& result) {
    int total = 0;
    std::string accepted;
    for (const ListPtr& list : lists) {
        OBPreference* found[16];
        int n = OBFindPreferences(list.get(), name, found, 16);
        for (int k = 0; k < n && k < 16; ++k, ++total)
            if (!OBSetPreferenceFromText(found[k], value, &accepted)) {
                Fail(result, Status::kBadSetting, name);
                result.reason.assign("'").append(name).append("' takes ").append(accepted);
                result.reason.append(", not '").append(value).append("'");
                return false;
            }
    }
    if (total > 0) return true;
    std::vector<std::string> names;
    for (const ListPtr& list : lists)
        NamesOf(list.get(), names);
    std::string all;
    for (const std::string& known : names)
        all += (all.empty() ? "" : ", ") + known;
    Fail(result, Status::kBadSetting, name);
    result.reason = "no reader or writer setting is named '" + name + "' (settings: " + all + ")";
    return false;
}

// The reader object is shared by every conversion, and its name renders
// its UTF-16 form on first use: reading it takes turns.
std::string ReaderName(OBReader& reader) {
    static boost::mutex lock;
    boost::lock_guard<boost::mutex> guard(lock);
    return obconvert::Utf8Of(&reader.GetReaderName());
}

std::string WriterNames() {
    std::string names;
    for (const OBPLUGIN::Info& info : OBPLUGIN::kAll)
        if (!info.reader) names += (names.empty() ? "" : ", ") + std::string(info.name);
    return names;
}

} // namespace

void Converter::Impl::Check(const Options& options, Result& result, Preferences& record,
                            OBPreferenceSettings& settings) const {
    result.status = Status::kConverted;
    int id = Converter::WriterIdFor(options.writer);
    OBWriter* root = id ? WriterRoot(id) : nullptr;
    if (!root) {
        Fail(result, Status::kNoWriter, options.writer);
        result.reason = "no writer '" + options.writer +
                        "' is loaded (writers by name: " + WriterNames() + "; or a writer id)";
        return;
    }
    result.writerId = id;
    int textEncoding = 0;
    unsigned codePage = 0;
    if (!ReadEncoding(options.encoding, textEncoding, codePage)) {
        Fail(result, Status::kBadSetting, options.encoding);
        result.reason = "the encoding '" + options.encoding +
                        "' is none of utf8, utf16, default or a code page this system converts "
                        "(cp1252, shift_jis, euc-jp, iso-8859-1, ...)";
        return;
    }
    std::vector<ListPtr> lists;
    lists.emplace_back(new OBPreferenceList);
    if (lists.back()) root->GetStreamPrefs(nullptr, lists.back().get());
    record = id == OBPLUGIN::kTextWriter && lists.back() ? RecordFromDefaults(*lists.back())
                                                         : Preferences{};
    if (id != OBPLUGIN::kTextWriter) record.measurementUnit = -1;
    record.textEncoding = textEncoding;
    record.lineEnd = LineEndCode(options.lineEnd);
    if (codePage) {
        settings.Add(kEncodingSetting, "Code page");
        settings.Add(kCodePageSetting, std::to_string(codePage));
    }
    if (options.settings.empty()) return;
    ReaderManager* readers = manager->GetReaderManager();
    for (long long n = 0; n < readers->GetNumberOfReaders(); ++n) {
        ListPtr list(new OBPreferenceList);
        if (list && readers->GetNthReaderPreferences(n, list.get()))
            lists.push_back(std::move(list));
    }
    for (const auto& setting : options.settings) {
        if (!CheckSetting(lists, setting.first, setting.second, result)) return;
        if (!settings.Add(setting.first, setting.second)) {
            Fail(result, Status::kOutOfMemory, setting.first);
            return;
        }
    }
}

bool Converter::Impl::Pump(OBStream* input, OBWriter* writer, const Preferences& record,
                           const Options& options, OBConversionLogger& log,
                           obconvert::GrowingBytes& bytes, Result& result) const {
    CountingWriter counter(writer);
    obconvert::CallConvertor convertor(manager->GetReaderManager(), &counter);
    std::unique_ptr<OBStream> output(OBStreamUtilRef::CreateMemoryStreamWrite(&bytes));
    if (!convertor.Ready() || !output) return Fail(result, Status::kOutOfMemory, "").Ok();
    // The probes log too: a reader that runs out of memory while it looks
    // at the input says so rather than not recognising it.
    OBConversionLogger* previous = OBLoggerUtility::GetThreadLogger();
    OBLoggerUtility::SetThreadLogger(&log);
    short pumped = 0;
    bool recognised = convertor.CanConvertThis(input) == 1;
    if (recognised) {
        OBReader* reader = convertor.Reader();
        result.reader = ReaderName(*reader);
        result.readerId = reader->GetReaderID();
        input->Seek(0, kSeekFromStart);
        // The plug-ins read texts in the thread's locale, which Reset discards.
        LocaleUtil::SetCurrentLocale(options.locale);
        pumped = convertor.ExtractData(input, output.get(), &record);
    }
    OBLoggerUtility::SetThreadLogger(previous);
    bool kept = output->GetStreamState() != kStreamError;
    output.reset();
    CollectNotes(log, result);

    if (Logged(log, OBERR::kOutOfMemory)) return Fail(result, Status::kOutOfMemory, "").Ok();
    if (!recognised) return Fail(result, Status::kNotRecognised, "").Ok();
    if (pumped != 1) return Fail(result, Status::kFailed, "").Ok();
    if (!kept || Logged(log, OBERR::kWriteFailed))
        return Fail(result, Status::kOutOfMemory, "").Ok();
    // A reader that yields nothing has read nothing.
    if (Logged(log, OBERR::kUnreadableInput) || counter.Count() == 0) {
        Fail(result, Status::kUnreadable, "");
        result.reason = "recognised by " + result.reader + ", but it could not be read";
        if (!result.notes.empty()) result.reason += ": " + result.notes.back().text;
        return false;
    }
    return true;
}

namespace {

// The writers that look for pictures beside the document learn its folder
// from an input given by its path. Settings apply in order: one of the
// caller's, added after it, wins.
bool AddDocumentFolder(const Source& input, OBPreferenceSettings& settings) {
    std::string folder;
    if (input.GetKind() != Source::Kind::kPath ||
        !obsys::AbsoluteFolderOf(input.Name().c_str(), folder))
        return true;
    return settings.Add("Document folder", folder) != 0;
}

// Likewise the folder the output goes to, which pictures are linked from.
bool AddPictureFolder(const Sink& output, OBPreferenceSettings& settings) {
    std::string folder;
    if (output.Destination().empty() || !obsys::FolderForFile(output.Destination().c_str(), folder))
        return true;
    return settings.Add("Picture folder", folder) != 0;
}

} // namespace

Result Converter::Impl::Run(const Source& input, const Sink& output, const Options& options,
                            OBWriter* ownWriter) const {
    Result result;
    if (!OBMemoryHandler::GetMemoryService()) return Fail(result, Status::kNoMemoryService, "");
    if (state.status != Status::kConverted) return state;
    EnsureTextService();
    Preferences record{};
    record.measurementUnit = -1;
    OBPreferenceSettings settings;
    if (!AddDocumentFolder(input, settings) || !AddPictureFolder(output, settings))
        return Fail(result, Status::kOutOfMemory, "");
    OBWriter* writer = ownWriter;
    if (!writer) {
        Check(options, result, record, settings);
        if (result.status != Status::kConverted) return result;
        writer = WriterRoot(result.writerId);
    } else {
        for (const auto& setting : options.settings)
            settings.Add(setting.first, setting.second);
    }
    record.settings = &settings;
    if (output.GetKind() == Sink::Kind::kPath && input.GetKind() == Source::Kind::kPath &&
        obsys::SameFile(input.Name().c_str(), output.Name().c_str()))
        return Fail(result, Status::kOutputIsInput, output.Name());

    std::unique_ptr<OBStream> in(obconvert::OpenSource(input, result));
    if (!in) return result;
    obconvert::GrowingBytes bytes;
    OBConversionLogger log(options.locale);
    // Room for every message of <ombra/messages.h>, out of memory included.
    if (!log.Reserve(OBERR::kNoWriterLoaded + 1))
        return Fail(result, Status::kOutOfMemory, input.Name());
    bool pumped = Pump(in.get(), writer, record, options, log, bytes, result);
    // A file that failed while read fails the conversion, as it would had it
    // been read whole first: what was read of it is no document.
    if (auto* file = dynamic_cast<obconvert::PathInput*>(in.get()); file && file->Error())
        return Fail(result, Status::kInputUnreadable, input.Name(), file->Error());
    if (!pumped) {
        if (result.subject.empty()) result.subject = input.Name();
        return result;
    }
    in.reset();
    if (options.strict && !result.notes.empty()) return Fail(result, Status::kNotes, input.Name());
    if (!obconvert::WriteSink(output, bytes.Data(), bytes.Size(), result)) return result;
    result.status = Status::kConverted;
    result.reason.clear();
    return result;
}

namespace {

// What the layer's own containers or a plug-in's settings list throw stays
// here: the host gets a result, never an exception.
template <class Call> Result Guarded(const std::string& subject, Call call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        Result result;
        return Fail(result, Status::kOutOfMemory, subject);
    } catch (...) {
        Result result;
        return Fail(result, Status::kFailed, subject);
    }
}

} // namespace

Result Converter::Convert(const Source& input, const Sink& output, const Options& options) const {
    return Guarded(input.Name(), [&] {
        if (obconvert::WrittenThroughPandoc(options.writer))
            return obconvert::ConvertThroughPandoc(*this, input, output, options);
        return impl_->Run(input, output, options, nullptr);
    });
}

Result Converter::Check(const Options& options) const {
    return Guarded(options.writer, [&] {
        Result result;
        if (impl_->state.status != Status::kConverted) return impl_->state;
        Preferences record;
        OBPreferenceSettings settings;
        impl_->Check(obconvert::WrittenThroughPandoc(options.writer)
                         ? obconvert::PandocWriterOptions(options)
                         : options,
                     result, record, settings);
        return result;
    });
}

Result Converter::ReadMetadata(const Source& input, Metadata& metadata,
                               const Options& options) const {
    return Guarded(input.Name(), [&] {
        metadata = Metadata();
        std::unique_ptr<OBWriter> writer(obconvert::NewMetadataWriter(metadata));
        Result result;
        if (!writer) return Fail(result, Status::kOutOfMemory, input.Name());
        return impl_->Run(input, Sink::Discard(), options, writer.get());
    });
}

// ---- the process's converter and memory -------------------------------------

namespace {
boost::mutex gDefaultLock;
Converter* gDefault = nullptr;

void* HeapAllocate(unsigned long long size) {
    return std::malloc(size ? size : 1);
}
void HeapRelease(void* block) {
    std::free(block);
}
} // namespace

Converter& DefaultConverter() {
    boost::lock_guard<boost::mutex> guard(gDefaultLock);
    if (!gDefault) gDefault = new Converter;
    return *gDefault;
}

void ReleaseDefaultConverter() {
    boost::lock_guard<boost::mutex> guard(gDefaultLock);
    delete gDefault;
    gDefault = nullptr;
}

Result ConvertFile(const std::string& input, const std::string& output, const Options& options) {
    return Convert(Source::Path(input), Sink::Path(output), options);
}

Result Convert(const Source& input, const Sink& output, const Options& options) {
    Result result;
    if (!OBMemoryHandler::GetMemoryService()) return Fail(result, Status::kNoMemoryService, "");
    return DefaultConverter().Convert(input, output, options);
}

MemoryScope::MemoryScope() : installed_(nullptr) {
    if (OBMemoryHandler::GetMemoryService()) return;
    installed_ = new OBMemoryService(HeapAllocate, HeapRelease, HeapAllocate, HeapRelease);
    OBMemoryHandler::SetMemoryService(installed_);
}

MemoryScope::~MemoryScope() {
    ReleaseDefaultConverter();
    OBReleaseThreadState();
    if (!installed_) return;
    // Destroying the service returns the value pools' blocks through it, so
    // it is still installed then.
    delete installed_;
    OBMemoryHandler::SetMemoryService(nullptr);
}

} // namespace ombra
