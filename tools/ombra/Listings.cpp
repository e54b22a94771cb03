#include "Listings.h"
#include "PandocRoute.h"

#include <cstdio>
#include <filesystem>

namespace ombra_host {

namespace {

std::string Relative(const std::string& path, const std::string& folder) {
    std::error_code error;
    std::string relative = std::filesystem::relative(path, folder, error).string();
    return error || relative.empty() || relative.compare(0, 2, "..") == 0 ? path : relative;
}

// The folder of the list that holds the path, for shorter lines.
std::string FolderOf(const std::string& path, const std::vector<std::string>& folders) {
    for (const std::string& folder : folders)
        if (Relative(path, folder) != path) return folder;
    return std::string();
}

std::string Preference(const ombra::PreferenceInfo& p, OBL::LocaleIDEnum locale) {
    std::string line(4 + 2 * static_cast<std::size_t>(p.depth), ' ');
    line += p.localName.empty() ? "(no name)" : p.localName;
    if (locale != OBL::kEnglish && !p.name.empty() && p.name != p.localName)
        line += " [" + p.name + "]";
    line += ": " + p.kind;
    if (p.kind == "choice") {
        line += ", one of ";
        for (std::size_t n = 0; n < p.choices.size(); ++n)
            line += (n ? ", " : "") + p.choices[n];
        line += "; default \"" + p.defaultText + "\"";
    } else if (p.kind == "text") {
        line += ", default \"" + p.defaultText + "\"";
    } else {
        line += ", default " + p.defaultText;
        if (p.kind != "on/off" && p.kind != "group" && !p.accepts.empty())
            line += " (" +
                    p.accepts.substr(p.accepts.find("from ") == std::string::npos
                                         ? 0
                                         : p.accepts.find("from ") + 5) +
                    ")";
    }
    return line + "\n";
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

} // namespace

std::string ListPlugIns(const ombra::Converter& converter, OBL::LocaleIDEnum locale) {
    std::string out;
    std::vector<ombra::PlugInInfo> all = converter.PlugIns(locale);
    for (bool readers : {true, false}) {
        const std::vector<std::string>& folders =
            readers ? converter.ReaderFolders() : converter.WriterFolders();
        std::string names;
        for (const std::string& folder : folders)
            names += (names.empty() ? "" : ", ") + folder;
        out += std::string(readers ? "Readers" : "Writers") +
               (names.empty() ? " (no folder named)" : " under " + names) + ":\n";
        bool any = false;
        for (const ombra::PlugInInfo& plugIn : all) {
            if (plugIn.reader != readers) continue;
            any = true;
            out += "  " + Relative(plugIn.path, FolderOf(plugIn.path, folders));
            if (plugIn.loaded) {
                out += "  id " + std::to_string(plugIn.id);
                if (!plugIn.name.empty()) out += " (" + plugIn.name + ")";
                if (plugIn.majorVersion || plugIn.minorVersion)
                    out += "  version " + std::to_string(plugIn.majorVersion) + "." +
                           std::to_string(plugIn.minorVersion);
                out += "  loaded\n";
                if (!plugIn.error.empty()) out += "    problem: " + plugIn.error + "\n";
            } else {
                out += "  not loaded" + (plugIn.error.empty() ? "" : ": " + plugIn.error) + "\n";
            }
            for (const ombra::PreferenceInfo& p : plugIn.preferences)
                out += Preference(p, locale);
        }
        if (!any) out += "  (none)\n";
    }
    out += "Display texts from the program";
    for (const std::string& file : converter.TextFiles())
        out += ", " + file;
    return out + "\n";
}

std::string ListFormats(const ombra::Converter& converter) {
    std::string out;
    std::vector<ombra::PlugInInfo> all = converter.PlugIns();
    for (bool readers : {true, false}) {
        out += readers ? "Readers read:\n" : "Writers write:\n";
        bool any = false;
        for (const ombra::PlugInInfo& plugIn : all) {
            if (plugIn.reader != readers || !plugIn.loaded) continue;
            any = true;
            std::string who = std::filesystem::path(plugIn.path).filename().string() + " (" +
                              (readers ? "reader " : "writer ") + std::to_string(plugIn.id) + ")";
            for (const ombra::FormatInfo& f : plugIn.formats) {
                char line[512];
                std::snprintf(line, sizeof line, "  %-10s  %-13s  %-23s  type %s  creator %s  %s\n",
                              f.format.c_str(), f.extensions.empty() ? "-" : f.extensions.c_str(),
                              f.mimeType.empty() ? "-" : f.mimeType.c_str(),
                              FourCharacters(f.fileType).c_str(),
                              FourCharacters(f.creatorType).c_str(), who.c_str());
                out += line;
            }
            if (plugIn.formats.empty()) out += "  (none)  " + who + "\n";
        }
        if (!any) out += readers ? "  (no reader loaded)\n" : "  (no writer loaded)\n";
    }
    out += "Through pandoc (-t FORMAT; the pandoc writer, then pandoc on the PATH):\n";
    std::string line = " ";
    for (const ombra_pandoc::PandocFormat& format : ombra_pandoc::PandocFormats()) {
        std::string item = std::string(" ") + format.name + " (." + format.extension + ")";
        if (line.size() + item.size() > 78) out += line + "\n", line = " ";
        line += item;
    }
    return out + line + "\n";
}

} // namespace ombra_host
