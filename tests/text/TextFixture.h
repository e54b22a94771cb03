// A fixture that gives the test's thread the core's text service and takes
// it away afterwards, so that suites without one are unaffected.
#ifndef OMBRA_TESTS_TEXT_FIXTURE_H
#define OMBRA_TESTS_TEXT_FIXTURE_H

#include <ombra/convertorlumservice.h>
#include <ombra/textservice.h>

#include <gtest/gtest.h>

#include <string>

namespace ombra_test {

class WithTextService : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(OBLumHandler::GetLumService(), nullptr) << "a service leaked from another test";
        service_ = new OBConvertorLumService;
        ASSERT_NE(service_, nullptr);
        OBLumHandler::SetLumService(service_);
        ASSERT_EQ(OBLumHandler::GetLumService(), service_);
    }
    void TearDown() override {
        if (OBLumHandler::GetLumService() == service_) OBLumHandler::ResetLumService();
        delete service_;
    }
    OBConvertorLumService* service_ = nullptr;
};

inline std::u16string U16(const unsigned short* units, long long n) {
    return std::u16string(units, units + n);
}

inline std::u16string U16(const unsigned short* units) {
    std::u16string s;
    while (units && *units)
        s.push_back(static_cast<char16_t>(*units++));
    return s;
}

inline const unsigned short* Ptr(const std::u16string& s) {
    return reinterpret_cast<const unsigned short*>(s.c_str());
}

} // namespace ombra_test

#endif
