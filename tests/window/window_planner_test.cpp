// The portion planner driven through the main window in-process under
// Wine: each step run by its control's notification, and sources past 4 GiB
// planned with their whole size; and the program's icon.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <process.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "remembered_folders.h"
#include "format/slice_format.h"
#include "slice_worker.h"
#include "slicer_window.h"
#include "win_files.h"
#include "window_fixture.h"

using namespace testboxes;
using namespace testfiles;
using namespace testwindow;


namespace {

// A sparse source of size bytes: its data is never read by the planner.
std::string SparseSource(const ScratchFolder &folder, uint64_t size)
{
    std::string path = folder / "SPARSE.DAT";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    LARGE_INTEGER end;
    end.QuadPart = (LONGLONG)size;
    SetFilePointerEx(file, end, NULL, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    return path;
}

TEST_F(SlicerWindow, PlannerStepsRunOnTheirNotifications)
{
    Open();
    // Opening the source runs the count step, then the unit change: with
    // "360" and KB showing that is the preset, 358400 bytes, 5 portions.
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 1457000));
    EXPECT_EQ(Window.PortionSize, 358400u);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "5 Portions will be required");
    // Choosing the size method runs the typed-size step on the same text.
    Click(ID_SIZE_RADIO);
    EXPECT_EQ(Window.PortionSize, 368640u);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "4 Portions will be required");

    // Picking "1.44" selects MB with it.
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 1000000));
    SendMessageA(Control(ID_SIZE_COMBO), CB_SETCURSEL, 3, 0);
    NotifyAsControl(ID_SIZE_COMBO, CBN_SELCHANGE);
    EXPECT_EQ(Selected(ID_UNIT_COMBO), "MB");
    EXPECT_EQ(Window.PortionSize, 1456640u);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "1 Portions will be required");

    // Leaving the size field with 280 portions: the resizing message, and
    // the size that makes 100.
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 100000000));
    SendMessageA(Control(ID_SIZE_COMBO), CB_SETCURSEL, 0, 0);
    NotifyAsControl(ID_SIZE_COMBO, CBN_SELCHANGE);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "280 Portions will be required");
    NotifyAsControl(ID_SIZE_COMBO, CBN_KILLFOCUS);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Number of Portions MUST be less than 100 - Resizing");
    EXPECT_EQ(Text(ID_SIZE_COMBO), "1000309");
    EXPECT_EQ(Selected(ID_UNIT_COMBO), "bytes");
    EXPECT_EQ(Text(ID_SIZE_NOTE), "100 Portions will be required");
    // Emptying the field makes it "1" at once.
    SendMessageA(Window.SizeFieldEdit, WM_SETTEXT, 0, (LPARAM)"");
    NotifyAsControl(ID_SIZE_COMBO, CBN_EDITCHANGE);
    EXPECT_EQ(Text(ID_SIZE_COMBO), "1");
    EXPECT_EQ(Text(ID_SIZE_NOTE), "Portions must be larger than 309 bytes");

    // The count: cut to 100 while typing, raised to 2 when left.
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 1000000));
    Type(ID_COUNT_EDIT, "150");
    EXPECT_EQ(Text(ID_COUNT_EDIT), "100");
    EXPECT_EQ(Text(ID_COUNT_NOTE), "Portions will be 10309 bytes");
    Type(ID_COUNT_EDIT, "1");
    EXPECT_EQ(Text(ID_COUNT_NOTE), "Portions will be 1000309 bytes");
    NotifyAsControl(ID_COUNT_EDIT, EN_KILLFOCUS);
    EXPECT_EQ(Text(ID_COUNT_EDIT), "2");
    EXPECT_EQ(Window.EqualPortionSize, 500309u);
    Type(ID_COUNT_EDIT, "");
    EXPECT_EQ(Text(ID_COUNT_NOTE), "Portions will be 500309 bytes");
}

// A 12 GiB source is planned with its whole size; one too large for a set
// and a count too small for it are refused before any job starts.
TEST_F(SlicerWindow, SourcesPast4GiBArePlannedWholeAndRefusedOnlyPastTheirLimits)
{
    Open();
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 12ull << 30));
    Click(ID_SIZE_RADIO);
    SendMessageA(Control(ID_SIZE_COMBO), CB_SETCURSEL, 3, 0);
    NotifyAsControl(ID_SIZE_COMBO, CBN_SELCHANGE);
    EXPECT_EQ(Text(ID_SIZE_NOTE), "8848 Portions will be required");
    NotifyAsControl(ID_SIZE_COMBO, CBN_KILLFOCUS);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, "Number of Portions MUST be less than 100 - Resizing");
    EXPECT_EQ(Text(ID_SIZE_COMBO), "128849328");
    EXPECT_EQ(Text(ID_SIZE_NOTE), "100 Portions will be required");

    Click(ID_COUNT_RADIO);
    Type(ID_COUNT_EDIT, "3");
    EXPECT_EQ(Text(ID_COUNT_NOTE), "At least 4 portions: 4 GiB limit");
    Type(ID_DESTINATION_EDIT, out_.Path());
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[1].Text,
              "Portions must be smaller than 4 GiB: slice this file into at least 4 portions.");
    EXPECT_EQ(Boxes[1].Style, kErrorStyle);
    Type(ID_COUNT_EDIT, "4");
    EXPECT_EQ(Text(ID_COUNT_NOTE), "Portions will be 3221225781 bytes");
    EXPECT_EQ(Window.EqualPortionSize, 3221225781u);

    // One byte more than 100 portions of the largest size carry.
    const char *large = "Too large: sets hold 429496698600";
    Type(ID_SOURCE_PATH_EDIT, SparseSource(sources_, 429496698601ull));
    EXPECT_EQ(Text(ID_COUNT_NOTE), large);
    Click(ID_SIZE_RADIO);
    EXPECT_EQ(Text(ID_SIZE_NOTE), large);
    Type(ID_DESTINATION_EDIT, out_.Path());
    Click(ID_SLICE_BUTTON);
    ASSERT_EQ(Boxes.size(), 3u);
    EXPECT_EQ(Boxes[2].Text, "The file is too large for a slice set: a set holds at most "
                             "429496698600 bytes (100 portions of 4294967295 bytes, headers "
                             "included).");
    EXPECT_EQ(Boxes[2].Style, kErrorStyle);
    EXPECT_TRUE(Listing(out_.Path()).empty());
}

TEST_F(SlicerWindow, IconGroupHoldsTwoSixteenColourImages)
{
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(ID_ICON), (LPCSTR)RT_GROUP_ICON);
    ASSERT_TRUE(found);
    const BYTE *group = (const BYTE *)LockResource(LoadResource(NULL, found));
    ASSERT_TRUE(group);
    // The group: a 6-byte head with the count, then 14 bytes per image.
    ASSERT_EQ(group[4] | group[5] << 8, 2);
    std::vector<std::pair<int, int>> images; // size, colours
    for (int i = 0; i < 2; i++) {
        const BYTE *entry = group + 6 + 14 * i;
        images.push_back({entry[0], entry[2]});
        EXPECT_EQ(entry[0], entry[1]); // square
        EXPECT_EQ(entry[6] | entry[7] << 8, 4); // bits per pixel
    }
    EXPECT_EQ(images, (std::vector<std::pair<int, int>>{{32, 16}, {16, 16}}));
}

} // namespace
