// The writer plug-in every writer is: it publishes its settings, makes a
// conversion of its own kind at Init from the core's preference list and
// hands it the Elements until Reset. Traits names the conversion, the
// settings and the one format the writer writes.
#ifndef OMBRA_WRITERS_CONVERSION_WRITER_H
#define OMBRA_WRITERS_CONVERSION_WRITER_H

#include "WriterProblems.h"

#include <ombra/plugin.h>

template <class Traits> class OBConversionWriter : public OBWriter {
public:
    using Conversion = typename Traits::Conversion;

    OBConversionWriter() : conversion_(nullptr) { SetWriterID(Traits::kId); }
    ~OBConversionWriter() override { delete conversion_; }

    // Also called with a null stream by hosts that list preferences, and
    // outside the conversion lock: it touches no member.
    void GetStreamPrefs(OBStream*, OBPreferenceList* list) override { Traits::Publish(list); }

    using OBWriter::Init;
    void Init(OBStream* output, OBPreferenceList* preferences) override {
        OBWriter::Init();
        delete conversion_;
        SetStream(output);
        // The list is the core's: read it now, keep nothing of it.
        conversion_ = new Conversion(output, Traits::FromPreferences(preferences));
        if (!conversion_) {
            OBWriterProblems problems;
            problems.Report(OBERR::kOutOfMemory);
        }
    }

    void PutElement(Element* element) override {
        if (conversion_) conversion_->PutElement(element);
    }

    void Reset() override {
        if (conversion_) {
            conversion_->Finish();
            delete conversion_;
            conversion_ = nullptr;
        }
        SetPrefs(nullptr);
        OBWriter::Reset();
    }

    void GetFormats(Format*& formats, short& count) override {
        formats = new Format[1];
        count = formats ? 1 : 0;
        if (formats) formats[0] = Format(Traits::kFormatName, Traits::kType, Traits::kCreator);
    }

private:
    Conversion* conversion_;
};

#endif
