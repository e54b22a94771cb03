// The convenience layer's listing of the plug-ins it found.
#include <ombra/convert.h>
#include <ombra/files.h>
#include <ombra/pluginids.h>
#include <ombra/resources.h>
#include <ombra/settings.h>
#include <ombra/valueutil.h>

#include "framework/ConvertInternal.h"

#include <cstdio>
#include <memory>

namespace ombra {

namespace {

std::string Resource(unsigned id) {
    char text[kOBResourceBufferSize];
    int n = OBLoadResourceString(id, text, sizeof text);
    return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
}

std::string Real(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Kind, default and what it accepts, from the preference's class.
void Describe(OBPreference* p, PreferenceInfo& info) {
    info.defaultText = OBPreferenceValueText(p);
    Value* value = nullptr;
    if (auto* g = dynamic_cast<OBGroupPreference*>(p)) {
        info.kind = "group";
        info.defaultText = g->GetDefaultValue() == 1 ? "on" : "off";
    } else if (auto* b = dynamic_cast<OBBooleanPreference*>(p)) {
        info.kind = "on/off";
        info.defaultText = b->GetDefaultValue() == 1 ? "on" : "off";
    } else if (auto* i = dynamic_cast<OBIntegerPreference*>(p)) {
        info.kind = "whole number";
        info.defaultText = std::to_string(i->GetDefaultValue());
        if (i->GetMinimumValue() < i->GetMaximumValue())
            info.accepts = "a whole number from " + std::to_string(i->GetMinimumValue()) + " to " +
                           std::to_string(i->GetMaximumValue());
    } else if (auto* r = dynamic_cast<OBRealPreference*>(p)) {
        info.kind = "number";
        info.defaultText = Real(r->GetDefaultValue().Value());
        if (r->GetMinimumValue() < r->GetMaximumValue())
            info.accepts = "a number from " + Real(r->GetMinimumValue().Value()) + " to " +
                           Real(r->GetMaximumValue().Value());
    } else if (auto* s = dynamic_cast<OBStringPreference*>(p)) {
        info.kind = "text";
        info.defaultText = obconvert::Utf8Of(s->GetDefaultString());
    } else if (auto* e = dynamic_cast<OBEnumPreference*>(p)) {
        info.kind = "choice";
        info.defaultText = e->GetDefaultValue().IsNull() ? "" : e->GetDefaultValue().GrabCString();
        for (int n = 0; n < e->GetNumberOfEnumerations(); ++n) {
            COBString entry;
            e->GetNthEnumerationString(n, entry, OBL::kEnglish);
            info.choices.push_back(entry.IsNull() ? "" : entry.GrabCString());
        }
    } else {
        p->GetDefaultValue(value);
        info.kind = "value";
    }
    ValueUtil::Recycle(value);
    if (info.accepts.empty()) {
        std::string accepted;
        if (info.kind == "choice") {
            for (const std::string& choice : info.choices)
                accepted += (accepted.empty() ? "one of " : ", ") + choice;
        } else if (info.kind == "on/off" || info.kind == "group") {
            accepted = "on or off";
        } else if (info.kind == "text") {
            accepted = "any text";
        }
        info.accepts = accepted;
    }
}

void ListPreferences(OBPreferenceList* list, OBL::LocaleIDEnum locale, int depth,
                     std::vector<PreferenceInfo>& out) {
    for (int i = 0; list && i < list->GetNumberOfPreferences(); ++i) {
        OBPreference* p = nullptr;
        list->GetNthPreference(i, &p);
        if (!p) continue;
        PreferenceInfo info;
        info.name = Resource(p->GetResourceID() + OBL::kEnglish);
        info.localName = Resource(p->GetResourceID() + locale);
        if (info.localName.empty()) info.localName = info.name;
        info.depth = depth;
        Describe(p, info);
        out.push_back(std::move(info));
        OBPreferenceList* constituents = nullptr;
        if (auto* group = dynamic_cast<OBGroupPreference*>(p))
            group->GetConstituentPreferenceList(&constituents);
        ListPreferences(constituents, locale, depth + 1, out);
    }
}

template <class PlugIn> void ListFormats(PlugIn* root, bool reader, int id, PlugInInfo& info) {
    Format* formats = nullptr;
    short count = 0;
    try {
        root->GetFormats(formats, count);
    } catch (...) {
        delete[] formats;
        info.error = "GetFormats threw an exception";
        return;
    }
    for (short n = 0; formats && n < count; ++n) {
        FormatInfo format;
        format.format = formats[n].GetFormatString();
        format.fileType = formats[n].GetFileType();
        format.creatorType = formats[n].GetCreatorType();
        if (const OBPLUGIN::FormatNames* names =
                OBPLUGIN::FindFormatNames(reader, id, format.format.c_str())) {
            format.extensions = names->extensions;
            format.mimeType = names->mimeType;
        }
        info.formats.push_back(format);
    }
    delete[] formats;
}

template <class Record, class PlugIn>
PlugInInfo Describe(const Record& record, PlugIn* root, int id, bool reader) {
    PlugInInfo info;
    info.reader = reader;
    info.id = id;
    if (const OBPLUGIN::Info* shipped = reader ? nullptr : OBPLUGIN::FindWriter(id))
        info.name = shipped->name;
    for (const OBPLUGIN::Info& row : OBPLUGIN::kAll)
        if (reader && row.reader && row.id == id) info.name = row.name;
    OBFileSystemPath path(record.GetSystemPathNameRef());
    info.path.assign(path.Get(), path.Length());
    info.majorVersion = record.GetMajorVersionNumber();
    info.minorVersion = record.GetMinorVersionNumber();
    info.loaded = record.GetLoadStatus() == kLoadStatusLoaded;
    info.error = obconvert::Utf8Of(&record.GetErrorString());
    std::string later = obconvert::Utf8Of(&record.GetRuntimeErrorString());
    if (info.error.empty()) info.error = later;
    if (root) ListFormats(root, reader, id, info);
    return info;
}

} // namespace

std::vector<PlugInInfo> Converter::PlugIns(OBL::LocaleIDEnum locale) const {
    std::vector<PlugInInfo> all;
    OBConvertorManager* manager = Manager();
    ReaderManager* readers = manager ? manager->GetReaderManager() : nullptr;
    WriterManager* writers = manager ? manager->GetWriterManager() : nullptr;
    for (long long n = 0; readers && n < readers->GetNumberOfReaders(); ++n) {
        OBReaderData record;
        if (!readers->GetNthReaderData(n, record)) continue;
        all.push_back(Describe(record, record.GetReaderRoot(), record.GetReaderID(), true));
        std::unique_ptr<OBPreferenceList> list(new OBPreferenceList);
        if (list && readers->GetNthReaderPreferences(n, list.get()))
            ListPreferences(list.get(), locale, 0, all.back().preferences);
    }
    for (long long n = 0; writers && n < writers->GetNumberOfWriters(); ++n) {
        OBWriterData record;
        if (!writers->GetNthWriterData(n, record)) continue;
        all.push_back(Describe(record, record.GetWriterRoot(), record.GetWriterID(), false));
        std::unique_ptr<OBPreferenceList> list(new OBPreferenceList);
        if (list && writers->GetNthWriterPreferences(n, list.get()))
            ListPreferences(list.get(), locale, 0, all.back().preferences);
    }
    return all;
}

} // namespace ombra
