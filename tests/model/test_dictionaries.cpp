// DictElements and DictAttrs: element-kind and attribute names, both ways,
// for every name of the vocabulary.
#include <ombra/elements.h>
#include <ombra/strings.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string NameOfKind(int kind, bool* found = nullptr) {
    COBString name("stale");
    bool ok = DictElements::GetStringById(static_cast<EL::ElementTypeEnum>(kind), name);
    if (found) *found = ok;
    return name.GrabCString();
}

int KindOfName(const char* text, bool* found = nullptr) {
    EL::ElementTypeEnum id = EL::kPublication;
    bool ok = DictElements::GetIdByString(COBString(text), id);
    if (found) *found = ok;
    return id;
}

std::string NameOfAttr(int attr) {
    COBString name("stale");
    DictAttrs::GetStringByNameId(static_cast<AN::AttrNameEnum>(attr), name);
    return name.GrabCString();
}

int AttrOfName(const char* text) {
    AN::AttrNameEnum id = AN::kName;
    DictAttrs::GetNameIdByString(COBString(text), id);
    return id;
}

TEST(DictElements, EveryKindAndNameBothWays) {
    // Every slot's name finds its own kind, except the repeated name of 232,
    // which finds the earlier slot, 120; letter case does not count.
    for (const OBElementKindName& slot : kOBElementKindNames) {
        bool found = false;
        EXPECT_EQ(NameOfKind(slot.type, &found), slot.name);
        EXPECT_TRUE(found);
        EXPECT_EQ(KindOfName(slot.name, &found), slot.type == 232 ? 120 : slot.type) << slot.name;
        EXPECT_TRUE(found);
    }
    bool found = true;
    EXPECT_EQ(NameOfKind(43), "CommomMarginPropertiesBlock");
    EXPECT_EQ(NameOfKind(232), "KinsokuTableList");
    EXPECT_EQ(KindOfName("publication", &found), 163);
    EXPECT_TRUE(found);
    EXPECT_EQ(KindOfName("PUBLICATION"), 163);
    for (const char* unknown : {"Publicatio", "Publications", "", "UNDEFINED"}) {
        EXPECT_EQ(KindOfName(unknown, &found), 233) << unknown;
        EXPECT_FALSE(found) << unknown;
    }
    for (int unnamed : {228, 233, 234, -1, -233, 100000}) {
        EXPECT_EQ(NameOfKind(unnamed, &found), "UNDEFINED") << unnamed;
        EXPECT_FALSE(found) << unnamed;
    }
}

TEST(DictAttrs, EveryAttributeAndNameBothWays) {
    // Every name leads to the first attribute that carries it; letter case counts.
    for (int attr = 0; attr <= 973; ++attr) {
        std::string name = NameOfAttr(attr);
        EXPECT_STREQ(name.c_str(), OBAttrNameString(static_cast<AN::AttrNameEnum>(attr)));
        int found = AttrOfName(name.c_str());
        EXPECT_LE(found, attr) << name;
        EXPECT_EQ(NameOfAttr(found), name);
    }
    EXPECT_EQ(AttrOfName("Name"), 41);
    EXPECT_EQ(AttrOfName("Levelnorestart"), AN::kLevelnorestart);
    for (const char* unknown : {"name", "NAME", "LevelNoRestart", "", "UNDEFINED"})
        EXPECT_EQ(AttrOfName(unknown), 978) << unknown;
    for (int unnamed : {974, 977, 978, 979, -1, 5000})
        EXPECT_EQ(NameOfAttr(unnamed), "UNDEFINED") << unnamed;
}

} // namespace
