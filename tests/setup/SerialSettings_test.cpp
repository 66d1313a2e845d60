// The serial settings text: composed from the lists' codes, and checked
// against what the lists can produce.
#include "setup/SerialSettings.h"

#include <gtest/gtest.h>

#include <string>

using namespace setup;

namespace {

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

TEST(SerialSettings, AreThoseTheListsCanProduce) {
    EXPECT_EQ(u"9600,n,8,1,p", DefaultPortSettings());
    std::u16string error;
    for (const char16_t* good : {u"9600,n,8,1,p", u"115200,e,7,2,x", u"2400,s,5,1.5", u"57600,m,4,1,p"})
        EXPECT_TRUE(ValidPortSettings(good, error)) << Narrow(error);
    const struct {
        const char16_t* settings;
        const char16_t* names;
    } bad[] = {
        {u"9601,n,8,1,p", u"speed \"9601\""},     {u"9600,N,8,1,p", u"parity \"N\""},
        {u"9600,n,9,1,p", u"data bits \"9\""},    {u"9600,n,8,3", u"stop bits \"3\""},
        {u"9600,n,8,1,q", u"flow control \"q\""}, {u"9600,n,8,1,", u"flow control \"\""},
        {u"9600,n,8", u"form"},                   {u"9600,n,8,1,p,x", u"form"},
        {u"9600, n,8,1", u"parity \" n\""},       {u"", u"form"},
    };
    for (const auto& b : bad) {
        EXPECT_FALSE(ValidPortSettings(b.settings, error)) << Narrow(b.settings);
        EXPECT_NE(std::u16string::npos, error.find(b.names)) << Narrow(error);
    }
}

TEST(SerialSettings, AFieldThatCannotBeReadIsDroppedWithItsComma) {
    std::array<std::optional<std::u16string>, kSerialListCount> codes{u"19200", u"7", u"e", u"2", u",x"};
    EXPECT_EQ(u"19200,e,7,2,x", ComposePortSettings(codes));
    codes[2].reset();  // parity
    EXPECT_EQ(u"19200,7,2,x", ComposePortSettings(codes));
    codes[0].reset();
    codes[4] = u"";  // no flow control
    EXPECT_EQ(u",7,2", ComposePortSettings(codes));
}

// The combinations Windows' standard serial port refuses, though the lists
// offer them: a warning for each, nothing for the rest.
TEST(SerialSettings, WhatTheStandardSerialPortCannotApply) {
    const std::pair<const char16_t*, bool> rows[] = {
        {u"9600,n,8,1,p", false}, {u"9600,n,8,2", false},    {u"9600,n,5,1.5", false}, {u"9600,n,5,1", false},
        {u"9600,n,6,2,x", false}, {u"9600,n,5,2", true},     {u"9600,n,6,1.5", true},  {u"9600,n,7,1.5,x", true},
        {u"9600,n,8,1.5", true},  {u"115200,e,4,1", true},   {u"9600,n,4,2,p", true},
    };
    for (const auto& [settings, refused] : rows)
        EXPECT_EQ(refused, UartCannotApply(settings).has_value()) << std::string(settings, settings + 3);
}

}  // namespace
