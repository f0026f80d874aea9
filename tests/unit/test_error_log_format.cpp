// The error log's texts, piece by piece.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "app/error_log.h"

namespace {

SYSTEMTIME at(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME time;
    memset(&time, 0, sizeof time);
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

} // namespace

TEST(ErrorLogFormat, DateAndTimeAreEightCharactersWithLeadingZeros)
{
    char date[16];
    char time[16];
    formatLogDate(at(2007, 3, 4, 5, 6, 7), date, sizeof date);
    formatLogTime(at(2007, 3, 4, 5, 6, 7), time, sizeof time);
    EXPECT_STREQ(date, "03/04/07");
    EXPECT_STREQ(time, "05:06:07");
    formatLogDate(at(1999, 12, 31, 23, 59, 58), date, sizeof date);
    formatLogTime(at(1999, 12, 31, 23, 59, 58), time, sizeof time);
    EXPECT_STREQ(date, "12/31/99");
    EXPECT_STREQ(time, "23:59:58");
    formatLogDate(at(2100, 1, 1, 0, 0, 0), date, sizeof date);
    EXPECT_STREQ(date, "01/01/00");
}

TEST(ErrorLogFormat, HeaderHasTitleVersionCreditAndCreationStamp)
{
    char header[1024];
    formatLogHeader(header, sizeof header, "10:11:12", "01/02/03");
    std::string text = header;
    const std::string rule = "\n  " + std::string(70, '-');
    ASSERT_EQ(text.compare(0, rule.size(), rule), 0);
    std::string title = "\n" + std::string(23, ' ') + "Error Log File for Dormity";
    std::string version = "\n" + std::string(27, ' ') + "Version:  2.06.00";
    EXPECT_EQ(text.find(title), rule.size());
    EXPECT_EQ(text.find(version), rule.size() + title.size());
    EXPECT_EQ(text.find(rule, 1), rule.size() + title.size() + version.size());
    size_t credit = text.find("\n\n" + std::string(29, ' '));
    ASSERT_NE(credit, std::string::npos);
    EXPECT_NE(text.find("2000", credit), std::string::npos);
    EXPECT_NE(text.find("\n\n\nThis file contains information on errors encountered by the "
                        "above\napplication."),
              std::string::npos);
    const std::string tail = "\n\nCreated at 10:11:12 on 01/02/03 \n\n---\n\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST(ErrorLogFormat, EntryNamesTimeWhatAndDetail)
{
    char entry[512];
    formatLogEntry(entry, sizeof entry, "10:11:12", "01/02/03", "AppendMenu", "Invalid handle.\n");
    EXPECT_STREQ(entry,
                 "Error occurred at 10:11:12 on 01/02/03.\n"
                 "--------------------------------------\n"
                 "      AppendMenu -- Invalid handle.\n\n---\n\n");
}

TEST(ErrorLogFormat, BoxTextIsWhatBlankLineDetail)
{
    char text[64];
    formatErrorBoxText(text, sizeof text, "Out of Memory", "Close something.");
    EXPECT_STREQ(text, "Out of Memory\n\nClose something.");
}

TEST(ErrorLogFormat, SystemTextFallsBackWhenThereIsNone)
{
    char text[300];
    systemErrorText(0x2000ABCD, text, sizeof text);  // customer bit: no system text
    EXPECT_STREQ(text, "Unknown Error.");
    systemErrorText(ERROR_NOT_ENOUGH_MEMORY, text, sizeof text);
    EXPECT_STRNE(text, "Unknown Error.");
    EXPECT_GT(strlen(text), 0u);
    char tiny[4];
    systemErrorText(ERROR_NOT_ENOUGH_MEMORY, tiny, sizeof tiny);
    // Too long for the buffer: the fallback, itself cut to fit.
    EXPECT_STREQ(tiny, "Unk");
}
