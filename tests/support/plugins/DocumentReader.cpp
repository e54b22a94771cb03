// The document reader for tests, OBPLUGIN::kDocumentReader: it answers inputs that start
// with "ombra-test-document:<name>" for a registered name (DocumentBuilder.h)
// and yields that document, built anew for each conversion, through the
// real pump. Each request for the next Element notes the thread's error code
// first, so a test sees what the writer reported for the Element before.
#include <ombra/diagnostics.h>
#include <ombra/plugin.h>

#include "support/DocumentBuilder.h"

#include <string>
#include <vector>

namespace {

std::string ReadName(OBStream* input) {
    if (!input) return std::string();
    input->Seek(0, kSeekFromStart);
    unsigned char buffer[512];
    long long n = input->XferByte(buffer, sizeof buffer);
    input->Seek(0, kSeekFromStart);
    return ombra_test::TestDocumentName(
        std::string(reinterpret_cast<char*>(buffer), n > 0 ? static_cast<size_t>(n) : 0));
}

class DocumentReader : public OBReader {
public:
    DocumentReader() { SetReaderID(ombra_test::kDocumentReaderId); }
    ~DocumentReader() override { Clear(); }

    short CanImportThis(OBStream* input) override {
        std::string name = ReadName(input);
        return !name.empty() && ombra_test::HasTestDocument(name) ? 1 : 0;
    }

    void GetStreamPrefs(OBStream*, OBPreferenceList*) override {}

    void Init(OBStream* input, OBPreferenceList* preferences) override {
        OBReader::Init(input, preferences);
        Clear();
        ombra_test::ClearReaderObservations();
        ombra_test::DocumentBuilder builder;
        if (ombra_test::BuildTestDocument(ReadName(input), builder)) elements_ = builder.Release();
        next_ = 0;
    }

    void Reset() override {
        Clear();
        OBReader::Reset();
    }

    Element* GetFirstElement() override {
        next_ = 0;
        return Next();
    }

    Element* GetNextElement() override {
        ombra_test::NoteReaderErrorCode(OBErrorUtils::OBGetGlobalErrorCode());
        return Next();
    }

    void GetFormats(Format*& formats, short& count) override {
        formats = new Format[1];
        count = formats ? 1 : 0;
        if (formats) formats[0] = Format("OBTestDoc", 0x4F425444u, 0);
    }

private:
    Element* Next() { return next_ < elements_.size() ? elements_[next_++] : nullptr; }
    void Clear() {
        for (Element* e : elements_)
            delete e;
        elements_.clear();
        next_ = 0;
    }

    std::vector<Element*> elements_; // owned until Reset, as the conventions say
    size_t next_ = 0;
};

} // namespace

OB_DECLARE_READER(DocumentReader)
OB_DECLARE_PLUGIN_VERSION(1, 0)
