#include "res/strings.h"

#include "platform/dialogs.h"
#include "res/resource_ids.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Formatted {
    int id;
    const char* argument;
    const char* expected;
};

class StringTable : public ::testing::TestWithParam<Formatted> {
protected:
    void SetUp() override { platform::InstallStringTable(&res::SharedTableString); }
    void TearDown() override { platform::InstallStringTable(nullptr); }
};

TEST_P(StringTable, FormatsTheProgramsTexts) {
    EXPECT_EQ(platform::FormatString(GetParam().id, QString::fromUtf8(GetParam().argument)),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Res, StringTable,
    ::testing::Values(Formatted{61204, "/home/ro", "Couldn\u00B4t write in /home/ro directory!"},
                      Formatted{61205, "/tmp/500.JPG", "Do you want to replace /tmp/500.JPG file?"},
                      Formatted{61206, "41708.JPG", "Saving image 41708.JPG ..."},
                      Formatted{61207, "00", "Copying image 00 ..."},
                      Formatted{61208, "99", "Freeing image 99 ..."},
                      Formatted{61213, "", "Canceling, wait ..."},
                      Formatted{61214, "", "Closing, wait ..."}, Formatted{128, "", "Tesselon"},
                      Formatted{57601, "", "Open a video file"},
                      Formatted{57602, "", "Close the video file"}),
    [](const auto& info) { return "String" + std::to_string(info.param.id); });

TEST(Strings, TheDefaultLabelNamesTheContactAddress) {
    const QString label =
        res::SharedTableString(res::IDS_LABEL_TEXT).replace("%1", res::SharedTableString(res::IDS_CONTACT));
    EXPECT_TRUE(label.startsWith("JPG created with Tesselon "));
    EXPECT_FALSE(res::SharedTableString(res::IDS_CONTACT).isEmpty());
    // The label dialog's edit box takes 45 characters: the default must fit,
    // or opening the dialog and pressing OK would cut it.
    EXPECT_LE(label.size(), 45);
}

TEST(Strings, UnknownIdsAreEmpty) {
    EXPECT_TRUE(res::SharedTableString(0).isEmpty());
    EXPECT_TRUE(res::SharedTableString(61209).isEmpty());
}

} // namespace
