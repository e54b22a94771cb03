// The metadata mode of the convenience layer: a writer of the layer's own
// that keeps what a publication says about itself.
#include <ombra/convert.h>
#include <ombra/values.h>
#include <ombra/views.h>

#include "framework/ConvertInternal.h"

#include <cstdio>

namespace {

class MetadataWriter : public OBWriter {
public:
    explicit MetadataWriter(ombra::Metadata& metadata) : metadata_(metadata) {}
    ~MetadataWriter() override;

    void GetStreamPrefs(OBStream*, OBPreferenceList*) override {}
    using OBWriter::Init;
    // One conversion per object: no lock to take, and the reader's Reset
    // discards the thread's conversion state.
    void Init(OBStream*, OBPreferenceList*) override { pages_ = 0; }
    void Reset() override {}
    void GetFormats(Format*& formats, short& count) override {
        formats = nullptr;
        count = 0;
    }

    void PutElement(Element* element) override {
        if (!element) {
            if (metadata_.pages < 0 && pages_ > 0) metadata_.pages = pages_;
            return;
        }
        switch (element->GetElementType()) {
        case EL::kPublication:
            for (unsigned long long n = 0; n < element->GetChildCount(); ++n) {
                Element* child = element->GetNthChild(n);
                if (child && child->GetElementType() == EL::kMetaData) Read(child);
            }
            break;
        case EL::kRegularSpreadList:
            for (unsigned long long n = 0; n < element->GetChildCount(); ++n)
                if (Element* spread = element->GetNthChild(n))
                    for (unsigned long long k = 0; k < spread->GetChildCount(); ++k) {
                        Element* page = spread->GetNthChild(k);
                        if (page && page->GetElementType() == EL::kRegularPage) ++pages_;
                    }
            break;
        default:
            break;
        }
    }

private:
    static Value* Ask(Element* element, AN::AttrNameEnum attr) {
        try {
            return OBGetAttributeValue(element, attr, 0);
        } catch (...) {
            return nullptr;
        }
    }

    static void Text(Element* element, AN::AttrNameEnum attr, std::string& out) {
        if (auto* s = dynamic_cast<ValueString*>(Ask(element, attr)))
            out = obconvert::Utf8Of(s->GetPtr());
    }

    static void Date(Element* element, AN::AttrNameEnum attr, std::string& out) {
        if (auto* d = dynamic_cast<ValueDateTime*>(Ask(element, attr))) {
            char text[64];
            std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", d->GetYear(),
                          d->GetMonth(), d->GetDay(), d->GetHour(), d->GetMin(), d->GetSec());
            out = text;
        }
    }

    void Read(Element* meta) {
        Text(meta, AN::kTitle, metadata_.title);
        Text(meta, AN::kAuthor, metadata_.author);
        Text(meta, AN::kSubject, metadata_.subject);
        Text(meta, AN::kKeywords, metadata_.keywords);
        Text(meta, AN::kComments, metadata_.comments);
        Text(meta, AN::kApplication, metadata_.application);
        Date(meta, AN::kCreated, metadata_.created);
        Date(meta, AN::kModified, metadata_.modified);
        if (auto* n = dynamic_cast<ValueInteger32*>(Ask(meta, AN::kNumPages))) {
            int pages = -1;
            n->Get(pages);
            if (pages >= 0) metadata_.pages = pages;
        }
    }

    ombra::Metadata& metadata_;
    int pages_ = 0;
};

MetadataWriter::~MetadataWriter() = default;

void JsonString(std::string& out, const std::string& text) {
    if (text.empty()) {
        out += "null";
        return;
    }
    out += '"';
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

} // namespace

OBWriter* obconvert::NewMetadataWriter(ombra::Metadata& metadata) {
    return new MetadataWriter(metadata);
}

namespace ombra {

namespace {
struct Field {
    const char* label;
    const char* key;
    std::string Metadata::*member;
};
const Field kFields[] = {
    {"Title", "title", &Metadata::title},
    {"Author", "author", &Metadata::author},
    {"Subject", "subject", &Metadata::subject},
    {"Keywords", "keywords", &Metadata::keywords},
    {"Comments", "comments", &Metadata::comments},
    {"Created", "created", &Metadata::created},
    {"Modified", "modified", &Metadata::modified},
    {"Application", "application", &Metadata::application},
};
} // namespace

std::string Metadata::ToText() const {
    std::string out;
    for (const Field& field : kFields)
        if (!(this->*field.member).empty())
            out += std::string(field.label) + ": " + this->*field.member + "\n";
    if (pages >= 0) out += "Pages: " + std::to_string(pages) + "\n";
    return out;
}

std::string Metadata::ToJson() const {
    std::string out = "{";
    for (const Field& field : kFields) {
        out += std::string(out.size() > 1 ? ", " : "") + "\"" + field.key + "\": ";
        JsonString(out, this->*field.member);
    }
    out += ", \"pages\": " + (pages >= 0 ? std::to_string(pages) : std::string("null")) + "}\n";
    return out;
}

} // namespace ombra
