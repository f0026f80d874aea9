// The error log's texts, piece by piece.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "app/error_log.h"

TEST(ErrorLogFormat, DateAndTimeAreEightCharactersWithLeadingZeros) {
    const struct {
        SYSTEMTIME at;
        const char *date, *time;
    } moments[] = {
        {{2007, 3, 0, 4, 5, 6, 7, 0}, "03/04/07", "05:06:07"},
        {{1999, 12, 5, 31, 23, 59, 58, 0}, "12/31/99", "23:59:58"},
        {{2100, 1, 5, 1, 0, 0, 0, 0}, "01/01/00", "00:00:00"},
    };
    for (const auto& m : moments) {
        char date[16], time[16];
        formatLogDate(m.at, date, sizeof date);
        formatLogTime(m.at, time, sizeof time);
        EXPECT_STREQ(date, m.date);
        EXPECT_STREQ(time, m.time);
    }
}

TEST(ErrorLogFormat, HeaderHasTitleVersionCreditAndCreationStamp) {
    char header[1024];
    formatLogHeader(header, sizeof header, "10:11:12", "01/02/03");
    const std::string text = header, rule = "\n  " + std::string(70, '-');
    const std::string head = rule + "\n" + std::string(23, ' ') + "Error Log File for Dormity\n" +
                             std::string(27, ' ') + "Version:  2.06.00" + rule + "\n\n" +
                             std::string(29, ' ');
    const std::string tail =
        "\n\n\nThis file contains information on errors encountered by the above\napplication."
        "\n\nCreated at 10:11:12 on 01/02/03 \n\n---\n\n";
    ASSERT_GT(text.size(), head.size() + tail.size());
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_NE(text.find("2000", head.size()), std::string::npos) << "the credit line";
}

TEST(ErrorLogFormat, EntryAndBoxTextNameWhatAndDetail) {
    char entry[512], box[64];
    formatLogEntry(entry, sizeof entry, "10:11:12", "01/02/03", "AppendMenu", "Invalid handle.\n");
    EXPECT_STREQ(entry,
                 "Error occurred at 10:11:12 on 01/02/03.\n"
                 "--------------------------------------\n"
                 "      AppendMenu -- Invalid handle.\n\n---\n\n");
    formatErrorBoxText(box, sizeof box, "Out of Memory", "Close something.");
    EXPECT_STREQ(box, "Out of Memory\n\nClose something.");
}

TEST(ErrorLogFormat, SystemTextFallsBackWhenThereIsNone) {
    char text[300], tiny[4];
    systemErrorText(0x2000ABCD, text, sizeof text);  // customer bit: no system text
    EXPECT_STREQ(text, "Unknown Error.");
    systemErrorText(ERROR_NOT_ENOUGH_MEMORY, text, sizeof text);
    EXPECT_STRNE(text, "Unknown Error.");
    EXPECT_GT(strlen(text), 0u);
    // Too long for the buffer: the fallback, itself cut to fit.
    systemErrorText(ERROR_NOT_ENOUGH_MEMORY, tiny, sizeof tiny);
    EXPECT_STREQ(tiny, "Unk");
}
