// The Scribus reader on documents of one shape each, made of many small
// items or one huge one, at several sizes: one-word paragraphs, character
// runs, table rows with a word in each cell, page items, items each on a
// master page of its own, one run of text, and a table that claims rows it
// does not hold. For each it prints the whole conversion's processor time
// (against pugixml's tree of the same bytes, and per item, which stays flat
// when time grows linearly) and its peak resident memory against the size of
// the XML: the aims are at most 12 times the input for the shapes of tiny
// items and 3 times for the huge run. Each conversion runs in a process of
// its own, so that one's memory does not hide the next one's peak.
//   usage: bench_scribus_shapes [--quick]   (--quick: the smallest sizes only)
#include <ScribusReader.h>

#include <ombra/memory.h>
#include <ombra/typedstreams.h>

#include "BenchReaders.h"

#include <pugixml.hpp>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char kHead[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SCRIBUSUTF8NEW Version=\"1.5.8\"><DOCUMENT "
    "ANZPAGES=\"1\" PAGEWIDTH=\"595\" PAGEHEIGHT=\"842\"><PAGE PAGEXPOS=\"0\" PAGEYPOS=\"0\" "
    "PAGEWIDTH=\"595\" PAGEHEIGHT=\"842\" NUM=\"0\"/>";
const char kTail[] = "</DOCUMENT></SCRIBUSUTF8NEW>\n";
const char kFrame[] = "<PAGEOBJECT PTYPE=\"4\" OwnPage=\"0\" XPOS=\"10\" YPOS=\"10\" WIDTH=\"100\" "
                      "HEIGHT=\"100\" NEXTITEM=\"-1\" BACKITEM=\"-1\"><StoryText>";
const char kFrameEnd[] = "</StoryText></PAGEOBJECT>";

std::string Document(const std::string& shape, long n) {
    std::string d = kHead;
    if (shape == "paragraphs") {
        d += kFrame;
        for (long i = 0; i < n; ++i)
            d += "<ITEXT CH=\"word\"/><para/>";
        d += kFrameEnd;
    } else if (shape == "runs") {
        d += kFrame;
        for (long i = 0; i < n; ++i)
            d += i % 2 ? "<ITEXT FONTSIZE=\"11\" CH=\"w\"/>" : "<ITEXT FONTSIZE=\"12\" CH=\"w\"/>";
        d += kFrameEnd;
    } else if (shape == "rows") {
        d += "<PAGEOBJECT PTYPE=\"16\" OwnPage=\"0\" WIDTH=\"100\" HEIGHT=\"100\" Rows=\"" +
             std::to_string(n) + "\" Columns=\"1\"><TableData>";
        for (long i = 0; i < n; ++i)
            d += "<Cell Row=\"" + std::to_string(i) +
                 "\" Column=\"0\"><StoryText><ITEXT CH=\"w\"/></StoryText></Cell>";
        d += "</TableData></PAGEOBJECT>";
    } else if (shape == "items") {
        for (long i = 0; i < n; ++i)
            d += "<PAGEOBJECT PTYPE=\"6\" OwnPage=\"0\" XPOS=\"" + std::to_string(i % 500) +
                 "\" YPOS=\"10\" WIDTH=\"5\" HEIGHT=\"5\"/>";
    } else if (shape == "master items") { // each on a master page of its own
        for (long i = 0; i < n; ++i)
            d += "<MASTERPAGE PAGEXPOS=\"0\" PAGEYPOS=\"0\" PAGEWIDTH=\"595\" PAGEHEIGHT=\"842\" "
                 "NUM=\"" +
                 std::to_string(i + 1) + "\" NAM=\"M" + std::to_string(i) + "\"/>";
        for (long i = 0; i < n; ++i)
            d += "<MASTEROBJECT OnMasterPage=\"M" + std::to_string(i) + "\" OwnPage=\"" +
                 std::to_string(i + 1) +
                 "\" PTYPE=\"6\" XPOS=\"10\" YPOS=\"10\" WIDTH=\"5\" "
                 "HEIGHT=\"5\"/>";
    } else if (shape == "huge run") {
        d += kFrame;
        d += "<ITEXT CH=\"";
        for (long i = 0; i < n / 10; ++i)
            d += "abcdefghi ";
        d += "\"/>";
        d += kFrameEnd;
    } else { // claimed rows
        d += "<PAGEOBJECT PTYPE=\"16\" OwnPage=\"0\" Rows=\"" + std::to_string(n) +
             "\" Columns=\"1\"><TableData/></PAGEOBJECT>";
    }
    return d + kTail;
}

double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The process's resident set now, or its peak (VmHWM), in KiB.
long StatusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, std::strlen(field), field) == 0)
            return std::atol(line.c_str() + std::strlen(field) + 1);
    return -1;
}

struct Measure {
    double xmlKiB, treeMs, readerMs, peakKiB, coreKiB;
};

// In the child: pugixml's tree of the bytes, then one conversion with the
// peak resident set cleared just before it.
Measure Run(const std::string& xml) {
    Measure m{static_cast<double>(xml.size()) / 1024, 0, 0, 0, 0};
    double t0 = CpuMs();
    {
        pugi::xml_document tree;
        tree.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
    }
    m.treeMs = CpuMs() - t0;
    std::ofstream("/proc/self/clear_refs") << "5";
    long before = StatusKiB("VmRSS:");
    ombra_bench::PeakScope scope;
    ScribusReader reader;
    OBBufferStreamRead input(xml.data(), xml.size());
    OBPreferenceList prefs;
    t0 = CpuMs();
    reader.GetStreamPrefs(&input, &prefs);
    reader.Init(&input, &prefs);
    long long units = 0;
    for (Element* e = reader.GetFirstElement(); e; e = reader.GetNextElement())
        units += ombra_bench::ReadStories(e);
    m.readerMs = CpuMs() - t0;
    m.peakKiB = static_cast<double>(StatusKiB("VmHWM:") - before);
    m.coreKiB = scope.KiB();
    reader.Reset();
    (void)units;
    return m;
}

bool RunApart(const std::string& shape, long n, Measure& m) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        Measure r = Run(Document(shape, n));
        ssize_t written = write(fds[1], &r, sizeof r);
        _exit(written == static_cast<ssize_t>(sizeof r) ? 0 : 1);
    }
    close(fds[1]);
    ssize_t got = read(fds[0], &m, sizeof m);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return got == static_cast<ssize_t>(sizeof m) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    OBMemoryService* service = ombra_bench::NewCountingService();
    OBMemoryHandler::SetMemoryService(service);
    struct Shape {
        const char* name;
        double aim; // peak memory / XML
        std::vector<long> sizes;
    };
    const std::vector<Shape> shapes = {
        {"paragraphs", 12, {10000, 100000, 800000}},    {"runs", 12, {10000, 100000, 1000000}},
        {"rows", 12, {10000, 100000, 400000}},          {"items", 12, {10000, 100000, 400000}},
        {"master items", 0, {10000, 40000, 160000}}, // a page each: no aim of tiny items
        {"huge run", 3, {1000000, 10000000, 50000000}}, {"claimed rows", 0, {1000, 1000000}},
    };
    std::printf("%-13s %9s %10s %10s %8s %9s %10s %10s %7s %5s\n", "shape", "items", "XML KiB",
                "CPU ms", "/ tree", "ns/item", "core KiB", "peak KiB", "x XML", "aim");
    for (const Shape& s : shapes) {
        for (std::size_t k = 0; k < (quick ? 1 : s.sizes.size()); ++k) {
            const long n = s.sizes[k];
            Measure m{};
            if (!RunApart(s.name, n, m)) {
                std::printf("%-13s %9ld  failed\n", s.name, n);
                continue;
            }
            const double factor = m.peakKiB / m.xmlKiB;
            std::printf("%-13s %9ld %10.0f %10.1f %8.2f %9.1f %10.0f %10.0f %7.2f %5s\n", s.name, n,
                        m.xmlKiB, m.readerMs, m.readerMs / (m.treeMs > 0 ? m.treeMs : 1e-9),
                        m.readerMs * 1e6 / static_cast<double>(n), m.coreKiB, m.peakKiB, factor,
                        s.aim == 0        ? "-"
                        : factor <= s.aim ? "met"
                                          : "no");
        }
    }
    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    return 0;
}
