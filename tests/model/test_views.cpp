// The typed element views: one class per named kind, expanded from the
// accessor table, and how a plug-in's Element classes override them.
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

#define OB_VIEW_BEGIN(Kind, HasAccessors)                                                           \
    void CheckNull##Kind(NullCheck& r) {                                                           \
        Element* element = new OBM##Kind;                                                          \
        if (element->GetElementType() != EL::k##Kind || OBM##Kind::kKind != EL::k##Kind)            \
            r.wrongKind.push_back("OBM" #Kind);                                                    \
        OBM##Kind* view = static_cast<OBM##Kind*>(element);                                        \
        (void)view;                                                                                \
        ++r.classes;
#define OB_VIEW_ACCESSOR(Kind, Attr, ValueType)                                                     \
    ++r.accessors;                                                                                 \
    if (view->Get##Attr() != nullptr) r.notNull.push_back("OBM" #Kind "::Get" #Attr);
#define OB_VIEW_ACCESSOR_AS(Kind, Name, Attr, ValueType)                                            \
    ++r.accessors;                                                                                 \
    if (view->Get##Name() != nullptr) r.notNull.push_back("OBM" #Kind "::Get" #Name);
#define OB_VIEW_INDEXED(Kind, Attr, ValueType)                                                      \
    ++r.accessors;                                                                                 \
    for (int n : kIndexes)                                                                         \
        if (view->Get##Attr(n) != nullptr) r.notNull.push_back("OBM" #Kind "::Get" #Attr);
#define OB_VIEW_END(Kind)                                                                           \
    delete element;                                                                                \
    }
#include <ombra/defs/ViewAccessors.def>

TEST(Views, EveryLibraryAccessorReturnsNull) {
    ConversionState state;
    NullCheck r;
#define OB_VIEW_END(Kind) CheckNull##Kind(r);
#include <ombra/defs/ViewAccessors.def>
    const std::vector<std::string>& notNull = r.notNull;
    const std::vector<std::string>& wrongKind = r.wrongKind;
    int classes = r.classes, accessors = r.accessors;

    EXPECT_TRUE(notNull.empty()) << notNull.front();
    EXPECT_TRUE(wrongKind.empty()) << wrongKind.front();
    EXPECT_EQ(classes, 228);
    EXPECT_EQ(accessors, 1662);
    // The views agree with the queryable form of the table.
    int tableClasses = 0, tableAccessors = 0;
    OBGetViewClasses(tableClasses);
    OBGetViewAccessors(tableAccessors);
    EXPECT_EQ(classes, tableClasses);
    EXPECT_EQ(accessors, tableAccessors);
}

TEST(Views, AViewIsAnElementOfItsKindWithoutDataOfItsOwn) {
    ConversionState state;
    OBMPublication publication;
    EXPECT_EQ(static_cast<int>(publication.GetElementType()), 163);
    EXPECT_EQ(publication.GetId(), 0u);
    OBMTableCell cell;
    EXPECT_EQ(cell.GetId(), 1u);
    EXPECT_EQ(cell.GetElementType(), EL::kTableCell);
    static_assert(sizeof(OBMPublication) == sizeof(Element), "views add no data");
    static_assert(sizeof(OBMCharacterAttributes) == sizeof(Element), "views add no data");
    static_assert(OBMYIQ::kKind == EL::kYIQ && OBMAdjustLayoutPreferences::kKind == 0,
                  "first and last views");
}

// A child that counts its destructions.
class Counted : public OBMParagraphRun {
public:
    explicit Counted(int* deaths) : deaths_(deaths) {}
    ~Counted() override { ++*deaths_; }

private:
    int* deaths_;
};

TEST(Views, CopiesShareChildrenAndKeepTheId) {
    ConversionState state;
    int deaths = 0;
    OBMParagraphStyle* style = new OBMParagraphStyle;
    style->AddChild(new Counted(&deaths));
    style->AddChild(new Counted(&deaths));

    OBMParagraphStyle copy(*style);
    EXPECT_EQ(copy.GetId(), style->GetId());
    EXPECT_EQ(static_cast<int>(copy.GetElementType()), 155);
    EXPECT_EQ(copy.GetNthChild(1), style->GetNthChild(1));

    OBMParagraphStyle assigned;
    assigned = *style;
    EXPECT_EQ(assigned.GetId(), style->GetId());
    EXPECT_EQ(assigned.GetChildCount(), 2u);

    OBMParagraphStyle moved(std::move(*style)); // ownership goes along
    delete style;
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(moved.GetChildCount(), 2u);
    OBMParagraphStyle target;
    target = std::move(moved);
    EXPECT_EQ(target.OwnsChild(target.GetNthChild(0)), 1);
    target.RemoveAllChildren(true);
    EXPECT_EQ(deaths, 2);
}

// ---------------------------------------------------------------- a plug-in's element class

// A 24-byte value, as a plug-in would hold one.
class RowNumber : public Value {
public:
    explicit RowNumber(int row) : Value(VT::ekSignedInt32), row_(row) {}
    Value& operator=(Value& other) override {
        row_ = static_cast<RowNumber&>(other).row_;
        return *this;
    }
    short IsEqual(Value* other) override {
        return Value::IsEqual(other) && static_cast<RowNumber*>(other)->row_ == row_ ? 1 : 0;
    }
    int Row() const { return row_; }

private:
    int row_;
};

// A reader's table cell: holds its row number and overrides one accessor.
class ReaderTableCell : public OBMTableCell {
public:
    ReaderTableCell(int row, int* deaths) : row_(new RowNumber(row)), deaths_(deaths) {}
    ~ReaderTableCell() override {
        delete row_;
        ++*deaths_;
    }
    Value* GetRowNumber() override { return row_; }

private:
    RowNumber* row_;
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
        Value* value = cell->GetRowNumber();
        rows.push_back(value ? static_cast<RowNumber*>(value)->Row() : -1);
        EXPECT_EQ(cell->GetColumnNumber(), nullptr); // not overridden
    }
    EXPECT_EQ(rows, (std::vector<int>{4, -1}));

    VT::ValueTypeEnum type = VT::ekUndefined;
    static_cast<OBMTableCell*>(row->GetNthChild(0))->GetRowNumber()->GetType(type);
    EXPECT_EQ(type, VT::ekSignedInt32);

    Element* asElement = row;
    delete asElement; // the core deletes the plug-in's Elements through Element
    EXPECT_EQ(deaths, 1);
}

} // namespace
