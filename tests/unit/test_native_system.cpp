// The WoW64 decisions with stand-ins for the system's functions: which of
// them are asked, with what, and what is undone.
#include <gtest/gtest.h>
#include <windows.h>

#include "saverconfig/native_system.h"

namespace {

PVOID const kPrevious = reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(0x5A5A));

struct Calls {
    BOOL queryResult;
    BOOL wow64Answer;
    BOOL disableResult;
    int queries;
    HANDLE queriedProcess;
    int disables;
    int reverts;
    PVOID revertedWith;
};
Calls calls;

BOOL WINAPI fakeIsWow64Process(HANDLE process, PBOOL wow64)
{
    ++calls.queries;
    calls.queriedProcess = process;
    *wow64 = calls.wow64Answer;
    return calls.queryResult;
}

BOOL WINAPI fakeDisable(PVOID* previous)
{
    ++calls.disables;
    if (calls.disableResult)
        *previous = kPrevious;
    return calls.disableResult;
}

BOOL WINAPI fakeRevert(PVOID previous)
{
    ++calls.reverts;
    calls.revertedWith = previous;
    return TRUE;
}

void resetCalls(BOOL queryResult, BOOL wow64Answer, BOOL disableResult)
{
    calls = Calls{queryResult, wow64Answer, disableResult, 0, nullptr, 0, 0, nullptr};
}

} // namespace

TEST(Wow64Decision, OnlyASuccessfulYesFromTheSystemMeansWow64)
{
    struct Case {
        const char* system;
        bool hasFunction;
        BOOL queryResult;
        BOOL answer;
        bool expected;
    };
    const Case cases[] = {
        {"Windows 95 / NT 4.0: no IsWow64Process", false, TRUE, TRUE, false},
        {"the call fails", true, FALSE, TRUE, false},
        {"32-bit Windows", true, TRUE, FALSE, false},
        {"64-bit Windows", true, TRUE, TRUE, true},
    };
    for (const Case& c : cases) {
        resetCalls(c.queryResult, c.answer, TRUE);
        Wow64Functions functions = {c.hasFunction ? fakeIsWow64Process : nullptr, fakeDisable,
                                    fakeRevert};
        EXPECT_EQ(isWow64(functions), c.expected) << c.system;
        EXPECT_EQ(calls.queries, c.hasFunction ? 1 : 0) << c.system;
        if (c.hasFunction) {
            EXPECT_EQ(calls.queriedProcess, GetCurrentProcess()) << c.system;
        }
        EXPECT_EQ(calls.disables, 0) << c.system << ": asking must not change anything";
    }
}

TEST(NativeFileSystemView, RedirectionIsOffForItsLifeOnlyWhereItCanBeTurnedBackOn)
{
    struct Case {
        const char* system;
        bool hasQuery, hasDisable, hasRevert;
        BOOL wow64;
        BOOL disableResult;
        int disables;
        bool off;
    };
    const Case cases[] = {
        {"Windows 95 / NT 4.0", false, false, false, FALSE, TRUE, 0, false},
        {"32-bit Windows with the functions", true, true, true, FALSE, FALSE, 0, false},
        {"64-bit Windows", true, true, true, TRUE, TRUE, 1, true},
        {"64-bit Windows refusing", true, true, true, TRUE, FALSE, 1, false},
        {"no way back", true, true, false, TRUE, TRUE, 0, false},
        {"no way off", true, false, true, TRUE, TRUE, 0, false},
    };
    for (const Case& c : cases) {
        resetCalls(TRUE, c.wow64, c.disableResult);
        Wow64Functions functions = {c.hasQuery ? fakeIsWow64Process : nullptr,
                                    c.hasDisable ? fakeDisable : nullptr,
                                    c.hasRevert ? fakeRevert : nullptr};
        {
            NativeFileSystemView view(functions);
            EXPECT_EQ(view.redirectionOff(), c.off) << c.system;
            EXPECT_EQ(calls.disables, c.disables) << c.system;
            EXPECT_EQ(calls.reverts, 0) << c.system << ": reverted while alive";
        }
        EXPECT_EQ(calls.reverts, c.off ? 1 : 0) << c.system;
        if (c.off) {
            EXPECT_EQ(calls.revertedWith, kPrevious) << c.system << ": not the saved state";
        }
    }
}
