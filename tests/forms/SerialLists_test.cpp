// The serial lists' contents and the settings text composed from them.
#include "forms/SerialLists.h"
#include "support/MemoryControls.h"

#include <gtest/gtest.h>

using namespace forms;
using testing_support::MemoryList;

namespace {

struct Lists {
    std::array<MemoryList, 5> combo;
    SerialListControls controls{&combo[0], &combo[1], &combo[2], &combo[3], &combo[4]};
    Lists() { FillSerialLists(controls); }
    std::u16string Pick(std::u16string_view speed, std::u16string_view parity, std::u16string_view data,
                        std::u16string_view stop, std::u16string_view flow) {
        combo[0].Pick(speed);
        combo[2].Pick(parity);
        combo[1].Pick(data);
        combo[3].Pick(stop);
        combo[4].Pick(flow);
        return PortSettingsString(controls);
    }
};

TEST(SerialLists, FilledEntriesHideTheirCodeBehindHundredSpaces) {
    Lists lists;
    const std::u16string speedDefault = u"9600" + std::u16string(100, u' ') + u"9600";
    EXPECT_EQ(speedDefault, lists.combo[0].CurrentText());
    EXPECT_EQ(108u, lists.combo[0].CurrentText().size());

    const std::vector<std::u16string> expectedDisplays[5] = {
        {u"2400", u"4800", u"9600", u"19200", u"38400", u"57600", u"115200"},
        {u"4", u"5", u"6", u"7", u"8"},
        {u"Even", u"Odd", u"None", u"Mark", u"Space"},
        {u"1", u"1.5", u"2"},
        {u"Xon/Xoff", u"Hardware", u"None"}};
    for (int list = 0; list < 5; ++list) {
        ASSERT_EQ(expectedDisplays[list].size(), lists.combo[list].entries.size()) << "list " << list;
        for (std::size_t i = 0; i < expectedDisplays[list].size(); ++i) {
            const std::u16string& entry = lists.combo[list].entries[i];
            const std::u16string& display = expectedDisplays[list][i];
            EXPECT_EQ(display, entry.substr(0, display.size()));
            EXPECT_EQ(std::u16string(100, u' '), entry.substr(display.size(), 100)) << "list " << list;
        }
    }
    // Defaults: 9600, 8 data bits, no parity, 1 stop bit, hardware flow control.
    EXPECT_EQ(u"9600,n,8,1,p", PortSettingsString(lists.controls));
}

TEST(SerialLists, SettingsTextFollowsThePicks) {
    Lists lists;
    EXPECT_EQ(u"115200,e,7,2,x", lists.Pick(u"115200", u"Even", u"7", u"2", u"Xon/Xoff"));
    EXPECT_EQ(u"2400,s,5,1.5", lists.Pick(u"2400", u"Space", u"5", u"1.5", u"None"));
    EXPECT_EQ(u"57600,m,8,1,p", lists.Pick(u"57600", u"Mark", u"8", u"1", u"Hardware"));
    EXPECT_EQ(u"4800,o,4,1", lists.Pick(u"4800", u"Odd", u"4", u"1", u"None"));
}

TEST(SerialLists, CodeIsReadFromTheLastTenCharacters) {
    EXPECT_EQ(u"", CodeOfEntry(u""));
    EXPECT_EQ(u"1.5", CodeOfEntry(u"  1.5 "));                          // shorter than ten: the whole text
    EXPECT_EQ(u",x", CodeOfEntry(SettingEntry(u"Xon/Xoff", u",x")));
    EXPECT_EQ(u"", CodeOfEntry(SettingEntry(u"None", u"")));
    EXPECT_EQ(u"115200", CodeOfEntry(SettingEntry(u"115200", u"115200")));
}

TEST(SerialLists, FailingListOperationsAreSkipped) {
    std::array<MemoryList, 5> combo;
    combo[1].Fail("Add");     // data bits: nothing can be added
    combo[2].Fail("Select");  // parity: no selection
    combo[3].entries = {u"stale"};
    combo[3].Fail("Clear");   // stop bits: old entry stays, new ones follow
    SerialListControls controls{&combo[0], &combo[1], &combo[2], &combo[3], &combo[4]};
    FillSerialLists(controls);

    EXPECT_TRUE(combo[1].entries.empty());
    EXPECT_EQ(5u, combo[2].entries.size());
    EXPECT_EQ(4u, combo[3].entries.size());
    EXPECT_EQ(7u, combo[0].entries.size());  // the lists after a failure are still filled
    EXPECT_EQ(3u, combo[4].entries.size());
    // Data bits and parity have no selection and give empty codes; stop bits
    // selects index 0, which is now the stale entry.
    EXPECT_EQ(u"9600,,,stale,p", PortSettingsString(controls));

    // A list that cannot be read drops its field with its comma.
    combo[2].Fail("CurrentText");
    combo[0].Fail("CurrentText");
    EXPECT_EQ(u",,stale,p", PortSettingsString(controls));
}

}  // namespace
