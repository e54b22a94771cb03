// Building and destroying a tree of 100,000 Elements that carry ten values
// each (lengths, strings, enumerations), as a reader's element classes hold
// them: pooled values made through ValueUtil under the typed views, against
// the same tree of plain heap objects (structs with std::string, new and
// delete). At the end the program prints library time / plain time.
#include <ombra/identifiers.h>
#include <ombra/memory.h>
#include <ombra/valueutil.h>
#include <ombra/views.h>

#include "BenchRatios.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// 1 story, 1,000 paragraphs, 99 character runs in each: 100,001 Elements.
constexpr int kParagraphs = 1000;
constexpr int kRunsPerParagraph = 99;
constexpr int kValuesPerElement = 10;

const char* const kFonts[] = {"Garamond Premier Pro", "Minion Pro Semibold Italic",
                              "Source Sans Pro Light", "Times New Roman PS MT"};

void* MallocAllocate(unsigned long long size) {
    return std::malloc(size ? size : 1);
}
void MallocFree(void* block) {
    std::free(block);
}

// ---------------------------------------------------------------- the library's tree

// Four lengths, three strings (or, without strings, three more lengths) and
// three enumerations, released with the element. A string value is made as
// a reader makes it from the text it parsed: through a COBString.
template <class View> class HoldingValues : public View {
public:
    HoldingValues(int seed, bool strings) {
        Value** v = values_;
        ValueUtil::CreateValueLength(UNITS::LINEAR::kPoints, 9 + seed % 5, *v++);
        ValueUtil::CreateValueLength(UNITS::LINEAR::kPoints, OBReal(11.5 + seed % 3), *v++);
        ValueUtil::CreateValueLength(UNITS::LINEAR::kMillimeters, OBReal(0.25 * (seed % 7)), *v++);
        ValueUtil::CreateValueLength(UNITS::LINEAR::kPoints, seed % 11, *v++);
        if (strings) {
            ValueUtil::CreateValueString(COBString(kFonts[seed % 4]), *v++);
            ValueUtil::CreateValueString(COBString("Regular weight, normal width"), *v++);
            ValueUtil::CreateValueString(COBString(kFonts[(seed + 1) % 4]), *v++);
        } else {
            for (int i = 0; i < 3; ++i)
                ValueUtil::CreateValueLength(UNITS::LINEAR::kPoints, i, *v++);
        }
        ValueUtil::CreateValueCharacterCaseEnum(static_cast<CCE::CharacterCaseEnum>(seed % 3),
                                                *v++);
        ValueUtil::CreateValueUnderlineTypeEnum(static_cast<UTE::UnderlineTypeEnum>(seed % 4),
                                                *v++);
        ValueUtil::CreateValueAlignmentEnum(static_cast<AE::AlignmentEnum>(seed % 5), *v++);
    }
    ~HoldingValues() override {
        for (Value*& v : values_)
            ValueUtil::Recycle(v);
    }
    Value* Get(int i) { return values_[i]; }

protected:
    Value* values_[kValuesPerElement];
};

class Character : public HoldingValues<OBMCharacterAttributes> {
public:
    using HoldingValues::HoldingValues;
    Value* GetFontSize() override { return values_[0]; }
    Value* GetFont() override { return values_[4]; }
    Value* GetUnderlineType() override { return values_[8]; }
};

class Paragraph : public HoldingValues<OBMParagraphAttributes> {
public:
    using HoldingValues::HoldingValues;
    Value* GetLeftIndent() override { return values_[0]; }
    Value* GetAlignment() override { return values_[9]; }
};

void LibraryTree(benchmark::State& state, bool strings) {
    OBIDGenerator::Init();
    ElementUtil::Init();
    for (auto _ : state) {
        OBMChildStory* story = new OBMChildStory;
        int seed = 0;
        for (int p = 0; p < kParagraphs; ++p) {
            Paragraph* paragraph = new Paragraph(seed++, strings);
            for (int r = 0; r < kRunsPerParagraph; ++r)
                paragraph->AddChild(new Character(seed++, strings));
            story->AddChild(paragraph);
        }
        benchmark::DoNotOptimize(story);
        Element* root = story;
        delete root;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (1 + kParagraphs * (1 + kRunsPerParagraph)));
    OBIDGenerator::Reset();
    ElementUtil::Reset();
}

// ---------------------------------------------------------------- the plain tree

struct PlainValue {
    virtual ~PlainValue() = default;
};
struct PlainLength : PlainValue {
    PlainLength(int unit, double value, bool integral)
        : unit(unit), value(value), integral(integral) {}
    int unit;
    double value;
    bool integral;
};
struct PlainString : PlainValue {
    explicit PlainString(const char* s) : text(s) {}
    std::string text;
};
struct PlainEnum : PlainValue {
    explicit PlainEnum(int member) : member(member) {}
    int member;
};

struct PlainElement {
    PlainElement(unsigned id, int type, int seed, bool strings) : id(id), type(type) {
        PlainValue** v = values;
        *v++ = new PlainLength(7, 9 + seed % 5, true);
        *v++ = new PlainLength(7, 11.5 + seed % 3, false);
        *v++ = new PlainLength(9, 0.25 * (seed % 7), false);
        *v++ = new PlainLength(7, seed % 11, true);
        if (strings) {
            *v++ = new PlainString(kFonts[seed % 4]);
            *v++ = new PlainString("Regular weight, normal width");
            *v++ = new PlainString(kFonts[(seed + 1) % 4]);
        } else {
            for (int i = 0; i < 3; ++i)
                *v++ = new PlainLength(7, i, true);
        }
        *v++ = new PlainEnum(seed % 3);
        *v++ = new PlainEnum(seed % 4);
        *v++ = new PlainEnum(seed % 5);
    }
    virtual ~PlainElement() {
        for (PlainElement* c : children)
            delete c;
        for (PlainValue* v : values)
            delete v;
    }
    unsigned id;
    int type;
    std::vector<PlainElement*> children;
    PlainValue* values[kValuesPerElement] = {};
};

void PlainTree(benchmark::State& state, bool strings) {
    for (auto _ : state) {
        unsigned id = 0;
        PlainElement* story = new PlainElement(id++, EL::kChildStory, 0, strings);
        int seed = 0;
        for (int p = 0; p < kParagraphs; ++p) {
            PlainElement* paragraph =
                new PlainElement(id++, EL::kParagraphAttributes, seed++, strings);
            for (int r = 0; r < kRunsPerParagraph; ++r)
                paragraph->children.push_back(
                    new PlainElement(id++, EL::kCharacterAttributes, seed++, strings));
            story->children.push_back(paragraph);
        }
        benchmark::DoNotOptimize(story);
        delete story;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (1 + kParagraphs * (1 + kRunsPerParagraph)));
}

} // namespace

int main(int argc, char** argv) {
    // As a host does: the memory service comes before any other call.
    auto* service = new OBMemoryService(MallocAllocate, MallocFree, MallocAllocate, MallocFree);
    OBMemoryHandler::SetMemoryService(service);

    for (bool strings : {true, false}) {
        std::string name = strings ? "tree100k" : "tree100k_without_strings";
        benchmark::RegisterBenchmark(("library/" + name).c_str(), LibraryTree, strings)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("plain/" + name).c_str(), PlainTree, strings)
            ->Unit(benchmark::kMillisecond);
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ombra_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios("ratio library / plain (build and destroy 100,001 Elements with 10 values "
                         "each; below 1 the library is faster)",
                         "library/", "plain/");
    benchmark::Shutdown();

    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    return 0;
}
