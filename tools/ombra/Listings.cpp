#include "Listings.h"

#include <ombra/preferences.h>
#include <ombra/readermanager.h>
#include <ombra/utf8.h>
#include <ombra/values.h>
#include <ombra/valueutil.h>
#include <ombra/writermanager.h>

#include <cstdio>
#include <filesystem>

namespace ombra_host {

namespace {

std::string Relative(const std::string& path, const std::string& folder) {
    std::error_code error;
    std::string relative = std::filesystem::relative(path, folder, error).string();
    return error || relative.empty() || relative.compare(0, 2, "..") == 0 ? path : relative;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string OnOff(short value) {
    return value == 1 ? "on" : value == 0 ? "off" : std::to_string(value);
}

std::string RealText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

std::string NameOf(OBPreference* preference, OBL::LocaleIDEnum locale) {
    COBString name;
    preference->GetMenuName(name, locale);
    std::string text = Utf8(name);
    if (text.empty())
        text = "(no name: resource " + std::to_string(preference->GetResourceID() + locale) + ")";
    return text;
}

// A kind the core does not know, by its value type and its default Value.
std::string DescribeOther(OBPreference* preference) {
    VT::ValueTypeEnum type = VT::ekUndefined;
    preference->GetType(type);
    const char* typeName = OBValueTypeName(type);
    std::string text = typeName ? typeName : "type " + std::to_string(type);
    Value* value = nullptr;
    preference->GetDefaultValue(value);
    if (value) {
        COBString rendered;
        OBValueToText(value, rendered);
        text += ", default " +
                std::string(rendered.GrabCString(), static_cast<std::size_t>(rendered.Length()));
        ValueUtil::Recycle(value);
    }
    return text;
}

void ListPreferences(std::string& out, OBPreferenceList* list, OBL::LocaleIDEnum locale,
                     int indent) {
    for (int i = 0; list && i < list->GetNumberOfPreferences(); ++i) {
        OBPreference* p = nullptr;
        list->GetNthPreference(i, &p);
        if (!p) continue;
        std::string line = std::string(indent, ' ') + NameOf(p, locale) + ": ";
        OBPreferenceList* constituents = nullptr;
        if (auto* group = dynamic_cast<OBGroupPreference*>(p)) {
            line += "group, default " + OnOff(group->GetDefaultValue());
            group->GetConstituentPreferenceList(&constituents);
        } else if (auto* flag = dynamic_cast<OBBooleanPreference*>(p)) {
            line += "on/off, default " + OnOff(flag->GetDefaultValue());
        } else if (auto* number = dynamic_cast<OBIntegerPreference*>(p)) {
            line += "whole number, default " + std::to_string(number->GetDefaultValue());
            if (number->GetMinimumValue() < number->GetMaximumValue())
                line += " (" + std::to_string(number->GetMinimumValue()) + " to " +
                        std::to_string(number->GetMaximumValue()) + ")";
        } else if (auto* real = dynamic_cast<OBRealPreference*>(p)) {
            line += "number, default " + RealText(real->GetDefaultValue());
            if (real->GetMinimumValue() < real->GetMaximumValue())
                line += " (" + RealText(real->GetMinimumValue()) + " to " +
                        RealText(real->GetMaximumValue()) + ")";
        } else if (auto* text = dynamic_cast<OBStringPreference*>(p)) {
            const IOBString* value = text->GetDefaultString();
            std::string shown;
            if (value && value->IsUnicode()) {
                COBString utf8;
                const unsigned short* units = value->GrabWString();
                unsigned long long n = 0;
                while (units && units[n])
                    ++n;
                OBStringUtils::ConvertUTF16StringToUTF8(units, n, utf8);
                shown = std::string(utf8.GrabCString(), static_cast<std::size_t>(utf8.Length()));
            } else if (value) {
                shown = Utf8(*static_cast<const COBString*>(value));
            }
            line += "text, default " + Quoted(shown);
        } else if (auto* choice = dynamic_cast<OBEnumPreference*>(p)) {
            line += "one of";
            int count = choice->GetNumberOfEnumerations();
            for (int n = 0; n < count; ++n) {
                COBString entry;
                choice->GetNthEnumerationString(n, entry, locale);
                std::string text = Utf8(entry);
                if (text.empty())
                    text = "(resource " + std::to_string(choice->GetNthEnumerationID(n) + locale) +
                           ")";
                line += (n == 0 ? " " : ", ") + text;
            }
            line += "; default " + Quoted(Utf8(choice->GetDefaultValue()));
        } else {
            line += DescribeOther(p);
        }
        out += line + "\n";
        if (constituents) ListPreferences(out, constituents, locale, indent + 2);
    }
}

template <class Record>
std::string StatusLine(const Record& record, int id, const std::string& folder) {
    std::string line = "  " + Relative(PathText(record.GetSystemPathNameRef()), folder);
    if (record.GetLoadStatus() == kLoadStatusLoaded) {
        line += "  id " + std::to_string(id);
        if (record.GetMajorVersionNumber() || record.GetMinorVersionNumber())
            line += "  version " + std::to_string(record.GetMajorVersionNumber()) + "." +
                    std::to_string(record.GetMinorVersionNumber());
        line += "  loaded\n";
    } else {
        line += "  not loaded";
        std::string why = Utf8(record.GetErrorString());
        if (!why.empty()) line += ": " + why;
        line += "\n";
    }
    std::string later = Utf8(record.GetRuntimeErrorString());
    if (!later.empty()) line += "    problem: " + later + "\n";
    return line;
}

std::string FourCharacters(unsigned code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        unsigned char c = static_cast<unsigned char>(code >> shift);
        if (c < 0x20 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", code);
            return hex;
        }
        text += static_cast<char>(c);
    }
    return "'" + text + "'";
}

template <class PlugIn>
void ListFormatsOf(std::string& out, PlugIn* plugIn, const std::string& who) {
    Format* formats = nullptr;
    short count = 0;
    try {
        plugIn->GetFormats(formats, count);
    } catch (...) {
        delete[] formats;
        out += "  (" + who + " failed to list its formats)\n";
        return;
    }
    for (short n = 0; formats && n < count; ++n) {
        char line[256];
        std::snprintf(line, sizeof line, "  %-10s  type %s  creator %s  %s\n",
                      formats[n].GetFormatString(),
                      FourCharacters(formats[n].GetFileType()).c_str(),
                      FourCharacters(formats[n].GetCreatorType()).c_str(), who.c_str());
        out += line;
    }
    if (count <= 0) out += "  (none)  " + who + "\n";
    delete[] formats;
}

} // namespace

std::string ListPlugIns(OBConvertorManager& manager, const PlugInFolders& folders,
                        const HostStrings& strings, OBL::LocaleIDEnum locale) {
    std::string out;
    ReaderManager* readers = manager.GetReaderManager();
    WriterManager* writers = manager.GetWriterManager();

    out += "Readers under " + folders.readers + ":\n";
    long long readerCount = readers ? readers->GetNumberOfReaders() : 0;
    for (long long n = 0; n < readerCount; ++n) {
        OBReaderData record;
        if (!readers->GetNthReaderData(n, record)) continue;
        out += StatusLine(record, record.GetReaderID(), folders.readers);
        OBPreferenceList list;
        if (readers->GetNthReaderPreferences(n, &list)) ListPreferences(out, &list, locale, 4);
    }
    if (readerCount == 0) out += "  (none)\n";

    out += "Writers under " + folders.writers + ":\n";
    long long writerCount = writers ? writers->GetNumberOfWriters() : 0;
    for (long long n = 0; n < writerCount; ++n) {
        OBWriterData record;
        if (!writers->GetNthWriterData(n, record)) continue;
        out += StatusLine(record, record.GetWriterID(), folders.writers);
        OBPreferenceList list;
        if (writers->GetNthWriterPreferences(n, &list)) ListPreferences(out, &list, locale, 4);
    }
    if (writerCount == 0) out += "  (none)\n";

    out += "Display texts from the program";
    for (const std::string& file : strings.Files())
        out += ", " + file;
    out += "\n";
    return out;
}

std::string ListFormats(OBConvertorManager& manager) {
    std::string out = "Readers read:\n";
    ReaderManager* readers = manager.GetReaderManager();
    WriterManager* writers = manager.GetWriterManager();
    bool any = false;
    for (long long n = 0; readers && n < readers->GetNumberOfReaders(); ++n) {
        OBReaderData record;
        if (!readers->GetNthReaderData(n, record) || !record.GetReaderRoot()) continue;
        std::string who =
            std::filesystem::path(PathText(record.GetSystemPathNameRef())).filename().string() +
            " (reader " + std::to_string(record.GetReaderID()) + ")";
        ListFormatsOf(out, record.GetReaderRoot(), who);
        any = true;
    }
    if (!any) out += "  (no reader loaded)\n";
    out += "Writers write:\n";
    any = false;
    for (long long n = 0; writers && n < writers->GetNumberOfWriters(); ++n) {
        OBWriterData record;
        if (!writers->GetNthWriterData(n, record) || !record.GetWriterRoot()) continue;
        std::string who =
            std::filesystem::path(PathText(record.GetSystemPathNameRef())).filename().string() +
            " (writer " + std::to_string(record.GetWriterID()) + ")";
        ListFormatsOf(out, record.GetWriterRoot(), who);
        any = true;
    }
    if (!any) out += "  (no writer loaded)\n";
    return out;
}

} // namespace ombra_host
