// The WoW64 decisions with stand-ins for the system's functions: what is asked and undone.
#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>

#include "saverconfig/native_system.h"

namespace {

PVOID const kPrevious = reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(0x5A5A));

// What the stand-ins answer, and what they were asked.
struct Calls {
    BOOL queryResult, wow64Answer, disableResult;
    int queries, disables, reverts;
    HANDLE queriedProcess;
    PVOID revertedWith;
} calls;

BOOL WINAPI fakeIsWow64Process(HANDLE process, PBOOL wow64) {
    ++calls.queries;
    calls.queriedProcess = process;
    *wow64 = calls.wow64Answer;
    return calls.queryResult;
}

BOOL WINAPI fakeDisable(PVOID* previous) {
    ++calls.disables;
    if (calls.disableResult) *previous = kPrevious;
    return calls.disableResult;
}

BOOL WINAPI fakeRevert(PVOID previous) {
    ++calls.reverts;
    calls.revertedWith = previous;
    return TRUE;
}

}  // namespace

TEST(NativeFileSystemView, OnlyASuccessfulYesIsWow64AndRedirectionIsOffOnlyWhereItCanComeBack) {
    const struct {
        const char* system;
        bool hasQuery, hasDisable, hasRevert;
        BOOL queryResult, answer, disableResult;
        bool wow64, off;
        int disables;
    } cases[] = {
        {"Windows 95 / NT 4.0", false, false, false, TRUE, TRUE, TRUE, false, false, 0},
        {"the query fails", true, true, true, FALSE, TRUE, TRUE, false, false, 0},
        {"32-bit Windows", true, true, true, TRUE, FALSE, FALSE, false, false, 0},
        {"64-bit Windows", true, true, true, TRUE, TRUE, TRUE, true, true, 1},
        {"64-bit Windows refusing", true, true, true, TRUE, TRUE, FALSE, true, false, 1},
        {"no way back", true, true, false, TRUE, TRUE, TRUE, true, false, 0},
        {"no way off", true, false, true, TRUE, TRUE, TRUE, true, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.system);
        const Wow64Functions functions = {c.hasQuery ? fakeIsWow64Process : nullptr,
                                          c.hasDisable ? fakeDisable : nullptr,
                                          c.hasRevert ? fakeRevert : nullptr};
        calls = Calls{c.queryResult, c.answer, c.disableResult, 0, 0, 0, nullptr, nullptr};
        EXPECT_EQ(isWow64(functions), c.wow64);
        EXPECT_EQ(calls.queries, c.hasQuery ? 1 : 0);
        EXPECT_EQ(calls.queriedProcess, c.hasQuery ? GetCurrentProcess() : nullptr);
        EXPECT_EQ(calls.disables, 0) << "asking must not change anything";
        {
            NativeFileSystemView view(functions);
            EXPECT_EQ(view.redirectionOff(), c.off);
            EXPECT_EQ(calls.disables, c.disables);
            EXPECT_EQ(calls.reverts, 0) << "reverted while alive";
        }
        EXPECT_EQ(calls.reverts, c.off ? 1 : 0);
        EXPECT_EQ(calls.revertedWith, c.off ? kPrevious : nullptr) << "not the saved state";
    }
}

static const char kAlias[] = "C:\\W\\Sysnative\\D.SCR", kNative[] = "C:\\W\\system32\\D.SCR";
static bool aliasFinds, nativeFinds;  // what the listing finds; a missing alias finds nothing
static bool throughAlias(const char* name) { return strcmp(name, kAlias) == 0 && aliasFinds; }
static bool natively(const char* path) { return strcmp(path, kNative) == 0 && nativeFinds; }

TEST(NativeAccess, ThroughTheAliasWhereItFindsTheFileElseWithRedirectionOffForTheSystemsOwn) {
    const struct { const char* path; bool alias, native; NativeAccess access; } cases[] = {
        {kNative, true, true, NATIVE_THROUGH_ALIAS},
        {kNative, false, true, NATIVE_REDIRECTION_OFF},  // 64-bit XP, no alias
        {kNative, false, false, NATIVE_AS_NAMED}, {"C:\\W\\D.SCR", true, true, NATIVE_AS_NAMED},
        {"C:\\W\\system32\\x\\D.SCR", true, true, NATIVE_AS_NAMED}};
    for (const auto& c : cases) {
        aliasFinds = c.alias, nativeFinds = c.native;
        char out[MAX_PATH] = "untouched";
        EXPECT_EQ(chooseNativeAccess(c.path, "c:\\w\\SYSTEM32", "C:\\W", {throughAlias, natively},
                                     out, sizeof out), c.access) << c.path << " " << c.alias;
        EXPECT_STREQ(out, c.access == NATIVE_THROUGH_ALIAS ? kAlias : "untouched");
    }
}
