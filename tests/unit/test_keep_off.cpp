// Keeping the screen saver off while listed programs run: the list as read, a process matched
// against it, who holds the screen saver and what a check does, and the switch's value.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "commands/keep_off.h"

namespace {

// The programs kept from a REG_MULTI_SZ's bytes, as their texts.
std::vector<std::string> kept(const std::string& bytes, UINT capacity = 16)
{
    std::vector<KeepOffRule> rules(capacity);
    UINT count = parseKeepOffRules(bytes.data(), bytes.size(), rules.data(), capacity);
    std::vector<std::string> texts;
    for (UINT i = 0; i < count; ++i)
        texts.push_back(rules[i].text);
    return texts;
}

struct Process {
    const char* name;
    const char* path;  // what the system tells once asked; null: it will not
};

}  // namespace

TEST(KeepOff, ACheckHoldsOnlyWhatItTurnedOffAndTheUsersLatestChoiceStands)
{
    const KeepOffState idle = KEEP_OFF_IDLE, holding = KEEP_OFF_HOLDING, aside = KEEP_OFF_ASIDE;
    const KeepOffAction leave = KEEP_OFF_LEAVE, hold = KEEP_OFF_HOLD, release = KEEP_OFF_RELEASE,
                        forget = KEEP_OFF_FORGET;
    const std::string vlc("vlc.exe\0", 8), vlcPath("C:\\Program Files\\VideoLAN\\VLC\\vlc.exe\0", 38);
    const Process none = {"explorer.exe", "C:\\windows\\explorer.exe"};
    const Process upper = {"VLC.EXE", nullptr}, portable = {"vlc.exe", "D:\\portable\\vlc.exe"};
    const Process installed = {"Vlc.exe", "c:\\program files\\videolan\\vlc\\VLC.EXE"};
    const Process unopened = {"vlc.exe", nullptr}, longer = {"vlc.exe.exe", nullptr};
    // The flags: "a" the screen saver active, "u" the user chose just now, "s" the switch asks,
    // "p" a policy holds the flag.
    const struct { std::string rules; Process running; KeepOffState state; const char* flags;
                   KeepOffAction action; KeepOffState next; } rows[] = {
        // A listed program starts while the screen saver is on: Dormity turns it off.
        {vlc, upper, idle, "a", hold, holding}, {vlcPath, installed, idle, "a", hold, holding},
        // Another program, another copy of the path's file, one whose path is not told.
        {vlc, longer, idle, "a", leave, idle}, {vlcPath, portable, idle, "a", leave, idle},
        {vlcPath, unopened, idle, "a", leave, idle},
        {std::string("\0", 1), upper, idle, "a", leave, idle},
        // Off already when it starts: it is the user's, now and when it ends.
        {vlc, upper, idle, "", leave, aside}, {vlc, upper, aside, "a", leave, aside},
        {vlc, none, aside, "", leave, idle},
        // Held: kept off while it runs, back when it ends...
        {vlc, upper, holding, "", leave, holding}, {vlc, none, holding, "", release, idle},
        // ...unless someone enabled it meanwhile, or the user chose by a command.
        {vlc, upper, holding, "a", forget, aside}, {vlc, none, holding, "a", forget, idle},
        {vlc, upper, holding, "u", forget, aside}, {vlc, upper, holding, "au", forget, aside},
        {vlc, none, idle, "au", leave, idle},
        // The switch holds it while its program runs, also where it was off already.
        {vlc, upper, aside, "s", hold, holding}, {vlc, none, idle, "as", leave, idle},
        // A policy holds the flag: nothing is held, and what was held is the policy's.
        {vlc, upper, idle, "ap", leave, idle}, {vlc, upper, holding, "p", forget, idle},
        {vlc, upper, aside, "sp", leave, idle},
    };
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        const auto& row = rows[i];
        SCOPED_TRACE(testing::Message() << "row " << i << ": " << row.running.name);
        KeepOffRule rules[4];
        UINT count = parseKeepOffRules(row.rules.data(), row.rules.size(), rules, 4);
        SeenProcess process = {42, row.running.name, programNameKey(row.running.name), nullptr,
                               false, 0};
        bool running = false;
        for (UINT r = 0; r < count; ++r) {
            process.fullPath = nullptr;
            RuleMatch match = matchRule(rules[r], process);
            // The path is asked for only where the file name agrees.
            if (match == RULE_NEEDS_PATH && row.running.path) {
                process.fullPath = row.running.path;
                match = matchRule(rules[r], process);
            }
            running = running || match == RULE_MATCHES;
        }
        auto flag = [&](char c) { return strchr(row.flags, c) != nullptr; };
        KeepOffStep step =
            keepOffStep({row.state, running, flag('a'), flag('u'), flag('s'), flag('p')});
        EXPECT_EQ(step.action, row.action);
        EXPECT_EQ(step.next, row.next);
    }
}

TEST(KeepOff, TheListKeepsEachSoundProgramOnceAndIgnoresTheRest)
{
    const std::string at259 = "C:\\" + std::string(252, 'a') + ".exe", at260 = at259 + "x";
    const struct { std::string text; std::string rule; } rows[] = {
        {"vlc.exe", "vlc.exe"},
        {" \t\"C:/Program Files/VLC/vlc.exe\" ", "C:\\Program Files\\VLC\\vlc.exe"},
        {"\\\\server\\tools\\backup.exe", "\\\\server\\tools\\backup.exe"},
        {"C:\\odd name;[1]{~}'&%#@!.exe", "C:\\odd name;[1]{~}'&%#@!.exe"},
        {at259, at259}, {at260, ""}, {std::string(5000, 'n'), ""},
        {"", ""}, {"   ", ""}, {"\"\"", ""},
        {"bin\\vlc.exe", ""}, {"C:vlc.exe", ""}, {"C:\\a:b.exe", ""}, {"C:\\Videos\\", ""},
        {"\\\\\\x.exe", ""}, {"a?b.exe", ""}, {"a*b.exe", ""}, {"a|b.exe", ""}, {"a<b>.exe", ""},
        {"a\"b.exe", ""}, {"tab\x01.exe", ""},
    };
    for (const auto& row : rows) {
        KeepOffRule rule;
        bool sound = readProgramText(row.text.data(), row.text.size(), &rule);
        EXPECT_EQ(sound ? std::string(rule.text) : "", row.rule) << row.text.substr(0, 40);
    }
    // Empty strings skipped, not ending the list; a name twice in two cases kept once; the last
    // string's terminators missing.
    const std::string list("vlc.exe\0\0VLC.EXE\0bad?\0mpv.exe\0C:\\x\\vlc.exe", 42);
    EXPECT_EQ(countStrings(list.data(), list.size()), 5u);
    EXPECT_EQ(kept(list), (std::vector<std::string>{"vlc.exe", "mpv.exe", "C:\\x\\vlc.exe"}));
    EXPECT_EQ(kept(list.substr(0, 3)), std::vector<std::string>{"vlc"});
    // 1,200 programs: the first thousand are kept.
    std::string many;
    for (int i = 0; i < 1200; ++i)
        many += "p" + std::to_string(i) + ".exe" + std::string(1, '\0');
    std::vector<std::string> first = kept(many, KEEP_OFF_MAX_RULES);
    ASSERT_EQ(first.size(), KEEP_OFF_MAX_RULES);
    EXPECT_EQ(first.back(), "p999.exe");
}

TEST(KeepOff, AddingOrRemovingAProgramLeavesEveryOtherStringAsItWas)
{
    using S = std::string;
    const struct { S list; const char* program; bool add; S result; } rows[] = {
        {S("a.exe\0b.exe\0\0", 13), "B.EXE", true, S("a.exe\0b.exe\0\0", 13)},
        {S("a.exe\0bad?\0\0", 12), "c.exe", true, S("a.exe\0bad?\0c.exe\0\0", 18)},
        {S("a.exe", 5), "c.exe", true, S("a.exe\0c.exe\0\0", 13)},
        {S(), "c.exe", true, S("c.exe\0\0", 7)},
        {S("A.exe\0\0bad?\0a.EXE\0\0", 19), "a.exe", false, S("bad?\0\0", 6)},
        {S("a.exe\0\0", 7), "a.exe", false, S("\0\0", 2)},
        {S("a.exe\0\0", 7), "b.exe", false, S("a.exe\0\0", 7)},
    };
    for (const auto& row : rows) {
        char out[64];
        size_t size = row.add
            ? listWithProgram(row.list.data(), row.list.size(), row.program, out, sizeof out)
            : listWithoutProgram(row.list.data(), row.list.size(), row.program, out, sizeof out);
        EXPECT_EQ(S(out, size), row.result) << row.program << (row.add ? " added" : " removed");
    }
    char tight[13];
    EXPECT_EQ(listWithProgram("a.exe\0\0", 7, "c.exe", tight, 12), 0u) << "written past its room";
}

TEST(KeepOff, TheSwitchTakesAProcessIdThatFitsOrAProgramsName)
{
    const struct { const char* text; SwitchProgram kind; DWORD id; } rows[] = {
        {"1234", SWITCH_PROGRAM_ID, 1234}, {"4294967295", SWITCH_PROGRAM_ID, 4294967295u},
        {"0", SWITCH_PROGRAM_BAD, 0}, {"4294967296", SWITCH_PROGRAM_BAD, 0},
        {"99999999999999999999999", SWITCH_PROGRAM_BAD, 0}, {"", SWITCH_PROGRAM_BAD, 0},
        {"12a", SWITCH_PROGRAM_NAMED, 0}, {"vlc.exe", SWITCH_PROGRAM_NAMED, 0},
        {"C:\\Program Files\\x.exe", SWITCH_PROGRAM_NAMED, 0}, {"x?.exe", SWITCH_PROGRAM_BAD, 0}};
    for (const auto& row : rows) {
        KeepOffRule rule;
        DWORD id = 0;
        EXPECT_EQ(readSwitchProgram(row.text, &rule, &id), row.kind) << row.text;
        EXPECT_EQ(id, row.id) << row.text;
    }
}
