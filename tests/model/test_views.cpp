// The typed element views: one class per named kind, expanded from the
// accessor table, and how a plug-in's Element classes override them.
#include <ombra/values.h>
#include <ombra/views.h>

#include "support/ConversionState.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

namespace {

using ombra_test::ConversionState;

// Every class and accessor of the table, called on a library view.
// One small function per view class: a single function holding all of them
// takes the compiler minutes.
struct NullCheck {
    std::vector<std::string> notNull, wrongKind;
    int classes = 0, accessors = 0;
};
const int kIndexes[] = {INT_MIN, -1, 0, 1, 7, INT_MAX};

#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                          \
    void CheckNull##Kind(NullCheck& r) {                                                           \
        Element* element = new OBM##Kind;                                                          \
        if (element->GetElementType() != EL::k##Kind || OBM##Kind::kKind != EL::k##Kind)           \
            r.wrongKind.push_back("OBM" #Kind);                                                    \
        OBM##Kind* view = static_cast<OBM##Kind*>(element);                                        \
        (void)view;                                                                                \
        ++r.classes;
#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType)                                                    \
    ++r.accessors;                                                                                 \
    if (view->Get##Attr() != nullptr) r.notNull.push_back("OBM" #Kind "::Get" #Attr);
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType)                                           \
    ++r.accessors;                                                                                 \
    if (view->Get##Name() != nullptr) r.notNull.push_back("OBM" #Kind "::Get" #Name);
#define OB_VIEW_INDEXED(Kind, Attr, ValueType)                                                     \
    ++r.accessors;                                                                                 \
    for (int n : kIndexes)                                                                         \
        if (view->Get##Attr(n) != nullptr) r.notNull.push_back("OBM" #Kind "::Get" #Attr);
#define OB_VIEW_END(Kind)                                                                          \
    delete element;                                                                                \
    }
#include <ombra/defs/ViewAccessors.def>

TEST(Views, EveryLibraryAccessorReturnsNull) {
    ConversionState state;
    NullCheck r;
#define OB_VIEW_END(Kind) CheckNull##Kind(r);
#include <ombra/defs/ViewAccessors.def>
    EXPECT_TRUE(r.notNull.empty()) << r.notNull.front();
    EXPECT_TRUE(r.wrongKind.empty()) << r.wrongKind.front();
    int classCount = 0, accessorCount = 0;
    OBGetViewClasses(classCount);
    OBGetViewAccessors(accessorCount);
    EXPECT_EQ(r.classes, classCount);
    EXPECT_EQ(r.accessors, accessorCount);
}

TEST(Views, CopiesShareChildrenAndKeepTheId) {
    ConversionState state;
    OBMParagraphStyle* style = new OBMParagraphStyle;
    style->AddChild(new OBMParagraphRun);
    style->AddChild(new OBMParagraphRun);
    OBMParagraphStyle copy(*style);
    EXPECT_EQ(copy.GetId(), style->GetId());
    EXPECT_EQ(copy.GetElementType(), EL::kParagraphStyle);
    EXPECT_EQ(copy.GetNthChild(1), style->GetNthChild(1));
    EXPECT_EQ(copy.OwnsChild(copy.GetNthChild(1)), 0);
    OBMParagraphStyle moved(std::move(*style)); // ownership goes along
    delete style;
    EXPECT_EQ(moved.OwnsChild(moved.GetNthChild(0)), 1);
}

// ---------------------------------------------------------------- a plug-in's element class

// A reader's table cell: holds its row number and overrides one accessor.
class ReaderTableCell : public OBMTableCell {
public:
    ReaderTableCell(int row, int* deaths) : deaths_(deaths) { row_.Init(row); }
    ~ReaderTableCell() override { ++*deaths_; }
    Value* GetRowNumber() override { return &row_; }

private:
    ValueInteger32 row_;
    int* deaths_;
};

TEST(Views, APlugInOverrideIsSeenThroughTheViewAndTheElement) {
    ConversionState state;
    int deaths = 0;
    OBMTableRow* row = new OBMTableRow;
    row->AddChild(new ReaderTableCell(4, &deaths));
    row->AddChild(new OBMTableCell);

    // A writer's view of it: check the type, then read through the view.
    std::vector<int> rows;
    for (unsigned long long i = 0; i < row->GetChildCount(); ++i) {
        Element* element = row->GetNthChild(i);
        ASSERT_EQ(element->GetElementType(), EL::kTableCell);
        OBMTableCell* cell = static_cast<OBMTableCell*>(element);
        int number = -1;
        if (Value* value = cell->GetRowNumber()) static_cast<ValueInteger32*>(value)->Get(number);
        rows.push_back(number);
        EXPECT_EQ(cell->GetColumnNumber(), nullptr); // not overridden
    }
    EXPECT_EQ(rows, (std::vector<int>{4, -1}));

    Element* asElement = row;
    delete asElement; // the core deletes the plug-in's Elements through Element
    EXPECT_EQ(deaths, 1);
}

} // namespace
