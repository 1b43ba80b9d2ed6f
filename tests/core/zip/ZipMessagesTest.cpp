#include "core/zip/ZipMessages.h"
#include "core/zip/EZipComponent.h"

#include <gtest/gtest.h>

using namespace tabula;

TEST(ZipMessages, EveryCodeTheComponentUsesHasAText) {
    for (const int id :
         {10102, 10103, 10105, 10201, 10202, 10203, 10204, 10205, 10501, 10502, 10701, 10702,
          10703, 10704, 11001, 11002, 11003, 11004, 11006, 11007, 11008, 11009, 11011, 11012,
          11013, 11014, 11015, 11016, 11017, 11018, 11019, 11020, 11021, 11022, 11023, 11024,
          11025, 11026, 11027, 11028, 11029, 11030, 11031, 11033, 11036, 11037, 11038, 11045}) {
        EXPECT_TRUE(HasZipMessage(id)) << id;
    }
    EXPECT_EQ(ZipMessageText(10202), "Unknown error in List() function\n");
    EXPECT_EQ(ZipMessageText(11024),
              "UnKnown error in function ReadSpan(), WriteSpan(), Rename() or CopyZippedFiles()\n");
    EXPECT_EQ(ZipMessageText(10105), "Copying: ");
}

TEST(ZipMessages, MissingTextNamesTheId) {
    for (const int id : {0, 11034, 11035, 99999}) {
        EXPECT_FALSE(HasZipMessage(id));
        EXPECT_EQ(ZipMessageText(id),
                  "Message resource is probably not bound to executable\nMissing String ID is: " +
                      std::to_string(id));
    }
}

TEST(ZipMessages, FormatFillsDirectivesInOrder) {
    EXPECT_EQ(FormatZipText("Please insert disk volume %.1d of %.1d", {int64_t{2}, int64_t{5}}),
              "Please insert disk volume 2 of 5");
    EXPECT_EQ(FormatZipText("Drive %s is NOT defined", {std::string("/media/x/")}),
              "Drive /media/x/ is NOT defined");
    EXPECT_EQ(FormatZipText("100%% of %d and %s", {int64_t{-3}}), "100% of -3 and %s");
    EXPECT_EQ(FormatZipText("%s", {std::string("%d")}), "%d") << "arguments are not formats";
    EXPECT_EQ(FormatZipText("ends in %", {}), "ends in %");
}

TEST(EZipComponent, ThreeConstructionsFormatAndShow) {
    const EZipComponent plain(11036, false);
    EXPECT_STREQ(plain.what(), "This archive is not a valid Zip archive");
    EXPECT_EQ(plain.ResourceId(), 11036);
    EXPECT_FALSE(plain.ShowToUser());

    const EZipComponent disk(11038, 3);
    EXPECT_STREQ(disk.what(),
                 "This is the 3th disk in a backup set,\nplease insert the last disk of this set");
    EXPECT_TRUE(disk.ShowToUser());

    const EZipComponent text(11004, "/mnt/usb/");
    EXPECT_STREQ(text.what(), "Drive /mnt/usb/ is NOT defined");
    EXPECT_TRUE(text.ShowToUser());
    EXPECT_EQ(text.ResourceId(), 11004);
}

TEST(EZipComponent, MissingTextIsNeverFormatted) {
    const EZipComponent error(11099, std::string("ignored"));
    EXPECT_STREQ(
        error.what(),
        "Message resource is probably not bound to executable\nMissing String ID is: 11099");
    EXPECT_EQ(error.ResourceId(), 11099);
}
